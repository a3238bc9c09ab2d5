// Adding files to the list, removing them and clearing it.

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "document/FileWalker.h"
#include "model/AudioFileReader.h"
#include "platform/UIHost.h"
#include "platform/ZRUndoManager.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace fs = std::filesystem;

namespace {

// What reading one path gave: a record, or none for a file that cannot be read.
struct ReadOutcome {
  std::string path;
  AudioMetadataPtr record;
};

// Reads the paths a walk offers on several threads and hands the outcomes
// on in the order they were offered, in batches, through `deliver` (which
// is called with the pipeline's lock held, so batches leave in order).
// Paths not yet read when the run is cancelled are dropped unread.
class ReadingPipeline {
 public:
  using Deliver = std::function<void(std::vector<ReadOutcome>)>;

  ReadingPipeline(unsigned threads, Deliver deliver, const std::atomic<bool>& cancelled)
      : deliver_(std::move(deliver)), cancelled_(cancelled) {
    for (unsigned i = 0; i < threads; ++i) {
      readers_.emplace_back([this] { readLoop(); });
    }
  }
  ~ReadingPipeline() { finish(); }
  ReadingPipeline(const ReadingPipeline&) = delete;
  ReadingPipeline& operator=(const ReadingPipeline&) = delete;

  void offer(std::string path) {
    {
      std::lock_guard lock(mutex_);
      pending_.emplace_back(nextOffered_++, std::move(path));
    }
    wake_.notify_one();
  }

  // Waits until every offered path is read (or dropped) and delivered.
  // Returns the number of files read.
  std::uint64_t finish() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    wake_.notify_all();
    for (auto& reader : readers_) {
      if (reader.joinable()) {
        reader.join();
      }
    }
    std::lock_guard lock(mutex_);
    return attempts_;
  }

 private:
  // A reader takes the waiting files of one folder together (up to kRun):
  // the tracks of an album share a cover, and a reader meeting a new cover
  // hashes it while any other reader meeting it at the same moment waits for
  // the digest. Read by one reader in turn, an album costs nobody a wait.
  static constexpr std::size_t kRun = 16;

  static std::string_view folderOf(const std::string& path) {
    return std::string_view(path).substr(0, path.find_last_of('/') + 1);
  }

  void readLoop() {
    std::vector<std::pair<std::uint64_t, std::string>> run;
    for (;;) {
      run.clear();
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return closed_ || !pending_.empty(); });
        if (pending_.empty()) {
          return;
        }
        do {
          run.push_back(std::move(pending_.front()));
          pending_.pop_front();
        } while (!pending_.empty() && run.size() < kRun &&
                 folderOf(pending_.front().second) == folderOf(run.front().second));
      }
      for (auto& job : run) {
        read(std::move(job));
      }
    }
  }

  void read(std::pair<std::uint64_t, std::string> job) {
    ReadOutcome outcome{std::move(job.second), nullptr};
    const bool skip = cancelled_;
    if (!skip) {
      outcome.record = AudioFileReader::metadataFromFile(outcome.path);
    }
    std::lock_guard lock(mutex_);
    if (!skip) {
      ++attempts_;
    }
    done_.emplace(job.first, skip ? std::nullopt : std::optional<ReadOutcome>(std::move(outcome)));
    std::vector<ReadOutcome> batch;
    for (auto it = done_.find(nextDelivered_); it != done_.end(); it = done_.find(nextDelivered_)) {
      if (it->second) {
        batch.push_back(std::move(*it->second));
      }
      done_.erase(it);
      ++nextDelivered_;
    }
    if (!batch.empty()) {
      deliver_(std::move(batch));
    }
  }

  Deliver deliver_;
  const std::atomic<bool>& cancelled_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::uint64_t, std::string>> pending_;
  // Outcomes read ahead of an earlier one still being read; none = dropped.
  std::map<std::uint64_t, std::optional<ReadOutcome>> done_;
  std::uint64_t nextOffered_ = 0;
  std::uint64_t nextDelivered_ = 0;
  std::uint64_t attempts_ = 0;
  bool closed_ = false;
  std::vector<std::thread> readers_;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a "file://" URL (host empty or "localhost"), or none.
