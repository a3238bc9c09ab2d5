#include "cli/Cli.h"

#include <charconv>
#include <ostream>

#include "cli/Commands.h"
#include "platform/UserDefaults.h"

namespace quorvel::cli {

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"keys", "keys [--json]",
       "List every tag key with its display name, description and names in each tag format",
       keysCommand},
      {"read", "read [--json] [-j N] PATH...",
       "Read files (and the audio files in folders) and print their tags, artwork and properties",
       readCommand},
      {"set",
       "set [-t KEY=VALUE]... [--add KEY=VALUE]... [--remove KEY]... [--artwork IMAGE] "
       "[--add-artwork IMAGE] [--remove-artwork] [--json] PATH...",
       "Change tags and artwork of files and save them (-t repeated for one key sets several "
       "values)",
       setCommand},
      {"strip", "strip [--json] PATH...", "Remove every tag and artwork from files and save them",
       stripCommand},
      {"remove-empty", "remove-empty [--json] PATH...",
       "Remove empty values and keys without values from files and save them", removeEmptyCommand},
      {"export", "export --csv|--xml [--artwork] OUTFILE PATH...",
       "Write the tags of files to one CSV table or XML property list (--artwork: XML with "
       "the artwork; without it the setting exportAlbumArtwork decides)",
       exportCommand},
      {"import", "import [--to-all|--to-first] INFILE PATH...",
       "Replace the tags of files with those of a CSV or XML export, row by row in path order, "
       "and save them (--to-all/--to-first: how to pair when the counts differ)",
       importCommand},
  };
  return table;
}

namespace {

void printHelp(std::ostream& out) {
  out << "Quorvel " << QUORVEL_VERSION << ": edit the tags of audio files\n\n"
      << "Usage: quorvel-cli [-s KEY=VALUE]... COMMAND [OPTIONS] [ARGS]\n\n"
      << "Options before the command:\n"
      << "  -s KEY=VALUE   override one setting for this run (true/false, integer, decimal "
         "or text)\n"
      << "  -h, --help     show this help\n"
      << "  --version      show the version\n\n"
      << "Commands:\n";
  for (const auto& command : commands()) {
    out << "  " << command.usage << "\n      " << command.summary << "\n";
  }
  out << "\nExit status: 0 on success, 1 when an item failed, 2 on a usage error.\n";
}

// Settings given with -s: booleans, integers and decimals by their look, else text.
PlistValue parseSettingValue(const std::string& text) {
  if (text == "true") {
    return PlistValue(true);
  }
  if (text == "false") {
    return PlistValue(false);
  }
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  std::int64_t integer = 0;
  auto [p, ec] = std::from_chars(begin, end, integer);
  if (!text.empty() && ec == std::errc() && p == end) {
    return PlistValue(integer);
  }
  double real = 0;
  auto [q, ec2] = std::from_chars(begin, end, real, std::chars_format::fixed);
  if (!text.empty() && ec2 == std::errc() && q == end) {
    return PlistValue(real);
  }
  return PlistValue(text);
}

}  // namespace

int usageError(CommandContext& context, const std::string& command, const std::string& message) {
  context.err << "quorvel-cli: " << message << "\n";
  for (const auto& c : commands()) {
    if (command == c.name) {
      context.err << "usage: quorvel-cli [-s KEY=VALUE]... " << c.usage << "\n";
    }
  }
  return 2;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      printHelp(out);
      return 0;
    }
    if (arg == "--version") {
      out << "quorvel-cli " << QUORVEL_VERSION << "\n";
      return 0;
    }
    if (arg == "-s") {
      if (i + 1 >= args.size()) {
        err << "quorvel-cli: -s needs KEY=VALUE\n";
        return 2;
      }
      const std::string& setting = args[++i];
      auto eq = setting.find('=');
      if (eq == std::string::npos || eq == 0) {
        err << "quorvel-cli: -s needs KEY=VALUE, got \"" << setting << "\"\n";
        return 2;
      }
      UserDefaults::standard().setVolatileValue(parseSettingValue(setting.substr(eq + 1)),
                                                setting.substr(0, eq));
      continue;
    }
    break;
  }
  if (i >= args.size()) {
    printHelp(err);
    return 2;
  }
  const std::string& name = args[i];
  for (const auto& command : commands()) {
    if (name == command.name) {
      CommandContext context{
          std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()), out, err};
      return command.function(context);
    }
  }
  err << "quorvel-cli: unknown command \"" << name << "\" (see quorvel-cli --help)\n";
  return 2;
}

}  // namespace quorvel::cli
