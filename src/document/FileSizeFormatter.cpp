#include "document/FileSizeFormatter.h"

#include "document/NumericReading.h"

namespace quorvel {

std::string FileSizeFormatter::stringForObjectValue(const Object& value) const {
  auto size = numericReading(value);
  if (!size) {
    return {};
  }
  // Index 0 has no prefix; past yotta the number simply grows.
  static constexpr const char* kPrefixes[] = {"", "K", "M", "G", "T", "P", "E", "Z", "Y"};
  constexpr int kMaxDivisions = 8;
  double scaled = *size;
  int index = 0;
  while (scaled >= 1000.0 && index < kMaxDivisions) {
    scaled /= 1000.0;
    ++index;
  }
  return formatFixed(scaled, 2) + " " + kPrefixes[index] + "B";
}

bool FileSizeFormatter::getObjectValue(Object* value, const std::string& /*string*/,
                                       std::string* /*errorDescription*/) const {
  if (value) {
    *value = Object();
  }
  return true;
}

}  // namespace quorvel
