#include "platform/FileReplacement.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/FileOperations.h"

namespace quorvel {

namespace fs = std::filesystem;

FileReplacement::FileReplacement() : FileReplacement(FileOperations::current()) {}

FileReplacement::FileReplacement(std::shared_ptr<FileOperations> operations)
    : operations_(operations ? std::move(operations) : FileOperations::current()) {}

FileReplacement::~FileReplacement() { discard(); }

bool FileReplacement::prepare(const std::string& path, Error* error) {
  discard();
  std::error_code ec;
  // The link stays a link; its target is what gets rewritten.
  const fs::path target = fs::canonical(path, ec);
  if (ec) return setFileError(error, ec.value(), path, false);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return setFileError(error, errno, path, false);
  if (!S_ISREG(st.st_mode)) return setFileError(error, EISDIR, path, false);

  auto temporary = operations_->createTemporaryFile(target.parent_path().string(),
                                                    target.filename().string(), error);
  if (!temporary) return false;
  temporaryPath_ = std::move(*temporary);
  targetPath_ = target.string();
  if (!operations_->copyContents(targetPath_, temporaryPath_, error)) {
    discard();
    return false;
  }
  return true;
}

bool FileReplacement::commit(Error* error) {
  if (temporaryPath_.empty()) {
    return setError(error, kQuorvelErrorDomain, fileerror::kWriteUnknown,
                    "There is no prepared copy to save.");
  }
  if (!operations_->copyAttributes(targetPath_, temporaryPath_, error) ||
      !operations_->synchronizeFile(temporaryPath_, error) ||
      !operations_->replaceFile(temporaryPath_, targetPath_, error)) {
    discard();
    return false;
  }
  temporaryPath_.clear();
  // The new file is in place whatever this says; a folder that cannot be
  // flushed only makes the rename less durable, so it is not a failure.
  operations_->synchronizeFolder(fs::path(targetPath_).parent_path().string(), nullptr);
  return true;
}

void FileReplacement::discard() {
  if (!temporaryPath_.empty()) {
    operations_->removeFile(temporaryPath_);
    temporaryPath_.clear();
  }
}

}  // namespace quorvel
