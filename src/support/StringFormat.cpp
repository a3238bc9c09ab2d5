#include "support/StringFormat.h"

namespace quorvel {

std::string stringWithFormat(std::string_view pattern, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out.push_back(c);
      continue;
    }
    std::size_t j = i + 1;
    if (pattern[j] == '%') {
      out.push_back('%');
      i = j;
      continue;
    }
    while (j < pattern.size() && (pattern[j] == 'l' || pattern[j] == 'h' || pattern[j] == 'z')) {
      ++j;
    }
    if (j < pattern.size() &&
        std::string_view("@diusx").find(pattern[j]) != std::string_view::npos) {
      if (next != args.end()) {
        out += *next++;
      }
      i = j;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace quorvel
