#include "document/SampleRateFormatter.h"

#include "document/NumericReading.h"

namespace quorvel {

std::string SampleRateFormatter::stringForObjectValue(const Object& value) const {
  const auto hertz = numericReading(value);
  if (!hertz) {
    return {};
  }
  return formatFixed(*hertz / 1000.0, 3) + " kHz";
}

bool SampleRateFormatter::getObjectValue(Object* value, const std::string& /*string*/,
                                         std::string* /*errorDescription*/) const {
  if (value) {
    *value = Object();
  }
  return true;
}

}  // namespace quorvel
