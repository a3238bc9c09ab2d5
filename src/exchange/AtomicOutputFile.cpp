#include "exchange/AtomicOutputFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/FileOperations.h"

namespace quorvel {

namespace fs = std::filesystem;

AtomicOutputFile::AtomicOutputFile() : operations_(FileOperations::current()) {}

AtomicOutputFile::~AtomicOutputFile() { discard(); }

bool AtomicOutputFile::open(const std::string& path, Error* error) {
  discard();
  std::error_code ec;
  fs::path target = fs::absolute(path, ec);
  if (ec) {
    target = path;
  }
  // Replacing a link would turn it into a plain file; write where it points.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) {
      target = resolved;
    }
  }
  if (target.filename().empty() || fs::is_directory(target, ec)) {
    setFileError(error, EISDIR, path);
    return false;
  }
  auto temporary = operations_->createTemporaryFile(target.parent_path().string(),
                                                    target.filename().string(), error);
  if (!temporary) {
    return false;
  }
  targetPath_ = target.string();
  temporaryPath_ = *temporary;
  return true;
}

bool AtomicOutputFile::commit(Error* error) {
  if (temporaryPath_.empty()) {
    setFileError(error, EBADF, targetPath_);
    return false;
  }
  std::error_code ec;
  fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                   fs::perms::others_read;
  if (auto status = fs::status(targetPath_, ec); !ec && fs::is_regular_file(status)) {
    mode = status.permissions() & fs::perms::mask;
  }
  fs::permissions(temporaryPath_, mode, fs::perm_options::replace, ec);
  if (!operations_->synchronizeFile(temporaryPath_, error) ||
      !operations_->replaceFile(temporaryPath_, targetPath_, error)) {
    discard();
    return false;
  }
  temporaryPath_.clear();
  // The rename is done; a folder that cannot be flushed does not undo it.
  operations_->synchronizeFolder(fs::path(targetPath_).parent_path().string(), nullptr);
  return true;
}

void AtomicOutputFile::discard() {
  if (!temporaryPath_.empty()) {
    operations_->removeFile(temporaryPath_);
    temporaryPath_.clear();
  }
}

}  // namespace quorvel
