#pragma once

#include <string>

#include "support/Value.h"

namespace quorvel {

// Shows a file size in bytes scaled by powers of 1000 (not 1024), with two
// decimals and a unit prefix: 999 -> "999.00 B", 1500000 -> "1.50 MB".
// Stateless; any thread.
class FileSizeFormatter {
 public:
  // The text for `value`; empty for no value or one without a numeric reading.
  std::string stringForObjectValue(const Object& value) const;
  // Accepts any text and produces no value (the column is read-only):
  // `value` becomes none; returns true. `errorDescription` is left alone.
  bool getObjectValue(Object* value, const std::string& string,
                      std::string* errorDescription) const;
};

}  // namespace quorvel
