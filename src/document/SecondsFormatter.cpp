#include "document/SecondsFormatter.h"

#include <cstdint>
#include <limits>

#include "document/NumericReading.h"
#include "support/StringFormat.h"

namespace quorvel {

std::string SecondsFormatter::stringForObjectValue(const Object& value) const {
  const auto reading = numericReading(value);
  // 2^64 is exactly representable; anything from there on has no count of
  // whole seconds.
  constexpr double kLimit = 18446744073709551616.0;
  if (!reading || *reading < 0 || *reading >= kLimit) {
    return {};
  }
  const auto seconds = static_cast<std::uint64_t>(*reading);
  const std::uint64_t minutes = seconds / 60;
  const std::uint64_t rest = seconds % 60;
  const std::string restText = (rest < 10 ? "0" : "") + std::to_string(rest);
  if (minutes < 60) {
    return stringWithFormat("(%u:%@)", {std::to_string(minutes), restText});
  }
  return stringWithFormat("(%u:%u:%@)",
                          {std::to_string(minutes / 60), std::to_string(minutes % 60), restText});
}

bool SecondsFormatter::getObjectValue(Object* value, const std::string& string,
                                      std::string* errorDescription) const {
  auto fail = [&] {
    if (errorDescription) {
      *errorDescription = "Couldn't convert to seconds";
    }
    return false;
  };
  constexpr std::uint64_t kMax =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t total = 0;
  bool readAny = false;
  std::size_t i = 0;
  while (i < string.size()) {
    const char c = string[i];
    if (c == ':' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c < '0' || c > '9') {
      return fail();
    }
    std::uint64_t number = 0;
    for (; i < string.size() && string[i] >= '0' && string[i] <= '9'; ++i) {
      const auto digit = static_cast<std::uint64_t>(string[i] - '0');
      if (number > (kMax - digit) / 10) {
        return fail();
      }
      number = number * 10 + digit;
    }
    if (total > (kMax - number) / 60) {
      return fail();
    }
    total = total * 60 + number;
    readAny = true;
  }
  if (!readAny) {
    return fail();
  }
  if (value) {
    *value = Object(static_cast<std::int64_t>(total));
  }
  return true;
}

}  // namespace quorvel
