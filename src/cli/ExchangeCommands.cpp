#include <ostream>

#include "cli/Commands.h"
#include "cli/FileSaving.h"
#include "exchange/AudioMetadataExporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "exchange/ImportCountAlert.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "platform/UserDefaults.h"
#include "support/StringFormat.h"

namespace quorvel::cli {

namespace {

// The records of the files named, in the order of the paths (folders walked
// as the file list walks them); a file that cannot be read is logged and left out.
std::vector<AudioMetadataPtr> readRecords(const std::vector<std::string>& arguments,
                                          std::vector<std::string>& paths, RunLog& runLog) {
  std::vector<AudioMetadataPtr> records;
  for (const std::string& path : expandPaths(arguments)) {
    auto record = AudioFileReader::metadataFromFile(path);
    if (!record) {
      runLog.log(stringWithFormat("Could Not Add File At Path: %@", {path}));
      continue;
    }
    records.push_back(std::move(record));
    paths.push_back(path);
  }
  return records;
}

}  // namespace

int exportCommand(CommandContext& context) {
  int type = 0;
  bool artwork = false;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& arg = context.args[i];
    if (arg == "--csv" || arg == "--xml") {
      const int chosen =
          arg == "--csv" ? AudioMetadataExporter::kTypeCSV : AudioMetadataExporter::kTypeXML;
      if (type != 0 && type != chosen) {
        return usageError(context, "export", "choose one of --csv and --xml");
      }
      type = chosen;
    } else if (arg == "--artwork") {
      artwork = true;
    } else if (arg == "--") {
      operands.insert(operands.end(), context.args.begin() + static_cast<long>(i) + 1,
                      context.args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError(context, "export", "unknown option " + arg);
    } else {
      operands.push_back(arg);
    }
  }
  if (type == 0) {
    return usageError(context, "export", "choose --csv or --xml");
  }
  if (artwork && type == AudioMetadataExporter::kTypeCSV) {
    return usageError(context, "export", "--artwork needs --xml: a CSV table holds no images");
  }
  if (operands.size() < 2) {
    return usageError(context, "export", "give the file to write and the files to export");
  }
  // Without --artwork the setting decides, as it does for the application.
  if (type == AudioMetadataExporter::kTypeXML && !artwork) {
    artwork = UserDefaults::standard().boolForKey("exportAlbumArtwork");
  }

  RunLog runLog;
  std::vector<std::string> paths;
  const auto records = readRecords({operands.begin() + 1, operands.end()}, paths, runLog);
  int status = 0;
  if (records.empty()) {
    context.err << "quorvel-cli: no audio file to export; " << operands.front()
                << " was not written\n";
    status = 1;
  } else {
    auto exporter = AudioMetadataExporter::exporterForType(type);
    Error error;
    if (!exporter->exportMetadatas(records, operands.front(), artwork, &error)) {
      context.err << "quorvel-cli: " << operands.front() << ": " << error.localizedDescription
                  << "\n";
      status = 1;
    }
  }
  runLog.flushTo(context.err);
  return runLog.failed() ? 1 : status;
}

int importCommand(CommandContext& context) {
  enum class Choice { None, ToAll, ToFirst } choice = Choice::None;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& arg = context.args[i];
    if (arg == "--to-all" || arg == "--to-first") {
      const Choice chosen = arg == "--to-all" ? Choice::ToAll : Choice::ToFirst;
      if (choice != Choice::None && choice != chosen) {
        return usageError(context, "import", "choose one of --to-all and --to-first");
      }
      choice = chosen;
    } else if (arg == "--") {
      operands.insert(operands.end(), context.args.begin() + static_cast<long>(i) + 1,
                      context.args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError(context, "import", "unknown option " + arg);
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.size() < 2) {
    return usageError(context, "import", "give the file to import and the files to change");
  }
  const std::string& source = operands.front();
  auto dictionaries = AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(source);
  if (!dictionaries) {
    context.err << "quorvel-cli: " << source
                << ": no metadata could be read (a CSV or XML file as the export writes "
                   "it is needed); nothing was changed\n";
    return 1;
  }

  RunLog runLog;
  std::vector<std::string> paths;
  const auto records = readRecords({operands.begin() + 1, operands.end()}, paths, runLog);

  // Pairing follows the count alert: --to-all is its alternate button,
  // --to-first its other button (or the alternate where it has no other:
  // both then import the first dictionaries only).
  bool applyToAll = true;
  if (auto alert = ImportCountAlert::alertForCounts(dictionaries->size(), records.size())) {
    const std::size_t buttons = alert->buttons().size();
    std::optional<bool> flag;
    if (choice == Choice::ToAll && buttons > 1) {
      flag = alert->applyToAllForReturnCode(1001);
    } else if (choice == Choice::ToFirst && buttons > 1) {
      flag = alert->applyToAllForReturnCode(buttons > 2 ? 1002 : 1001);
    }
    if (!flag) {
      context.err << "quorvel-cli: " << alert->heading() << ". " << alert->text() << "\n";
      if (buttons > 1) {
        context.err << "  --to-all: " << alert->buttons()[1] << "\n"
                    << "  --to-first: " << alert->buttons()[buttons > 2 ? 2 : 1] << "\n";
      }
      context.err << "Nothing was changed.\n";
      runLog.flushTo(context.err);
      return 1;
    }
    applyToAll = *flag;
  }

  AudioMetadataImporter importer;
  importer.importMetadataFromDictionaries(std::move(*dictionaries), records, applyToAll);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i]->metadataNeedsSaving()) {
      saveRecordToFile(*records[i], paths[i], runLog);
    }
  }
  runLog.flushTo(context.err);
  return runLog.failed() ? 1 : 0;
}

}  // namespace quorvel::cli
