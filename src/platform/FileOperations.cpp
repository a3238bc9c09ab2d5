#include "platform/FileOperations.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

namespace quorvel {

namespace {

namespace fs = std::filesystem;

// Closes a descriptor on every path out of a function.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded (a failed close can
  // mean lost bytes on network file systems).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string lastComponent(const std::string& path) { return fs::path(path).filename().string(); }

std::mutex& instanceMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<FileOperations>& instanceSlot() {
  static std::shared_ptr<FileOperations> instance = std::make_shared<FileOperations>();
  return instance;
}

// Writes all of `size` bytes, retrying short writes and interruptions.
bool writeAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool copyByReading(int from, int to) {
  if (::lseek(from, 0, SEEK_SET) < 0 || ::lseek(to, 0, SEEK_SET) < 0 || ::ftruncate(to, 0) != 0) {
    return false;
  }
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

// In-kernel copy; false with errno set. `fallBack` tells whether the caller
// should try plain reading and writing instead (the file systems do not
// support it), as opposed to a real failure such as a full disk.
bool copyInKernel(int from, int to, off_t size, bool& fallBack) {
  fallBack = false;
  off_t done = 0;
  while (done < size) {
    const ssize_t copied =
        ::copy_file_range(from, nullptr, to, nullptr, static_cast<std::size_t>(size - done), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      fallBack = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                 errno == EBADF;
      return false;
    }
    if (copied == 0) break;  // the file shrank meanwhile
    done += copied;
  }
  return true;
}

// Renames without replacing; EEXIST when `to` exists.
int renameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: a hard link cannot replace either.
  if (::link(from, to) == 0) {
    ::unlink(from);
    return 0;
  }
  if (errno == EEXIST) return -1;
  // Nor hard links (FAT, some network shares): check, then rename.
  struct stat st {};
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

bool setFileError(Error* error, int errorNumber, const std::string& path, bool writing) {
  int code = writing ? fileerror::kWriteUnknown : fileerror::kReadUnknown;
  switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
      code = fileerror::kNoSuchFile;
      break;
    case EACCES:
    case EPERM:
      code = writing ? fileerror::kWriteNoPermission : fileerror::kReadNoPermission;
      break;
    case EEXIST:
      code = fileerror::kWriteFileExists;
      break;
    case ENAMETOOLONG:
      code = fileerror::kWriteInvalidFileName;
      break;
    case ENOSPC:
    case EDQUOT:
      code = fileerror::kWriteOutOfSpace;
      break;
    case EROFS:
      code = fileerror::kWriteVolumeReadOnly;
      break;
    default:
      break;
  }
  const std::string verb = writing ? "couldn’t be saved" : "couldn’t be opened";
  return setError(
      error, kQuorvelErrorDomain, code,
      "The file “" + lastComponent(path) + "” " + verb + " (" + std::strerror(errorNumber) + ").");
}

FileOperations::~FileOperations() = default;

std::shared_ptr<FileOperations> FileOperations::current() {
  std::lock_guard<std::mutex> lock(instanceMutex());
  return instanceSlot();
}

std::shared_ptr<FileOperations> FileOperations::install(
    std::shared_ptr<FileOperations> operations) {
  if (!operations) operations = std::make_shared<FileOperations>();
  std::lock_guard<std::mutex> lock(instanceMutex());
  std::swap(instanceSlot(), operations);
  return operations;
}

std::optional<std::string> FileOperations::createTemporaryFile(const std::string& folder,
                                                               const std::string& prefix,
                                                               Error* error) {
  // A hidden name, short enough for any file system's 255-byte limit.
  std::string name = "." + prefix.substr(0, 200) + ".XXXXXX";
  std::string pattern = (fs::path(folder) / name).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    setFileError(error, errno, (fs::path(folder) / prefix).string());
    return std::nullopt;
  }
  ::close(fd);
  return pattern;
}

bool FileOperations::copyContents(const std::string& source, const std::string& destination,
                                  Error* error) {
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!from.valid()) return setFileError(error, errno, source, false);
  struct stat st {};
  if (::fstat(from.get(), &st) != 0) return setFileError(error, errno, source, false);
  Descriptor to(::open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!to.valid()) return setFileError(error, errno, destination);

  // A reflink shares the extents: instant, and no room taken until TagLib
  // rewrites part of the copy.
  if (::ioctl(to.get(), FICLONE, from.get()) == 0) return true;
  bool fallBack = false;
  if (!copyInKernel(from.get(), to.get(), st.st_size, fallBack)) {
    if (!fallBack) return setFileError(error, errno, destination);
    if (!copyByReading(from.get(), to.get())) return setFileError(error, errno, destination);
  }
  if (!to.close()) return setFileError(error, errno, destination);
  return true;
}

