#pragma once

#include <string>

#include "support/Value.h"

namespace quorvel {

// Shows a duration in seconds as "(m:ss)", or "(h:m:ss)" from an hour on
// (3725 -> "(1:2:05)"), and reads typed durations ("1:02:05", "75") back as
// whole seconds. Stateless; any thread.
class SecondsFormatter {
 public:
  // The text for `value`, truncated to whole seconds; empty for no value, one
  // without a numeric reading, and negative or too large values.
  std::string stringForObjectValue(const Object& value) const;
  // Reads colon-separated integers, each multiplying the total so far by 60
  // before adding itself; blanks are allowed anywhere. On success `value`
  // becomes the number of seconds and true is returned. Fails, with
  // "Couldn't convert to seconds" in `errorDescription`, for text without a
  // digit, with any other character, or too large to count.
  bool getObjectValue(Object* value, const std::string& string,
                      std::string* errorDescription) const;
};

}  // namespace quorvel
