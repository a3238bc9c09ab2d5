#include "exchange/PlistXMLReader.h"

#include <array>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace quorvel {

namespace {

// Deeper documents are left to the general parser, which has its own limit;
// metadata files nest three levels.
constexpr int kMaxNesting = 64;
constexpr std::size_t kMaxRealLength = 64;

constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
constexpr std::string_view kDocumentType =
    R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" )"
    R"("http://www.apple.com/DTDs/PropertyList-1.0.dtd">)";
constexpr std::string_view kPlistOpen = R"(<plist version="1.0">)";

// Bytes that end a run of plain text: markup, entities, and control
// characters other than tab and line feed (NUL and carriage return above all,
// which the general parser treats in ways of its own).
constexpr std::array<bool, 256> kTextStops = [] {
  std::array<bool, 256> stops{};
  for (int c = 0; c < 0x20; ++c) {
    stops[static_cast<std::size_t>(c)] = c != '\t' && c != '\n';
  }
  stops['<'] = true;
  stops['&'] = true;
  return stops;
}();

// Base64 digit values; -1 for anything else.
constexpr std::array<std::int8_t, 256> kBase64 = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kDigits.size(); ++i) {
    values[static_cast<unsigned char>(kDigits[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}();

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  std::optional<PlistValue> document() {
    if (consume(kDeclaration)) {
      skipSpace();
    }
    if (consume(kDocumentType)) {
      skipSpace();
    }
    if (!consume(kPlistOpen)) {
      return std::nullopt;
    }
    skipSpace();
    PlistValue root;
    if (!value(root, 0)) {
      return std::nullopt;
    }
    skipSpace();
    if (!consume("</plist>")) {
      return std::nullopt;
    }
    skipSpace();
    if (pos_ != in_.size()) {
      return std::nullopt;
    }
    return root;
  }

 private:
  bool consume(std::string_view token) {
    if (in_.substr(pos_, token.size()) != token) {
      return false;
    }
    pos_ += token.size();
    return true;
  }

  void skipSpace() {
    while (pos_ < in_.size() && isSpace(in_[pos_])) {
      ++pos_;
    }
  }

  // Character data up to the next markup, with the five named entities
  // resolved, then `closing`.
  bool text(std::string_view closing, std::string& out) {
    const std::size_t start = pos_;
    while (pos_ < in_.size() && !kTextStops[static_cast<unsigned char>(in_[pos_])]) {
      ++pos_;
    }
    if (pos_ < in_.size() && in_[pos_] == '<') {
      // The common case: no entity, one copy.
      out.assign(in_.substr(start, pos_ - start));
      return consume(closing);
    }
    out.assign(in_.substr(start, pos_ - start));
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c == '<') {
        return consume(closing);
      }
      if (c != '&') {
        return false;
      }
      if (consume("&amp;")) {
        out += '&';
      } else if (consume("&lt;")) {
        out += '<';
      } else if (consume("&gt;")) {
        out += '>';
      } else if (consume("&quot;")) {
        out += '"';
      } else if (consume("&apos;")) {
        out += '\'';
      } else {
        return false;
      }
      const std::size_t run = pos_;
      while (pos_ < in_.size() && !kTextStops[static_cast<unsigned char>(in_[pos_])]) {
        ++pos_;
      }
      out.append(in_.substr(run, pos_ - run));
    }
    return false;
  }

  // The raw characters up to the next '<', then `closing`.
  bool token(std::string_view closing, std::string_view& out) {
    const std::size_t end = in_.find('<', pos_);
    if (end == std::string_view::npos) {
      return false;
    }
    out = in_.substr(pos_, end - pos_);
    pos_ = end;
    return consume(closing);
  }

  // -?(0|[1-9][0-9]{0,17}): always within 64 bits, with no sign, radix or
  // leading-zero forms whose reading could differ.
  bool integer(PlistValue& out) {
    std::string_view digits;
    if (!token("</integer>", digits)) {
      return false;
    }
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) {
      digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 18 || (digits.front() == '0' && digits.size() > 1)) {
      return false;
    }
    std::int64_t v = 0;
    for (char c : digits) {
      if (!isDigit(c)) {
        return false;
      }
      v = v * 10 + (c - '0');
    }
    out = PlistValue(negative ? -v : v);
    return true;
  }

  // -?[0-9]+(.[0-9]+)?([eE][+-]?[0-9]+)?, read by strtod as the general
  // parser reads it; declined where the locale's decimal point is not '.'.
  bool real(PlistValue& out) {
    std::string_view number;
    if (!token("</real>", number) || number.empty() || number.size() > kMaxRealLength) {
      return false;
    }
    std::size_t i = number.front() == '-' ? 1 : 0;
    auto digitRun = [&] {
      const std::size_t from = i;
      while (i < number.size() && isDigit(number[i])) {
        ++i;
      }
      return i > from;
    };
    if (!digitRun()) {
      return false;
    }
    if (i < number.size() && number[i] == '.') {
      ++i;
      if (!digitRun()) {
        return false;
      }
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
      ++i;
      if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
        ++i;
      }
      if (!digitRun()) {
        return false;
      }
    }
    if (i != number.size()) {
      return false;
    }
    const std::lconv* conventions = std::localeconv();
    if (!conventions || std::strcmp(conventions->decimal_point, ".") != 0) {
      return false;
    }
    char buffer[kMaxRealLength + 1];
    std::memcpy(buffer, number.data(), number.size());
    buffer[number.size()] = '\0';
    out = PlistValue(std::strtod(buffer, nullptr));
    return true;
  }

  // Base64 with whitespace anywhere; declined unless the digits come in
  // whole groups of four with at most two '=' at the very end and no stray
  // bits, the one form every decoder reads alike.
  bool data(PlistValue& out) {
    std::string_view encoded;
    if (!token("</data>", encoded)) {
      return false;
    }
    ByteBuffer bytes;
    bytes.reserve(encoded.size() / 4 * 3);
    std::uint32_t group = 0;
    int filled = 0;
    int padding = 0;
    for (char c : encoded) {
      if (isSpace(c)) {
        continue;
      }
      if (c == '=') {
        ++padding;
        continue;
      }
      const std::int8_t digit = kBase64[static_cast<unsigned char>(c)];
      if (digit < 0 || padding > 0) {
        return false;
      }
      group = (group << 6) | static_cast<std::uint32_t>(digit);
      if (++filled == 4) {
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        bytes.push_back(static_cast<std::uint8_t>(group));
        group = 0;
        filled = 0;
      }
    }
    if (padding != (filled == 0 ? 0 : 4 - filled) || filled == 1) {
      return false;
    }
    if (filled == 2) {
      if ((group & 0x0F) != 0) {
        return false;
      }
      bytes.push_back(static_cast<std::uint8_t>(group >> 4));
    } else if (filled == 3) {
      if ((group & 0x03) != 0) {
        return false;
      }
      bytes.push_back(static_cast<std::uint8_t>(group >> 10));
      bytes.push_back(static_cast<std::uint8_t>(group >> 2));
    }
    out = PlistValue(Data(std::move(bytes)));
    return true;
  }

  bool array(PlistValue& out, int depth) {
    PlistArray items;
    for (;;) {
      skipSpace();
      if (consume("</array>")) {
        break;
      }
      PlistValue item;
      if (!value(item, depth + 1)) {
        return false;
      }
      items.push_back(std::move(item));
    }
    out = PlistValue(std::move(items));
    return true;
  }

  bool dict(PlistValue& out, int depth) {
    PlistDict entries;
    std::string key;
    for (;;) {
      skipSpace();
      if (consume("</dict>")) {
        break;
      }
      if (!consume("<key>") || !text("</key>", key)) {
        return false;
      }
      skipSpace();
      PlistValue item;
      if (!value(item, depth + 1)) {
        return false;
      }
      // A repeated key keeps its last value, as in the general parser.
      entries.insert_or_assign(key, std::move(item));
    }
    // Keyed archives spell a UID as this one-entry dictionary.
    if (entries.size() == 1) {
      auto it = entries.find("CF$UID");
      if (it != entries.end() && it->second.is<std::int64_t>()) {
        out = PlistValue(PlistUID{static_cast<std::uint64_t>(*it->second.get<std::int64_t>())});
        return true;
      }
    }
    out = PlistValue(std::move(entries));
    return true;
  }

  bool value(PlistValue& out, int depth) {
    if (depth > kMaxNesting || !consume("<")) {
      return false;
    }
    if (consume("string>")) {
      std::string s;
      if (!text("</string>", s)) {
        return false;
      }
      out = PlistValue(std::move(s));
      return true;
    }
    if (consume("dict>")) {
      return dict(out, depth);
    }
    if (consume("array>")) {
      return array(out, depth);
    }
    if (consume("integer>")) {
      return integer(out);
    }
    if (consume("data>")) {
      return data(out);
    }
    if (consume("real>")) {
      return real(out);
    }
    if (consume("true/>")) {
      out = PlistValue(true);
      return true;
    }
    if (consume("false/>")) {
      out = PlistValue(false);
      return true;
    }
    if (consume("string/>")) {
      out = PlistValue(std::string());
      return true;
    }
    if (consume("array/>")) {
      out = PlistValue(PlistArray());
      return true;
    }
    if (consume("dict/>")) {
      out = PlistValue(PlistDict());
      return true;
    }
    if (consume("data/>")) {
      out = PlistValue(Data(ByteBuffer()));
      return true;
    }
    return false;
  }

  std::string_view in_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<PlistValue> PlistXMLReader::read(std::string_view document) {
  // The general parser refuses documents this large; so does it, by declining.
  if (document.size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  return Reader(document).document();
}

}  // namespace quorvel
