#pragma once

#include <string>

#include "support/Value.h"

namespace quorvel {

// Shows a record's bit rate (stored in bits per second) in kilobits per
// second: 128000 -> "128.00 kbps". Stateless; any thread.
class BitrateFormatter {
 public:
  // The text for `value`; empty for no value or one without a numeric reading.
  std::string stringForObjectValue(const Object& value) const;
  // Accepts any text and produces no value (the column is read-only):
  // `value` becomes none; returns true. `errorDescription` is left alone.
  bool getObjectValue(Object* value, const std::string& string,
                      std::string* errorDescription) const;
};

}  // namespace quorvel
