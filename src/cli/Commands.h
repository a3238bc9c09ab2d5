#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvel::cli {

// What every command gets: its own arguments (after the command name) and the streams.
struct CommandContext {
  std::vector<std::string> args;
  std::ostream& out;
  std::ostream& err;
};

using CommandFunction = int (*)(CommandContext&);

struct Command {
  const char* name;
  const char* usage;    // the synopsis after "quorvel-cli [-s KEY=VALUE]... "
  const char* summary;  // one line for --help
  CommandFunction function;
};

// The command table, in the order --help lists it.
const std::vector<Command>& commands();

// One function per command, each in its own file.
int keysCommand(CommandContext& context);
int readCommand(CommandContext& context);
int setCommand(CommandContext& context);
int stripCommand(CommandContext& context);
int removeEmptyCommand(CommandContext& context);
int exportCommand(CommandContext& context);
int importCommand(CommandContext& context);

// The files to work on: each named file, and every accepted file in each
// named folder (walked as the file list walks a dropped folder). Absolute paths.
std::vector<std::string> expandPaths(const std::vector<std::string>& arguments);

// Usage error: prints the message and the command's synopsis; returns 2.
int usageError(CommandContext& context, const std::string& command, const std::string& message);

}  // namespace quorvel::cli