std::optional<std::string> pathOfFileURL(const std::string& url) {
  constexpr std::string_view scheme = "file://";
  if (url.size() < scheme.size() ||
      !std::equal(scheme.begin(), scheme.end(), url.begin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
      })) {
    return std::nullopt;
  }
  std::string rest = url.substr(scheme.size());
  if (rest.starts_with("localhost/")) {
    rest.erase(0, 9);
  }
  if (!rest.starts_with("/")) {
    return std::nullopt;
  }
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 &&
        hexDigit(rest[i + 2]) >= 0) {
      path += static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
      i += 2;
    } else {
      path += rest[i];
    }
  }
  if (path.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return path;
}

}  // namespace

std::vector<std::string> AppDelegate::filePathsFromMusicLibraryTracks(const PlistValue& tracks) {
  std::vector<std::string> paths;
  const auto* root = tracks.get<PlistDict>();
  if (!root) {
    return paths;
  }
  auto entries = root->find("Tracks");
  if (entries == root->end()) {
    return paths;
  }
  auto take = [&](const PlistValue& entry) {
    const auto* track = entry.get<PlistDict>();
    if (!track) {
      return;
    }
    auto location = track->find("Location");
    if (location == track->end() || !location->second.is<std::string>()) {
      return;
    }
    if (auto path = pathOfFileURL(*location->second.get<std::string>())) {
      paths.push_back(std::move(*path));
    }
  };
  if (const auto* dictionary = entries->second.get<PlistDict>()) {
    for (const auto& [key, entry] : *dictionary) {
      take(entry);
    }
  } else if (const auto* list = entries->second.get<PlistArray>()) {
    for (const auto& entry : *list) {
      take(entry);
    }
  }
  return paths;
}

void AppDelegate::addFiles() {
  auto paths = ui()->chooseFilesToOpen(FileWalker::acceptedExtensions());
  if (paths.empty()) {
    return;
  }
  beginProgressSheet("Adding Files", true);
  detachNewThread([this, paths = std::move(paths)] { parseDroppedFiles(paths); });
}

void AppDelegate::filesWereDropped(const std::vector<std::string>& paths) {
  beginAddFilesProcess(paths);
}

void AppDelegate::openFiles(const std::vector<std::string>& paths) { beginAddFilesProcess(paths); }

void AppDelegate::beginAddFilesProcess(const std::vector<std::string>& paths) {
  if (boolSetting("clearFilesWhenAdding") && !arrayController_.arrangedObjects().empty()) {
    // Whatever is answered about unsaved changes, the files are added.
    clearFiles();
  }
  if (paths.empty()) {
    return;
  }
  beginProgressSheet("Adding Files", true);
  detachNewThread([this, paths] { parseDroppedFiles(paths); });
}

void AppDelegate::parseDroppedFiles(std::vector<std::string> paths) {
  performOnMainThread([this] { errorLog().clear(); }, false);
  ProgressClock clock(progressInterval_);
  cancelled_ = false;

  // Paths already open are passed over. The snapshot is taken once, so a file
  // reached twice within this run is added twice.
  std::unordered_set<std::string> open;
  std::size_t countBefore = 0;
  performOnMainThread(
      [&] {
        for (const auto& record : metadatas()) {
          if (record->sourceLocation()) {
            open.insert(*record->sourceLocation());
          }
        }
        countBefore = metadatas().size();
      },
      true);

  auto report = [&] {
    if (!clock.due()) {
      return;
    }
    performOnMainThread(
        [this, countBefore] {
          arrayController_.rearrangeObjects();
          std::size_t count = metadatas().size();
          setProgressPanelTextValue(
              stringWithFormat(localized("Added %ld files"),
                               {std::to_string(count > countBefore ? count - countBefore : 0)}));
          updatePreview();
        },
        false);
  };

  std::uint64_t attempts = 0;
  std::uint64_t added = 0;
  std::unique_ptr<ReadingPipeline> pipeline;
  if (readingThreads_ > 0) {
    pipeline = std::make_unique<ReadingPipeline>(
        readingThreads_,
        [this, &added](std::vector<ReadOutcome> batch) {
          for (const auto& outcome : batch) {
            added += outcome.record ? 1 : 0;
          }
          performOnMainThread(
              [this, batch = std::move(batch)] {
                for (const auto& outcome : batch) {
                  if (outcome.record) {
                    appendRecord(outcome.record);
                  } else {
                    errorLog().logMessage(stringWithFormat(
                        localized("Could Not Add File At Path: %@"), {outcome.path}));
                  }
                }
              },
              false);
        },
        cancelled_);
  }
  auto offer = [&](const std::string& path) {
    if (open.contains(path)) {
      return;
    }
    if (pipeline) {
      pipeline->offer(path);
      return;
    }
    ++attempts;
    bool ok = false;
    performOnMainThread([&] { ok = addMetadataAtPath(path); }, true);
    added += ok ? 1 : 0;
  };

  for (const std::string& path : paths) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
      FileWalker::walkFolder(
          path,
          [&](const std::string& item) {
            offer(item);
            return true;
          },
          [&](const std::string&) {
            report();
            return !cancelled_;
          });
    } else if (FileWalker::hasAcceptedExtension(path)) {
      offer(path);
    }
    report();
    if (cancelled_) {
      break;
    }
  }
  if (pipeline) {
    attempts = pipeline->finish();
  }
  // Every batch was handed to the main thread before this, in order.
  const std::uint64_t invalid = attempts - added;
  performOnMainThread([this, invalid] { parseDroppedFilesFinished(invalid); }, true);
}

