#pragma once

#include <memory>
#include <string>

#include "support/Error.h"

namespace quorvel {

class FileOperations;

// Rewrites a file without ever writing into it, so that a crash, a full disk
// or a failing write at any moment leaves either the old file or the new one,
// whole:
//
//   FileReplacement replacement;
//   if (!replacement.prepare(path, error)) return false;   // copy beside it
//   ... change replacement.temporaryPath() ...
//   return replacement.commit(error);                      // swap it in
//
// prepare() copies the file (a symbolic link is followed to its target) to a
// temporary file in the same folder; commit() gives the copy the owner,
// extended attributes and permission bits of the original, flushes it to the
// disk, renames it over the original and flushes the folder. The new file's
// modification date is the time of the rewrite, as after a write in place.
// Until commit() succeeds the original is untouched; on destruction (and on
// any failure) an uncommitted temporary file is removed.
//
// Every step goes through one FileOperations instance (the one installed
// when the object is made). One object per rewrite, used by one thread.
class FileReplacement {
 public:
  FileReplacement();
  explicit FileReplacement(std::shared_ptr<FileOperations> operations);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Copies the regular file at `path` to a new temporary file beside it.
  // False with `error` when the file cannot be read or the copy made (no
  // room, folder not writable); nothing is left behind then.
  bool prepare(const std::string& path, Error* error);
  // The copy to change; empty before prepare() succeeds.
  const std::string& temporaryPath() const { return temporaryPath_; }
  // The file that commit() replaces (`path` with links resolved).
  const std::string& targetPath() const { return targetPath_; }
  // Makes the copy the file (see above). False with `error` when any step
  // fails; the original is then as it was and the copy is removed.
  bool commit(Error* error);
  // Removes the copy now; the original stays as it was.
  void discard();

 private:
  std::shared_ptr<FileOperations> operations_;
  std::string targetPath_;
  std::string temporaryPath_;
};

}  // namespace quorvel
