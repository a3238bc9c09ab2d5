#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// Error codes of file operations (domain kQuorvelErrorDomain), numbered as the
// platform's file manager numbered them, with the system's reason in the
// description.
namespace fileerror {
inline constexpr int kNoSuchFile = 4;
inline constexpr int kReadUnknown = 256;
inline constexpr int kReadNoPermission = 257;
inline constexpr int kWriteUnknown = 512;
inline constexpr int kWriteNoPermission = 513;
inline constexpr int kWriteInvalidFileName = 514;
inline constexpr int kWriteFileExists = 516;
inline constexpr int kWriteOutOfSpace = 640;
inline constexpr int kWriteVolumeReadOnly = 642;
}  // namespace fileerror

// The file system as the writer and the renaming functions use it. Every
// operation that changes a file goes through the installed instance, so a
// test can replace it (subclass, override one step, install) and make any
// step fail on demand.
//
// The default implementation is POSIX. Every method is thread-safe and may be
// called from any thread; failures return false (or none) and fill `error`
// (kQuorvelErrorDomain, a fileerror code, the path and the system's reason).
class FileOperations {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  FileOperations() = default;
  virtual ~FileOperations();
  FileOperations(const FileOperations&) = delete;
  FileOperations& operator=(const FileOperations&) = delete;

  // The instance in use; never null (the POSIX one until another is
  // installed). Any thread.
  static std::shared_ptr<FileOperations> current();
  // Installs `operations` (null restores the POSIX one); returns the previous
  // instance. Calls already running keep the instance they started with.
  static std::shared_ptr<FileOperations> install(std::shared_ptr<FileOperations> operations);

  // Creates a new, empty file (mode 0600, never an existing name) in `folder`
  // whose name begins with `prefix`; returns its path.
  virtual std::optional<std::string> createTemporaryFile(const std::string& folder,
                                                         const std::string& prefix, Error* error);
  // Makes the empty file `destination` hold the bytes of `source`: a reflink
  // (shared extents, no bytes copied) where the file system offers one, else
  // an in-kernel copy, else reading and writing.
  virtual bool copyContents(const std::string& source, const std::string& destination,
                            Error* error);
  // Gives `destination` the owner and group (skipped silently where the
  // process may not change them), the extended attributes (each one that
  // cannot be set is skipped) and the permission bits of `source`.
  virtual bool copyAttributes(const std::string& source, const std::string& destination,
                              Error* error);
  // Flushes the file's bytes and metadata to the disk (fsync).
  virtual bool synchronizeFile(const std::string& path, Error* error);
  // Flushes a folder's entries to the disk, making renames in it durable.
  virtual bool synchronizeFolder(const std::string& folder, Error* error);
  // Renames `source` to `destination` in one step, replacing what is there
  // (rename(2): both must be on one file system).
  virtual bool replaceFile(const std::string& source, const std::string& destination, Error* error);
  // Moves `source` to `destination`, never replacing an existing file (error
  // kWriteFileExists) unless both names are the same file (a change of letter
  // case on a case-insensitive file system). Across file systems the file is
  // copied (as copyFile) and the source then removed.
  virtual bool moveFile(const std::string& source, const std::string& destination, Error* error);
  // Copies `source` to the new file `destination` (kWriteFileExists when a
  // file is there) with its attributes (as copyAttributes) and modification
  // date; the copy appears complete or not at all.
  virtual bool copyFile(const std::string& source, const std::string& destination, Error* error);
  // Removes a file (not a folder). False when it could not be removed.
  virtual bool removeFile(const std::string& path);
  // Creates the folder and every missing folder above it; true when it
  // exists afterwards.
  virtual bool createFolder(const std::string& path, Error* error);
  // Sets the modification date (the access date is left alone). `created`
  // is ignored: this system keeps a file's birth time itself and offers no
  // way to set it.
  virtual bool setFileDates(const std::string& path, TimePoint modified,
                            std::optional<TimePoint> created, Error* error);
};

// FileOperations::current()->setFileDates(...): puts back the dates of a file
// that was rewritten, for the setting that keeps modification dates.
bool setFileDates(const std::string& path, FileOperations::TimePoint modified,
                  std::optional<FileOperations::TimePoint> created = std::nullopt,
                  Error* error = nullptr);

// Fills `error` with the file-manager code for `errorNumber` (an errno
// value) and a description naming `path`; returns false.
bool setFileError(Error* error, int errorNumber, const std::string& path, bool writing = true);

// The bytes of the regular file at `path`, read whole; none when it cannot
// be opened, is not a regular file (a FIFO never blocks the read) or is
// larger than `limit`. A file that shrinks meanwhile gives what was there.
// Any thread.
std::optional<ByteBuffer> readRegularFile(const std::string& path, std::uintmax_t limit);

// Reads up to `count` bytes at `offset` of the open file `fd` into `into`,
// retrying after interruptions and short reads. The number read (fewer only
// at the end of the file), or -1 on an error. Any thread.
std::int64_t readAt(int fd, void* into, std::size_t count, std::int64_t offset);

}  // namespace quorvel
