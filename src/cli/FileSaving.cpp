#include "cli/FileSaving.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>

#include "document/ErrorLogWindowController.h"
#include "model/AudioFileWriter.h"
#include "model/AudioMetadata.h"
#include "platform/FileOperations.h"
#include "platform/UserDefaults.h"
#include "support/StringFormat.h"

namespace quorvel::cli {

void RunLog::log(const std::string& message) {
  ErrorLogWindowController::log(message);
  failed_ = true;
}

void RunLog::flushTo(std::ostream& err) const {
  if (failed_) {
    err << ErrorLogWindowController::sharedController().errorLogAsString();
  }
}

namespace {

std::optional<std::chrono::system_clock::time_point> modificationDate(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return std::nullopt;
  }
  return std::chrono::system_clock::time_point(std::chrono::seconds(st.st_mtim.tv_sec) +
                                               std::chrono::nanoseconds(st.st_mtim.tv_nsec));
}

}  // namespace

bool saveRecordToFile(AudioMetadata& record, const std::string& path, RunLog& runLog,
                      Error* writeError) {
  const bool preserveDate = UserDefaults::standard().boolForKey("preserveModificationDate");
  auto oldDate = preserveDate ? modificationDate(path) : std::nullopt;
  Error error;
  bool written = false;
  std::error_code existsError;
  if (!std::filesystem::exists(path, existsError)) {
    runLog.log(stringWithFormat("Unable to find file at path: %@.", {path}));
  } else if (!(written = AudioFileWriter::writeToFile(record, path, &error))) {
    runLog.log(stringWithFormat("Error Saving File: %@.  %@", {path, error.localizedDescription}));
  }
  if (oldDate) {
    setFileDates(path, *oldDate, std::nullopt);
  }
  if (writeError) {
    *writeError = error;
  }
  return written;
}

}  // namespace quorvel::cli