bool FileOperations::copyAttributes(const std::string& source, const std::string& destination,
                                    Error* error) {
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!from.valid()) return setFileError(error, errno, source, false);
  struct stat st {};
  if (::fstat(from.get(), &st) != 0) return setFileError(error, errno, source, false);
  Descriptor to(::open(destination.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!to.valid()) return setFileError(error, errno, destination);

  // Only a privileged process may give a file away; for everyone else the
  // rewritten file belongs to them, as any editor's save would.
  if (::fchown(to.get(), st.st_uid, st.st_gid) != 0 && errno != EPERM) {
    // Group only (a member of the group may set it).
    if (::fchown(to.get(), static_cast<uid_t>(-1), st.st_gid) != 0 && errno != EPERM) {
      return setFileError(error, errno, destination);
    }
  }

  // Extended attributes (ACLs, tags, colours of file managers): each copied
  // on its own, so one the process may not set (security.*, trusted.*) does
  // not stop the others.
  ssize_t size = ::flistxattr(from.get(), nullptr, 0);
  if (size > 0) {
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(from.get(), names.data(), names.size());
    for (ssize_t at = 0; size > 0 && at < size;) {
      const char* name = names.data() + at;
      at += static_cast<ssize_t>(std::strlen(name)) + 1;
      const ssize_t valueSize = ::fgetxattr(from.get(), name, nullptr, 0);
      if (valueSize < 0) continue;
      std::vector<char> value(static_cast<std::size_t>(valueSize));
      const ssize_t got = ::fgetxattr(from.get(), name, value.data(), value.size());
      if (got < 0) continue;
      ::fsetxattr(to.get(), name, value.data(), static_cast<std::size_t>(got), 0);
    }
  }

  // After the owner: changing the owner clears the set-id bits.
  if (::fchmod(to.get(), st.st_mode & 07777) != 0) return setFileError(error, errno, destination);
  return true;
}

bool FileOperations::synchronizeFile(const std::string& path, Error* error) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return setFileError(error, errno, path);
  if (::fsync(fd.get()) != 0) return setFileError(error, errno, path);
  return true;
}

bool FileOperations::synchronizeFolder(const std::string& folder, Error* error) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return setFileError(error, errno, folder);
  // Some file systems cannot sync a folder (EINVAL); their renames are as
  // durable as they get.
  if (::fsync(fd.get()) != 0 && errno != EINVAL) return setFileError(error, errno, folder);
  return true;
}

bool FileOperations::replaceFile(const std::string& source, const std::string& destination,
                                 Error* error) {
  if (::rename(source.c_str(), destination.c_str()) != 0) {
    return setFileError(error, errno, destination);
  }
  return true;
}

bool FileOperations::moveFile(const std::string& source, const std::string& destination,
                              Error* error) {
  if (renameNoReplace(source.c_str(), destination.c_str()) == 0) return true;
  const int err = errno;
  if (err == EEXIST && sameFile(source, destination)) {
    // The same file under another letter case.
    if (::rename(source.c_str(), destination.c_str()) == 0) return true;
    return setFileError(error, errno, destination);
  }
  if (err != EXDEV) return setFileError(error, err, destination);
  if (!copyFile(source, destination, error)) return false;
  if (!removeFile(source)) {
    // Both copies exist now; the new one is whole, so the move counts as
    // failed only in that the old name is still there.
    return setFileError(error, errno, source);
  }
  return true;
}

bool FileOperations::copyFile(const std::string& source, const std::string& destination,
                              Error* error) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) return setFileError(error, errno, source, false);
  if (!S_ISREG(st.st_mode)) return setFileError(error, EISDIR, source, false);
  struct stat existing {};
  if (::lstat(destination.c_str(), &existing) == 0) {
    return setFileError(error, EEXIST, destination);
  }
  const fs::path target(destination);
  auto temporary =
      createTemporaryFile(target.parent_path().string(), target.filename().string(), error);
  if (!temporary) return false;
  auto fail = [&]() {
    ::unlink(temporary->c_str());
    return false;
  };
  if (!copyContents(source, *temporary, error) || !copyAttributes(source, *temporary, error)) {
    return fail();
  }
  // A copy keeps the original's dates, as the file manager's copy does.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::utimensat(AT_FDCWD, temporary->c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    setFileError(error, errno, destination);
    return fail();
  }
  if (!synchronizeFile(*temporary, error)) return fail();
  if (renameNoReplace(temporary->c_str(), destination.c_str()) != 0) {
    setFileError(error, errno, destination);
    return fail();
  }
  synchronizeFolder(target.parent_path().string(), nullptr);
  return true;
}

bool FileOperations::removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileOperations::createFolder(const std::string& path, Error* error) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (fs::is_directory(path)) return true;
  return setFileError(error, ec ? ec.value() : ENOTDIR, path);
}

bool FileOperations::setFileDates(const std::string& path, TimePoint modified,
                                  std::optional<TimePoint> /*created*/, Error* error) {
  const auto since = modified.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds);
  struct timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds.count());
  times[1].tv_nsec = static_cast<long>(nanoseconds.count());
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return setFileError(error, errno, path);
  return true;
}

bool setFileDates(const std::string& path, FileOperations::TimePoint modified,
                  std::optional<FileOperations::TimePoint> created, Error* error) {
  return FileOperations::current()->setFileDates(path, modified, created, error);
}

std::optional<ByteBuffer> readRegularFile(const std::string& path, std::uintmax_t limit) {
  // Non-blocking open: a FIFO put where a file was expected must not hang us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return std::nullopt;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uintmax_t>(st.st_size) > limit) {
    return std::nullopt;
  }
  ByteBuffer bytes(static_cast<std::size_t>(st.st_size));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return std::nullopt;
    }
    if (n == 0) {
      break;  // shrank while we read: keep what is there
    }
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}

std::int64_t readAt(int fd, void* into, std::size_t count, std::int64_t offset) {
  auto* bytes = static_cast<char*>(into);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, bytes + done, count - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return -1;
    }
    if (n == 0) {
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace quorvel
