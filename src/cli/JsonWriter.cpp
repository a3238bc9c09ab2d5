#include "cli/JsonWriter.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "support/Value.h"

namespace quorvel::cli {

JsonWriter::JsonWriter(int depth) : baseDepth_(depth) { out_.reserve(4096); }

void JsonWriter::newline(int depth) {
  out_ += '\n';
  out_.append(static_cast<std::size_t>(2 * depth), ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (filled_.empty()) {
    return;
  }
  if (filled_.back()) {
    out_ += ',';
  }
  filled_.back() = true;
  newline(baseDepth_ + static_cast<int>(filled_.size()));
}

void JsonWriter::open(char bracket) {
  beforeValue();
  out_ += bracket;
  filled_.push_back(false);
}

void JsonWriter::close(char bracket) {
  const bool filled = filled_.back();
  filled_.pop_back();
  if (filled) {
    newline(baseDepth_ + static_cast<int>(filled_.size()));
  }
  out_ += bracket;
}

void JsonWriter::beginObject() { open('{'); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('['); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
  beforeValue();
  appendString(name);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::string(std::string_view text) {
  beforeValue();
  appendString(text);
}

void JsonWriter::appendString(std::string_view text) {
  if (!isValidUtf8(text)) {
    // Rare: let the library do the replacing, byte for byte as before.
    out_ += nlohmann::json(std::string(text))
                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out_ += '"';
  // Runs of bytes that need no escape are copied whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') {
      continue;
    }
    out_.append(text, run, i - run);
    run = i + 1;
    switch (byte) {
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\b':
        out_ += "\\b";
        break;
      case '\f':
        out_ += "\\f";
        break;
      case '\n':
        out_ += "\\n";
        break;
      case '\r':
        out_ += "\\r";
        break;
      case '\t':
        out_ += "\\t";
        break;
      default:
        out_ += "\\u00";
        out_ += kHex[byte >> 4];
        out_ += kHex[byte & 0x0F];
    }
  }
  out_.append(text, run);
  out_ += '"';
}

void JsonWriter::integer(std::int64_t value) {
  beforeValue();
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out_.append(buffer, result.ptr);
}

void JsonWriter::number(double value) {
  beforeValue();
  // The library's shortest round-trip form ("200.5", "3.0", "1e-05").
  out_ += nlohmann::json(value).dump();
}

void JsonWriter::boolean(bool value) {
  beforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  out_ += "null";
}

}  // namespace quorvel::cli
