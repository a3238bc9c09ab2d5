#include "document/ErrorLogWindowController.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/UrlOpener.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

// The platform's code for a write that failed for an unknown reason.
constexpr int kFileWriteUnknownError = 512;

bool writeAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Temporary file in the target's folder, then rename over it: readers see the
// old file or the new one, never half of one.
bool writeAtomically(const std::string& path, const std::string& text, Error* error) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  auto fail = [&](int err) {
    return setError(error, kQuorvelErrorDomain, kFileWriteUnknownError,
                    "The file \"" + target.filename().string() +
                        "\" couldn't be saved: " + std::strerror(err) + ".");
  };
  if (target.filename().empty()) {
    return fail(EISDIR);
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    return fail(errno);
  }
  // mkstemp makes the file private; a log is an ordinary document.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (!writeAll(fd, text.data(), text.size()) || ::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(err);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return fail(err);
  }
  return true;
}

}  // namespace

ErrorLogWindowController& ErrorLogWindowController::sharedController() {
  // Never destroyed: workers may still log while the process exits.
  static ErrorLogWindowController* const shared =
      std::make_unique<ErrorLogWindowController>(Key()).release();
  return *shared;
}

void ErrorLogWindowController::log(const std::string& message) {
  sharedController().logMessage(message);
}

void ErrorLogWindowController::logMessage(const std::string& message) {
  std::lock_guard lock(mutex_);
  const TimePoint now = clock_ ? clock_() : std::chrono::system_clock::now();
  entries_.push_back(Entry{now, message});
  notify(Change::Inserted, entries_.size() - 1, 1);
}

std::vector<ErrorLogWindowController::Entry> ErrorLogWindowController::errorLog() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::size_t ErrorLogWindowController::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::string ErrorLogWindowController::errorLogAsString() const {
  std::lock_guard lock(mutex_);
  std::string text;
  for (const Entry& entry : entries_) {
    text += stringWithFormat("%@\t%@\n", {formatDate(entry.date), entry.log});
  }
  return text;
}

void ErrorLogWindowController::clear() {
  std::lock_guard lock(mutex_);
  const std::size_t removed = entries_.size();
  entries_.clear();
  if (removed > 0) {
    notify(Change::Removed, 0, removed);
  }
}

bool ErrorLogWindowController::save(const std::string& path, Error* error) const {
  return writeAtomically(path, errorLogAsString(), error);
}

std::string ErrorLogWindowController::emailReportURL() const {
  const std::string subject = stringWithFormat("Quorvel %@ - Error Report", {QUORVEL_VERSION});
  // The address keeps its "@": mail clients read it unescaped more reliably.
  return stringWithFormat("mailto:%@?subject=%@&body=%@",
                          {percentEscape(kSupportAddress, "@"), percentEscape(subject),
                           percentEscape(errorLogAsString())});
}

bool ErrorLogWindowController::emailReportToDeveloper(Error* error) const {
  return UrlOpener::openURL(emailReportURL(), error);
}

std::string ErrorLogWindowController::formatDate(TimePoint date) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(date));
  std::tm utc{};
  if (!::gmtime_r(&seconds, &utc)) {
    return {};
  }
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return std::string(buffer, length);
}

std::string ErrorLogWindowController::percentEscape(const std::string& text,
                                                    const std::string& keep) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved || (byte != 0 && keep.find(c) != std::string::npos)) {
      escaped += c;
    } else {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    }
  }
  return escaped;
}

std::uint64_t ErrorLogWindowController::addObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  const auto token = nextObserverToken_++;
  observers_.emplace(token, std::move(observer));
  return token;
}

void ErrorLogWindowController::removeObserver(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

void ErrorLogWindowController::setClock(std::function<TimePoint()> clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
}

void ErrorLogWindowController::notify(Change change, std::size_t first, std::size_t count) {
  // A copy, so an observer may remove itself.
  const auto observers = observers_;
  for (const auto& [token, observer] : observers) {
    if (observer) {
      observer(change, first, count);
    }
  }
}

}  // namespace quorvel
