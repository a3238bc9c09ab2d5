#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quorvel {

// Fills the conversions of a message pattern ("%@", "%ld", "%lu", "%d", "%i",
// "%u", "%s") with the given texts, in order; "%%" is a percent sign. Lets the
// system's message texts stay exactly as written, whatever their argument
// types. Missing arguments leave the conversion out.
std::string stringWithFormat(std::string_view pattern, std::initializer_list<std::string> args);

}  // namespace quorvel
