#include "document/BitrateFormatter.h"

#include "document/NumericReading.h"

namespace quorvel {

std::string BitrateFormatter::stringForObjectValue(const Object& value) const {
  const auto bitsPerSecond = numericReading(value);
  if (!bitsPerSecond) {
    return {};
  }
  return formatFixed(*bitsPerSecond / 1000.0, 2) + " kbps";
}

bool BitrateFormatter::getObjectValue(Object* value, const std::string& /*string*/,
                                      std::string* /*errorDescription*/) const {
  if (value) {
    *value = Object();
  }
  return true;
}

}  // namespace quorvel
