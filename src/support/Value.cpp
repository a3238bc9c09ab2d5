#include "support/Value.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quorvel {

namespace {
const ByteBuffer& emptyBuffer() {
  static const ByteBuffer empty;
  return empty;
}
}  // namespace

bool isValidUtf8(std::string_view s) {
  std::size_t i = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  while (i < s.size()) {
    unsigned char c = p[i];
    std::size_t extra = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) {
      return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) {
        return false;
      }
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

Data::Data(ByteBuffer bytes) : buffer_(std::make_shared<const ByteBuffer>(std::move(bytes))) {}

Data::Data(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  buffer_ = std::make_shared<const ByteBuffer>(p, p + size);
}

Data Data::fromString(std::string_view text) { return Data(text.data(), text.size()); }

const ByteBuffer& Data::buffer() const { return buffer_ ? *buffer_ : emptyBuffer(); }

bool operator==(const Data& a, const Data& b) {
  if (a.buffer_ == b.buffer_) {
    return true;
  }
  return a.size() == b.size() &&
         (a.size() == 0 || std::memcmp(a.bytes(), b.bytes(), a.size()) == 0);
}

std::int64_t Number::int64Value() const {
  if (const auto* i = std::get_if<std::int64_t>(&value_)) {
    return *i;
  }
  double d = std::get<double>(value_);
  if (std::isnan(d)) {
    return 0;
  }
  if (d >= 9.2e18) {
    return INT64_MAX;
  }
  if (d <= -9.2e18) {
    return INT64_MIN;
  }
  return static_cast<std::int64_t>(d);
}

double Number::doubleValue() const {
  if (const auto* i = std::get_if<std::int64_t>(&value_)) {
    return static_cast<double>(*i);
  }
  return std::get<double>(value_);
}

std::string Number::stringValue() const {
  char buf[64];
  if (const auto* i = std::get_if<std::int64_t>(&value_)) {
    auto res = std::to_chars(buf, buf + sizeof buf, *i);
    return std::string(buf, res.ptr);
  }
  double d = std::get<double>(value_);
  if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
    auto res = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(d));
    return std::string(buf, res.ptr);
  }
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

bool operator==(const Number& a, const Number& b) {
  if (a.isInteger() && b.isInteger()) {
    return a.int64Value() == b.int64Value();
  }
  return a.doubleValue() == b.doubleValue();
}

ValueKind Object::kind() const {
  if (isText()) {
    return ValueKind::Text;
  }
  if (isNumber()) {
    return ValueKind::Number;
  }
  if (isData()) {
    return ValueKind::Data;
  }
  return ValueKind::Other;
}

bool Object::hasZeroLength() const {
  if (isText()) {
    return text().empty();
  }
  if (isData()) {
    return data().empty();
  }
  return false;
}

std::optional<std::string> Object::stringValue() const {
  if (isText()) {
    return text();
  }
  if (isNumber()) {
    return number().stringValue();
  }
  if (isData()) {
    std::string_view v = data().view();
    if (isValidUtf8(v)) {
      return std::string(v);
    }
  }
  return std::nullopt;
}

}  // namespace quorvel
