#include "document/NumericReading.h"

#include <charconv>
#include <cmath>

namespace quorvel {

std::optional<double> numericReading(const Object& value) {
  double reading = 0;
  if (value.isNumber()) {
    reading = value.number().doubleValue();
  } else if (value.isText()) {
    const std::string& text = value.text();
    std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
      return std::nullopt;
    }
    if (text[start] == '+') {
      ++start;  // from_chars takes a sign only when it is '-'
    }
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, status] = std::from_chars(first, last, reading, std::chars_format::general);
    if (status != std::errc() || end == first) {
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  if (!std::isfinite(reading)) {
    return std::nullopt;
  }
  return reading;
}

std::string formatFixed(double value, int decimals) {
  // Enough for every finite double in fixed notation (309 integer digits).
  char buffer[512];
  const auto [end, status] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (status != std::errc()) {
    return {};
  }
  return std::string(buffer, end);
}

}  // namespace quorvel
