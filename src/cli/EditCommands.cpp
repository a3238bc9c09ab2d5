#include <optional>
#include <ostream>

#include "cli/Commands.h"
#include "cli/FileSaving.h"
#include "cli/RecordJson.h"
#include "model/AlbumArtwork.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "model/TagMappings.h"
#include "support/StringFormat.h"

namespace quorvel::cli {

namespace {

// What `set` does to each record, in this order: removals, sets, additions,
// then artwork.
struct Edits {
  std::vector<std::string> removeKeys;
  std::vector<std::pair<std::string, ObjectList>> setKeys;  // one entry per key, values in order
  std::vector<std::pair<std::string, std::string>> addValues;
  bool removeArtwork = false;
  std::vector<AlbumArtworkPtr> setArtwork;
  std::vector<AlbumArtworkPtr> addArtwork;

  void apply(AudioMetadata& record) const {
    for (const auto& key : removeKeys) {
      record.removeMetadataValueForKey(key);
    }
    for (const auto& [key, values] : setKeys) {
      record.setMetadataObjectValues(values, key);
    }
    for (const auto& [key, value] : addValues) {
      record.addMetadataObjectValue(Object(value), key);
    }
    if (removeArtwork) {
      record.removeAllArtwork();
    }
    for (const auto& artwork : setArtwork) {
      record.setArtwork(artwork);
    }
    for (const auto& artwork : addArtwork) {
      record.addArtwork(artwork);
    }
  }
};

// A key as a person types it: format names such as TALB or ©alb stand for
// their canonical key, the way the editor treats a typed key.
std::string normalizedKey(const std::string& key) { return keyForID3v2FrameId(keyForMP4Atom(key)); }

std::optional<std::pair<std::string, std::string>> splitAssignment(const std::string& text) {
  auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    return std::nullopt;
  }
  return std::make_pair(normalizedKey(text.substr(0, eq)), text.substr(eq + 1));
}

// Reads each file, changes its record with `change`, and saves it as the
// save run does: a missing file and a failed write are logged, and the other
// files are still saved.
int editAndSave(CommandContext& context, const std::vector<std::string>& arguments, bool json,
                const std::function<void(AudioMetadata&)>& change) {
  RunLog runLog;
  JsonWriter output;
  output.beginArray();
  for (const std::string& path : expandPaths(arguments)) {
    Error error;
    auto record = AudioFileReader::metadataFromFile(path, &error);
    if (!record) {
      runLog.log(stringWithFormat("Could Not Add File At Path: %@", {path}));
      if (json) {
        writeErrorJson(output, path, error.localizedDescription);
      }
      continue;
    }
    change(*record);
    Error writeError;
    const bool written = saveRecordToFile(*record, path, runLog, &writeError);
    if (!json) {
      continue;
    }
    if (written) {
      writeRecordJson(output, *record);
    } else {
      writeErrorJson(output, path,
                     writeError.localizedDescription.empty()
                         ? std::string("the file could not be saved")
                         : writeError.localizedDescription);
    }
  }
  output.endArray();
  if (json) {
    context.out << output.text() << "\n";
  }
  runLog.flushTo(context.err);
  return runLog.failed() ? 1 : 0;
}

// Splits the arguments of a command into its options (handled by `option`,
// which returns false for an unknown one) and paths.
bool parseArguments(CommandContext& context, const std::string& command,
                    std::vector<std::string>& paths, bool& json,
                    const std::function<bool(const std::string&, std::size_t&)>& option,
                    int& status) {
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& arg = context.args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--") {
      paths.insert(paths.end(), context.args.begin() + static_cast<long>(i) + 1,
                   context.args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      if (!option || !option(arg, i)) {
        status = usageError(context, command, "unknown or incomplete option " + arg);
        return false;
      }
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    status = usageError(context, command, "no file or folder given");
    return false;
  }
  return true;
}

}  // namespace

int setCommand(CommandContext& context) {
  Edits edits;
  std::vector<std::string> paths;
  bool json = false;
  int status = 0;
  std::string problem;
  auto next = [&](std::size_t& i) -> const std::string* {
    return i + 1 < context.args.size() ? &context.args[++i] : nullptr;
  };
  auto loadArtwork = [&](const std::string& file) -> AlbumArtworkPtr {
    auto artwork = AlbumArtwork::albumArtworkFromFile(file);
    if (!artwork) {
      problem = "not an image file: " + file;
    }
    return artwork;
  };
  auto option = [&](const std::string& arg, std::size_t& i) {
    if (arg == "-t" || arg == "--add") {
      const std::string* value = next(i);
      auto assignment = value ? splitAssignment(*value) : std::nullopt;
      if (!assignment) {
        return false;
      }
      if (arg == "--add") {
        edits.addValues.push_back(*assignment);
        return true;
      }
      // Repeating -t for one key gives that key several values, in order.
      for (auto& [key, values] : edits.setKeys) {
        if (key == assignment->first) {
          values.emplace_back(assignment->second);
          return true;
        }
      }
      edits.setKeys.push_back({assignment->first, {Object(assignment->second)}});
      return true;
    }
    if (arg == "--remove") {
      const std::string* key = next(i);
      if (!key || key->empty()) {
        return false;
      }
      edits.removeKeys.push_back(normalizedKey(*key));
      return true;
    }
    if (arg == "--artwork" || arg == "--add-artwork") {
      const std::string* file = next(i);
      if (!file) {
        return false;
      }
      if (auto artwork = loadArtwork(*file)) {
        (arg == "--artwork" ? edits.setArtwork : edits.addArtwork).push_back(artwork);
      }
      return true;
    }
    if (arg == "--remove-artwork") {
      edits.removeArtwork = true;
      return true;
    }
    return false;
  };
  if (!parseArguments(context, "set", paths, json, option, status)) {
    return status;
  }
  if (!problem.empty()) {
    return usageError(context, "set", problem);
  }
  return editAndSave(context, paths, json, [&](AudioMetadata& record) { edits.apply(record); });
}

int stripCommand(CommandContext& context) {
  std::vector<std::string> paths;
  bool json = false;
  int status = 0;
  if (!parseArguments(context, "strip", paths, json, nullptr, status)) {
    return status;
  }
  return editAndSave(context, paths, json, [](AudioMetadata& record) { record.clearAll(); });
}

int removeEmptyCommand(CommandContext& context) {
  std::vector<std::string> paths;
  bool json = false;
  int status = 0;
  if (!parseArguments(context, "remove-empty", paths, json, nullptr, status)) {
    return status;
  }
  return editAndSave(context, paths, json, [](AudioMetadata& record) {
    // A key without values goes; otherwise empty texts and empty data go,
    // from the last value down, and numbers always stay.
    for (const std::string& key : record.allMetadataKeys()) {
      auto value = record.metadataValueForKey(key);
      if (!value || value->allValues().empty()) {
        record.removeMetadataValueForKey(key);
        continue;
      }
      for (std::size_t i = value->allValues().size(); i-- > 0;) {
        const Object& v = value->allValues()[i];
        if ((v.isText() || v.isData()) && v.hasZeroLength()) {
          record.removeMetadataObjectValueForKey(key, i);
        }
      }
    }
  });
}

}  // namespace quorvel::cli
