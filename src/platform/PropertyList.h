#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

class PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDict = std::map<std::string, PlistValue>;
using PlistDate = std::chrono::system_clock::time_point;

// A property-list value: the type of settings, exports and keyed archives.
class PlistValue {
 public:
  using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Data,
                               PlistDate, PlistArray, PlistDict>;
  PlistValue() = default;
  PlistValue(bool v) : v_(v) {}  // NOLINT
  PlistValue(int v) : v_(std::int64_t{v}) {}  // NOLINT
  PlistValue(std::int64_t v) : v_(v) {}  // NOLINT
  PlistValue(double v) : v_(v) {}  // NOLINT
  PlistValue(std::string v) : v_(std::move(v)) {}  // NOLINT
  PlistValue(const char* v) : v_(std::string(v)) {}  // NOLINT
  PlistValue(Data v) : v_(std::move(v)) {}  // NOLINT
  PlistValue(PlistDate v) : v_(v) {}  // NOLINT
  PlistValue(PlistArray v) : v_(std::move(v)) {}  // NOLINT
  PlistValue(PlistDict v) : v_(std::move(v)) {}  // NOLINT

  bool isNone() const { return std::holds_alternative<std::monostate>(v_); }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(v_);
  }
  template <typename T>
  const T* get() const {
    return std::get_if<T>(&v_);
  }
  template <typename T>
  T* get() {
    return std::get_if<T>(&v_);
  }
  const Storage& storage() const { return v_; }

  friend bool operator==(const PlistValue& a, const PlistValue& b) { return a.v_ == b.v_; }

 private:
  Storage v_;
};

namespace plist {
// Parses an XML or binary property list. Fails with a description of what is wrong.
std::optional<PlistValue> parse(const Data& bytes, Error* error = nullptr);
std::optional<PlistValue> readFile(const std::string& path, Error* error = nullptr);
// Serialises as an XML property list (binary when `binary`).
Data serialize(const PlistValue& value, bool binary = false);
// Writes atomically (temporary file in the same folder, then rename).
bool writeFile(const PlistValue& value, const std::string& path, bool binary, Error* error = nullptr);
}  // namespace plist

}  // namespace quorvel
