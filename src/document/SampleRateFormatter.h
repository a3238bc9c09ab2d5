#pragma once

#include <string>

#include "support/Value.h"

namespace quorvel {

// Shows a record's sample rate (stored in hertz) in kilohertz:
// 44100 -> "44.100 kHz". Stateless; any thread.
class SampleRateFormatter {
 public:
  // The text for `value`; empty for no value or one without a numeric reading.
  std::string stringForObjectValue(const Object& value) const;
  // Accepts any text and produces no value (the column is read-only):
  // `value` becomes none; returns true. `errorDescription` is left alone.
  bool getObjectValue(Object* value, const std::string& string,
                      std::string* errorDescription) const;
};

}  // namespace quorvel
