#include "model/TagTextCodec.h"

#include <taglib/tbytevector.h>
#include <taglib/tstring.h>

#include <array>

namespace quorvel {

std::string latin1BytesToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool isAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) {
      return false;
    }
  }
  return true;
}

std::string decodeBase64Lenient(std::string_view text) {
  static const std::array<int, 256> table = [] {
    std::array<int, 256> t{};
    t.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
      t[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return t;
  }();
  std::string out;
  out.reserve(text.size() * 3 / 4);
  std::uint32_t buffer = 0;
  int bits = 0;
  for (unsigned char c : text) {
    int v = table[c];
    if (v < 0) {
      continue;
    }
    buffer = (buffer << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

std::string encodeBase64(std::string_view bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (; i + 2 < bytes.size(); i += 3) {
    std::uint32_t n = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += alphabet[n & 63];
  }
  if (i + 1 == bytes.size()) {
    std::uint32_t n = p[i] << 16;
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    std::uint32_t n = (p[i] << 16) | (p[i + 1] << 8);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

std::vector<std::string> decodeID3v2TextFields(const Data& body) {
  std::vector<std::string> fields;
  if (body.size() < 1) {
    return fields;
  }
  const int encoding = body.bytes()[0];
  const char* text = reinterpret_cast<const char*>(body.bytes()) + 1;
  const std::size_t size = body.size() - 1;
  const bool wide = encoding == 1 || encoding == 2;
  const std::size_t unit = wide ? 2 : 1;
  TagLib::String::Type type = encoding == 0   ? TagLib::String::Latin1
                              : encoding == 1 ? TagLib::String::UTF16
                              : encoding == 2 ? TagLib::String::UTF16BE
                                              : TagLib::String::UTF8;
  std::size_t start = 0;
  auto emit = [&](std::size_t end) {
    TagLib::ByteVector piece(text + start, static_cast<unsigned>(end - start));
    fields.push_back(TagLib::String(piece, type).to8Bit(true));
  };
  std::size_t i = 0;
  for (; i + unit <= size; i += unit) {
    bool terminator = wide ? (text[i] == 0 && text[i + 1] == 0) : text[i] == 0;
    if (terminator) {
      emit(i);
      start = i + unit;
    }
  }
  if (start < size) {
    emit(size - (size - start) % unit);
  }
  return fields;
}

}  // namespace quorvel
