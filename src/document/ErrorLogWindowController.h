#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/Error.h"

namespace quorvel {

// The application's one error log: operations over many files write a line
// per failure here and go on. This is the window's model; the window itself
// (a table that follows the log through an observer) lives in the UI.
// Every method is thread-safe.
class ErrorLogWindowController {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  // One line of the log.
  struct Entry {
    TimePoint date;   // when it was logged
    std::string log;  // the message
  };

  enum class Change { Inserted, Removed };
  // Told of every change as a range of indexes; called on the changing
  // thread with the log's lock held, so the indexes are exact. It may read
  // the log but must not wait for another thread that logs.
  using Observer = std::function<void(Change change, std::size_t first, std::size_t count)>;

  // Where reports go.
  static constexpr const char* kSupportAddress = "support@quorvel.org";

  // Only sharedController() can make the key, so there is one log.
  class Key {
    friend class ErrorLogWindowController;
    Key() = default;
  };
  explicit ErrorLogWindowController(Key) {}
  ErrorLogWindowController(const ErrorLogWindowController&) = delete;
  ErrorLogWindowController& operator=(const ErrorLogWindowController&) = delete;

  // The one shared log; created on first use and never destroyed, so
  // workers may log while the process exits.
  static ErrorLogWindowController& sharedController();
  // Logs to the shared log.
  static void log(const std::string& message);

  // Appends an entry with the current date.
  void logMessage(const std::string& message);
  // A copy of the entries, oldest first.
  std::vector<Entry> errorLog() const;
  std::size_t count() const;
  // One "date<TAB>message<LF>" line per entry, oldest first.
  std::string errorLogAsString() const;
  // Removes every entry.
  void clear();
  // Writes errorLogAsString() as UTF-8 to `path` (the window asks for a name
  // ending in ".log"), replacing the file atomically: a failed write leaves
  // an existing file as it was. Returns false and fills `error` on failure.
  bool save(const std::string& path, Error* error = nullptr) const;

  // "mailto:" URL of a report to kSupportAddress with the subject "Quorvel
  // <version> - Error Report" and the log as body, every part percent-escaped.
  std::string emailReportURL() const;
  // Opens emailReportURL() in the desktop's mail client (UrlOpener). Returns
  // false and fills `error` when that cannot be started.
  bool emailReportToDeveloper(Error* error = nullptr) const;

  // A date as the desktop prints one, in UTC: "2026-12-05 18:30:00 +0000".
  static std::string formatDate(TimePoint date);
  // Percent-escapes every byte but A-Z a-z 0-9 - . _ ~ and those in `keep`.
  static std::string percentEscape(const std::string& text, const std::string& keep = {});

  std::uint64_t addObserver(Observer observer);
  void removeObserver(std::uint64_t token);
  // Replaces the clock that dates new entries (tests); an empty function
  // restores the system clock.
  void setClock(std::function<TimePoint()> clock);

 private:
  void notify(Change change, std::size_t first, std::size_t count);

  // Recursive so that an observer may read the log it is told about.
  mutable std::recursive_mutex mutex_;
  std::vector<Entry> entries_;
  std::map<std::uint64_t, Observer> observers_;
  std::uint64_t nextObserverToken_ = 1;
  std::function<TimePoint()> clock_;
};

}  // namespace quorvel
