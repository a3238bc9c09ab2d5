#pragma once

#include <optional>
#include <string>

#include "support/Value.h"

namespace quorvel {

// What the value formatters share: the numeric reading of a value and a
// locale-independent "%0.Nf".

// The value as a finite double: a number as it is; text by its leading
// decimal number after blanks ("128", " 44100 Hz" -> 44100). None for no value,
// data, text that starts with no number, and infinities or NaN. Any thread.
std::optional<double> numericReading(const Object& value);

// `value` with `decimals` digits after a point, whatever the process locale
// (printf would write "1,50" under a German locale). Any thread.
std::string formatFixed(double value, int decimals);

}  // namespace quorvel