bool AppDelegate::addMetadataAtPath(const std::string& path) {
  auto record = AudioFileReader::metadataFromFile(path);
  if (!record) {
    errorLog().logMessage(stringWithFormat(localized("Could Not Add File At Path: %@"), {path}));
    return false;
  }
  appendRecord(record);
  return true;
}

void AppDelegate::appendRecord(const AudioMetadataPtr& record) {
  record->setUndoManager(undoManager_);
  arrayController_.addObject(record);
}

void AppDelegate::parseDroppedFilesFinished(std::uint64_t invalidFilesCount) {
  endProgressSheet(cancelled_ ? 0 : 1);
  arrayController_.rearrangeObjects();
  ui()->reloadTable();
  updatePreview();
  if (arrayController_.selectionCount() == 0 && !arrayController_.arrangedObjects().empty()) {
    setSelectionIndexes({0});
  }
  if (invalidFilesCount > 0) {
    const char* message = invalidFilesCount == 1 ? "Could Not Add %lu Invalid File."
                                                 : "Could Not Add %lu Invalid Files.";
    int answer =
        ui()->runAlert(stringWithFormat(localized(message), {std::to_string(invalidFilesCount)}),
                       "", {localized("OK"), localized("Show Log")});
    if (answer == kAlertSecondButtonReturn) {
      ui()->showErrorLog();
    }
  }
  running_ = false;
}

void AppDelegate::removeFiles() {
  beginProgressSheet("Removing Files", true);
  removeMetadatas(arrayController_.selectedObjects());
  endProgressSheet(1);
}

void AppDelegate::removeMetadatas(const std::vector<AudioMetadataPtr>& records) {
  if (records.empty()) {
    return;
  }
  const std::size_t index = arrayController_.selectionIndex();
  if (arrayController_.deselectAll()) {
    ui()->selectionDidChange();
  }
  for (const auto& record : records) {
    undoManager_->removeAllActionsWithTarget(record.get());
  }
  arrayController_.removeObjects(records);
  const std::size_t count = arrayController_.arrangedObjects().size();
  if (index != ArrayController::NotFound && count > 0) {
    arrayController_.setSelectionIndex(std::min(index, count - 1));
  }
  ui()->reloadTable();
  ui()->selectionDidChange();
  updatePreview();
}

void AppDelegate::clearFiles() {
  const std::vector<AudioMetadataPtr> shown = arrayController_.arrangedObjects();
  const bool unsaved = std::any_of(shown.begin(), shown.end(), [](const AudioMetadataPtr& record) {
    return record->metadataNeedsSaving();
  });
  if (unsaved) {
    int answer = ui()->runAlert(
        localized("There Are Still Unsaved Changes."), "",
        {localized("Save And Clear Files"), localized("Clear Files"), localized("Cancel")});
    if (answer == kAlertThirdButtonReturn) {
      return;
    }
    if (answer == kAlertFirstButtonReturn) {
      save();
    }
  }
  beginProgressSheet("Clearing Files", true);
  arrayController_.deselectAll();
  ui()->selectionDidChange();
  arrayController_.removeObjects(shown);
  undoManager_->removeAllActions();
  ui()->reloadTable();
  updatePreview();
  endProgressSheet(1);
}

}  // namespace quorvel
