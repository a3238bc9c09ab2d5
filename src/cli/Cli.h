#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvel::cli {

// Runs quorvel-cli with `args` (without the program name), writing to `out`
// and `err`. Returns the exit status: 0 success, 1 some item failed, 2 usage.
// Tests call it in-process.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quorvel::cli
