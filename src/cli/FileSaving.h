#pragma once

#include <iosfwd>
#include <string>

#include "support/Error.h"

namespace quorvel {
class AudioMetadata;
}

namespace quorvel::cli {

// The failures of one command run: each is written to the shared error log
// (as the application logs a failed file) and, at the end, to stderr.
class RunLog {
 public:
  // Logs one failure.
  void log(const std::string& message);
  bool failed() const { return failed_; }
  // Writes the error log's lines to `err` when anything failed.
  void flushTo(std::ostream& err) const;

 private:
  bool failed_ = false;
};

// Saves `record` into the file at `path` as the save run does: a missing
// file and a failed write are logged ("Unable to find file at path: %@.",
// "Error Saving File: %@.  %@"); the modification date is kept when the
// setting "preserveModificationDate" is on. Returns true when written;
// `writeError` receives the writer's error.
bool saveRecordToFile(AudioMetadata& record, const std::string& path, RunLog& runLog,
                      Error* writeError = nullptr);

}  // namespace quorvel::cli
