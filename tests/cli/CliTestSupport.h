#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace quorvel::test {

// What one in-process run of quorvel-cli gave.
struct CliResult {
  int status;
  std::string out;
  std::string err;
};

inline CliResult runCli(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  int status = cli::run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace quorvel::test
