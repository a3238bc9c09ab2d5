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

// A reference between objects of a keyed archive ("CF$UID" in XML form).
struct PlistUID {
  std::uint64_t value = 0;
  friend bool operator==(const PlistUID&, const PlistUID&) = default;
};

// A property-list value: the type of settings, exports and keyed archives.
class PlistValue {
 public:
  using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Data,
                               PlistDate, PlistArray, PlistDict, PlistUID>;
  PlistValue() = default;
  PlistValue(bool v) : v_(v) {}                      // NOLINT
  PlistValue(int v) : v_(std::int64_t{v}) {}         // NOLINT
  PlistValue(std::int64_t v) : v_(v) {}              // NOLINT
  PlistValue(double v) : v_(v) {}                    // NOLINT
  PlistValue(std::string v) : v_(std::move(v)) {}    // NOLINT
  PlistValue(const char* v) : v_(std::string(v)) {}  // NOLINT
  PlistValue(Data v) : v_(std::move(v)) {}           // NOLINT
  PlistValue(PlistDate v) : v_(v) {}                 // NOLINT
  PlistValue(PlistArray v) : v_(std::move(v)) {}     // NOLINT
  PlistValue(PlistDict v) : v_(std::move(v)) {}      // NOLINT
  PlistValue(PlistUID v) : v_(v) {}                  // NOLINT

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
// Error codes (domain kQuorvelErrorDomain), numbered as the platform numbered them.
inline constexpr int kReadNoSuchFileError = 260;
inline constexpr int kReadUnknownError = 256;
inline constexpr int kWriteUnknownError = 512;
inline constexpr int kReadCorruptError = 3840;
inline constexpr int kWriteInvalidError = 3851;

// Deepest nesting of arrays and dictionaries accepted on parse and serialise.
inline constexpr int kMaxDepth = 512;

// Parses an XML or binary property list (told apart by the leading bytes).
// Returns none and fills `error` (kReadCorruptError) on anything that is not a
// well-formed list, nested deeper than kMaxDepth, or larger than 4 GiB. A
// binary UID and an XML dictionary that is exactly {"CF$UID": <integer>} both
// become a PlistUID, as the platform's parser did, so keyed archives read the
// same from either form. Integers above INT64_MAX wrap to negative. Thread: any.
std::optional<PlistValue> parse(const Data& bytes, Error* error = nullptr);
// Reads and parses a file. Fails with kReadNoSuchFileError when it is missing,
// kReadUnknownError when it cannot be read, else as parse(). Thread: any.
std::optional<PlistValue> readFile(const std::string& path, Error* error = nullptr);
// Serialises as an XML property list (binary when `binary`). None becomes an
// empty string (property lists have no null); a PlistUID is written as
// {"CF$UID": n} in XML; in strings and keys each byte of invalid UTF-8 becomes
// U+FFFD and a NUL ends the text; XML dates keep whole seconds. Empty Data when
// nested deeper than kMaxDepth. Thread: any.
Data serialize(const PlistValue& value, bool binary = false);
// Writes atomically: a temporary file in the same folder, fsync, then rename
// over `path` (a symlink is followed, an existing file keeps its permissions).
// On failure the old file is untouched and `error` says why. Thread: any.
bool writeFile(const PlistValue& value, const std::string& path, bool binary,
               Error* error = nullptr);
}  // namespace plist

}  // namespace quorvel
