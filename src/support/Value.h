#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorvel {

using ByteBuffer = std::vector<std::uint8_t>;

// Immutable, shared bytes. Copies share one buffer, so the same cover held by
// many records (or read twice from one file) costs its size once.
class Data {
 public:
  Data() = default;
  explicit Data(ByteBuffer bytes);
  Data(const void* bytes, std::size_t size);
  static Data fromString(std::string_view text);
  // Adopts a buffer that is already shared (the artwork cache hands out one
  // buffer per distinct image).
  explicit Data(std::shared_ptr<const ByteBuffer> buffer) : buffer_(std::move(buffer)) {}

  const std::uint8_t* bytes() const { return buffer_ ? buffer_->data() : nullptr; }
  std::size_t size() const { return buffer_ ? buffer_->size() : 0; }
  bool empty() const { return size() == 0; }
  const ByteBuffer& buffer() const;
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes()), size()}; }
  // True when both hold the very same buffer (not merely equal bytes).
  bool isSameObject(const Data& other) const { return buffer_ == other.buffer_; }
  const void* identity() const { return buffer_.get(); }
  // The buffer itself, so a cache can refer to it weakly.
  const std::shared_ptr<const ByteBuffer>& sharedBuffer() const { return buffer_; }

  friend bool operator==(const Data& a, const Data& b);

 private:
  std::shared_ptr<const ByteBuffer> buffer_;
};

// A number as the tag model sees it: an integer or a floating-point value.
class Number {
 public:
  Number() = default;
  Number(std::int64_t value) : value_(value) {}            // NOLINT(google-explicit-constructor)
  Number(int value) : value_(std::int64_t{value}) {}       // NOLINT(google-explicit-constructor)
  Number(unsigned value) : value_(std::int64_t{value}) {}  // NOLINT(google-explicit-constructor)
  Number(double value) : value_(value) {}                  // NOLINT(google-explicit-constructor)

  bool isInteger() const { return std::holds_alternative<std::int64_t>(value_); }
  std::int64_t int64Value() const;
  double doubleValue() const;
  // Decimal text: integers without a point, other values in the shortest form
  // that reads back the same ("1.5", "0.1").
  std::string stringValue() const;

  friend bool operator==(const Number& a, const Number& b);

 private:
  std::variant<std::int64_t, double> value_{std::int64_t{0}};
};

// Kinds of value, numbered as MetadataValue's dataType.
enum class ValueKind : int { Other = 0, Text = 1, Number = 2, Data = 3 };

// One tag value: none, text (UTF-8), a number or bytes.
class Object {
 public:
  Object() = default;
  Object(std::string text) : value_(std::move(text)) {}    // NOLINT
  Object(const char* text) : value_(std::string(text)) {}  // NOLINT
  Object(Number number) : value_(number) {}                // NOLINT
  Object(std::int64_t number) : value_(Number(number)) {}  // NOLINT
  Object(int number) : value_(Number(number)) {}           // NOLINT
  Object(double number) : value_(Number(number)) {}        // NOLINT
  Object(Data data) : value_(std::move(data)) {}           // NOLINT

  bool isNone() const { return std::holds_alternative<std::monostate>(value_); }
  explicit operator bool() const { return !isNone(); }
  ValueKind kind() const;

  bool isText() const { return std::holds_alternative<std::string>(value_); }
  bool isNumber() const { return std::holds_alternative<Number>(value_); }
  bool isData() const { return std::holds_alternative<Data>(value_); }
  const std::string& text() const { return std::get<std::string>(value_); }
  const Number& number() const { return std::get<Number>(value_); }
  const Data& data() const { return std::get<Data>(value_); }

  // "Length" as the record's set operations test it: text and data count
  // their bytes; numbers have no length (never empty).
  bool hasZeroLength() const;

  // Text form for display and digests: text itself, a number's decimal text,
  // data decoded as UTF-8 (none when it is not valid UTF-8).
  std::optional<std::string> stringValue() const;

  friend bool operator==(const Object& a, const Object& b) = default;

 private:
  std::variant<std::monostate, std::string, Number, Data> value_;
};

using ObjectList = std::vector<Object>;

// True when the bytes are well-formed UTF-8 (no overlong forms or surrogates).
bool isValidUtf8(std::string_view bytes);

}  // namespace quorvel
