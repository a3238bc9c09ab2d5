#pragma once

#include <memory>
#include <string>

#include "support/Error.h"

namespace quorvel {

class FileOperations;

// A file written in one piece: the bytes go to a temporary file beside the
// destination, which replaces the destination only on commit(). An export
// that fails or is cancelled half-way therefore leaves whatever was there
// before, and never a truncated file.
//
//   AtomicOutputFile file;
//   if (!file.open(path, error)) return false;
//   ... write file.temporaryPath() ...
//   return file.commit(error);
//
// One object per write, used by one thread.
class AtomicOutputFile {
 public:
  AtomicOutputFile();
  // Removes the temporary file unless it was committed.
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file in the destination's folder (a symbolic link
  // at `path` is followed to its target). False with `error` when the folder
  // is missing or not writable.
  bool open(const std::string& path, Error* error);
  // The file to write (empty and private until commit); empty before open().
  const std::string& temporaryPath() const { return temporaryPath_; }
  // Flushes the temporary file to the disk and renames it over the
  // destination (keeping an existing destination's permission bits, else
  // 0644). False with `error` when any step fails; the destination is then
  // untouched and the temporary file removed.
  bool commit(Error* error);
  // Drops what was written; the destination stays as it was.
  void discard();

 private:
  std::shared_ptr<FileOperations> operations_;
  std::string targetPath_;
  std::string temporaryPath_;
};

}  // namespace quorvel
