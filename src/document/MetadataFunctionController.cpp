#include "document/MetadataFunctionController.h"

#include <atomic>
#include <chrono>
#include <utility>

#include "document/ErrorLogWindowController.h"
#include "document/MetadataFunctionDelegate.h"
#include "document/MetadataFunctionHost.h"
#include "document/MetadataFunctionInterface.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/Localization.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

constexpr const char* kArtworkKey = "ARTWORK";
// Workers report progress at most this often; the last record always reports.
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

std::string localized(const std::string& text) { return localizedString(text, ""); }

// The artwork a preview holds under "ARTWORK": the archived form, or plain
// image bytes.
AlbumArtworkPtr artworkFromPreviewValue(const MetadataValue& value) {
  if (value.allValues().empty() || !value.allValues().front().isData()) {
    return nullptr;
  }
  const Data& data = value.allValues().front().data();
  if (auto artwork = AlbumArtwork::fromArchivedData(data)) {
    return artwork;
  }
  return AlbumArtwork::albumArtworkFromData(data, "");
}

}  // namespace

// The controller's face toward a running function. It lives as long as the
// controller (or longer, while a worker or a queued call holds it); `owner`
// is cleared when the controller goes, and only the main thread reads it.
class MetadataFunctionController::RunDelegate final
    : public MetadataFunctionDelegate,
      public std::enable_shared_from_this<RunDelegate> {
 public:
  explicit RunDelegate(MetadataFunctionController& owner) : owner_(&owner) {}

  void metadataFunction(MetadataFunctionInterface&, AudioMetadata&, std::size_t index,
                        std::size_t count) override {
    reportProgress(index, count);
  }

  void metadataFunction(MetadataFunctionInterface& function, AudioMetadata&, std::size_t index,
                        std::size_t count, const Error& error) override {
    reportProgress(index, count);
    // Built here from texts only: the main thread must not touch the record.
    std::string line = stringWithFormat(localized("Error Performing Function: %@.  %@"),
                                        {function.functionName(), error.localizedDescription});
    RunLoop::main().perform([line = std::move(line)] { ErrorLogWindowController::log(line); },
                            false);
  }

  // Main thread, before the worker starts.
  void startRun() { lastReport_.reset(); }
  // Main thread.
  MetadataFunctionController* owner() const { return owner_; }
  void detach() { owner_ = nullptr; }

 private:
  void reportProgress(std::size_t index, std::size_t count) {
    auto now = std::chrono::steady_clock::now();
    bool last = index + 1 >= count;
    if (!last && lastReport_ && now - *lastReport_ < kProgressInterval) {
      return;
    }
    lastReport_ = now;
    double percent = count == 0
                         ? 100.0
                         : (static_cast<double>(index) + 1.0) / static_cast<double>(count) * 100.0;
    std::weak_ptr<RunDelegate> weak = weak_from_this();
    RunLoop::main().perform(
        [weak, percent] {
          auto self = weak.lock();
          if (self && self->owner_) {
            self->owner_->host_.setFunctionProgress(percent);
          }
        },
        false);
  }

  MetadataFunctionController* owner_;
  // Worker thread during a run.
  std::optional<std::chrono::steady_clock::time_point> lastReport_;
};

MetadataFunctionController::MetadataFunctionController(MetadataFunctionHost& host)
    : host_(host), runDelegate_(std::make_shared<RunDelegate>(*this)) {}

MetadataFunctionController::~MetadataFunctionController() {
  runDelegate_->detach();
  joinWorker();
}

void MetadataFunctionController::joinWorker() {
  if (!worker_.joinable()) {
    return;
  }
  // A worker may still be waiting for its finishing step on the main loop;
  // keep the loop turning until it has gone.
  if (RunLoop::main().isCurrentThread()) {
    while (!workerDone_->load()) {
      RunLoop::main().runOnce(std::chrono::milliseconds(10));
    }
  }
  worker_.join();
}

std::shared_ptr<MetadataFunctionInterface> MetadataFunctionController::currentMetadataFunction()
    const {
  std::lock_guard lock(currentMutex_);
  return current_;
}

void MetadataFunctionController::setCurrentMetadataFunction(
    std::shared_ptr<MetadataFunctionInterface> function) {
  std::lock_guard lock(currentMutex_);
  current_ = std::move(function);
}

void MetadataFunctionController::willShowFunctionWindow(bool setsPreviewMode) {
  host_.closeAllAuxillaryWindows();
  if (setsPreviewMode) {
    previewMode_ = UserDefaults::standard().boolForKey("previewMode");
  }
}

bool MetadataFunctionController::applyCurrentMetadataFunction(std::function<void()> whenDone) {
  auto function = currentMetadataFunction();
  if (!function || isDisplayHeld()) {
    return false;
  }
  joinWorker();

  function->setDelegate(runDelegate_.get());
  host_.beginFunctionProgress(
      stringWithFormat(localized("Applying Function: %@"), {function->functionName()}));

  // Taken here rather than on the worker: the list and the selection are the
  // main thread's.
  std::vector<AudioMetadataPtr> records =
      function->applyToAll() ? host_.metadatasInDisplayOrder() : host_.selectedMetadatas();
  std::shared_ptr<ZRUndoManager> undoManager =
      function->canBeUndone() ? host_.undoManager() : nullptr;

  applying_ = true;
  refreshPending_ = false;
  runningFunction_ = function;
  whenDone_ = std::move(whenDone);
  runDelegate_->startRun();
  workerDone_ = std::make_shared<std::atomic<bool>>(false);

  std::weak_ptr<RunDelegate> weakDelegate = runDelegate_;
  worker_ = std::thread(
      [function, records = std::move(records), undoManager, weakDelegate, done = workerDone_] {
        if (undoManager) {
          undoManager->beginUndoGrouping();
        }
        bool hasErrors = false;
        if (!records.empty()) {
          Error error;
          if (!function->applyToAudioMetadatas(records, false, &error)) {
            ErrorLogWindowController::log(error.localizedDescription);
            hasErrors = true;
          }
        }
        if (undoManager) {
          undoManager->setActionName(function->functionName());
          undoManager->endUndoGrouping();
        }
        RunLoop::main().perform(
            [weakDelegate, hasErrors] {
              auto delegate = weakDelegate.lock();
              if (delegate && delegate->owner()) {
                delegate->owner()->finishRun(hasErrors);
              }
            },
            true);
        done->store(true);
      });
  return true;
}

void MetadataFunctionController::finishRun(bool hasErrors) {
  applying_ = false;
  auto function = std::move(runningFunction_);
  auto whenDone = std::move(whenDone_);
  if (function) {
    function->setDelegate(nullptr);  // no pointer to us outlives the run
  }
  whenDone_ = nullptr;

  host_.endFunctionProgress();
  updatePreview();
  if (UserDefaults::standard().boolForKey("saveAfterChange")) {
    host_.save();
  }
  if (hasErrors) {
    host_.uiHost()->showErrorLog();
  }
  if (function) {
    if (auto count = function->albumArtworksExtractedCount()) {
      std::string text = *count == 1 ? localized("%lu artwork file was extracted.")
                                     : localized("%lu artwork files were extracted.");
      host_.uiHost()->runAlert(localized("Artworks Extracted"),
                               stringWithFormat(text, {std::to_string(*count)}), {localized("OK")});
    }
  }
  if (whenDone) {
    whenDone();
  }
}

void MetadataFunctionController::releaseDisplay() {
  if (holds_ > 0) {
    --holds_;
  }
  if (!isDisplayHeld() && refreshPending_) {
    updatePreview();
  }
}

void MetadataFunctionController::updatePreview() {
  if (isDisplayHeld()) {
    // A worker owns the records; the refresh waits for its end.
    refreshPending_ = true;
    return;
  }
  refreshPending_ = false;
  auto function = currentMetadataFunction();
  bool previewing = previewMode_ && function;
  std::vector<AudioMetadataPtr> selected = host_.selectedMetadatas();
  std::vector<std::size_t> positions(selected.size());
  for (std::size_t i = 0; i < selected.size(); ++i) {
    positions[i] = i;
  }

  selectionIndex_.clear();
  previewSelection_.clear();
  previewFunction_.reset();
  previewApplyToAll_ = false;
  if (previewing) {
    bool all = function->applyToAll();
    if (all) {
      std::vector<AudioMetadataPtr> display = host_.metadatasInDisplayOrder();
      function->applyToAudioMetadatas(display, true, nullptr);
      std::unordered_map<const AudioMetadata*, std::size_t> displayIndex;
      displayIndex.reserve(display.size());
      for (std::size_t i = 0; i < display.size(); ++i) {
        displayIndex.emplace(display[i].get(), i);
      }
      for (std::size_t i = 0; i < selected.size(); ++i) {
        auto it = displayIndex.find(selected[i].get());
        positions[i] = it != displayIndex.end() ? it->second : i;
      }
    } else {
      function->applyToAudioMetadatas(selected, true, nullptr);
      selectionIndex_.reserve(selected.size());
      for (std::size_t i = 0; i < selected.size(); ++i) {
        selectionIndex_.emplace(selected[i].get(), i);
      }
      previewSelection_ = selected;
    }
    previewFunction_ = function;
    previewApplyToAll_ = all;
  }

  selectionValues_ = mergedValues(selected, positions, function.get(), previewing);
  auto ui = host_.uiHost();
  ui->reloadTable();
  ui->refreshEditor();
}

std::optional<MetadataFunctionController::CellValue> MetadataFunctionController::cellValue(
    std::size_t row, const AudioMetadata& record, const std::string& key) const {
  if (isDisplayHeld()) {
    return std::nullopt;
  }
  if (previewFunction_) {
    std::optional<std::size_t> position;
    if (previewApplyToAll_) {
      position = row;
    } else if (auto it = selectionIndex_.find(&record); it != selectionIndex_.end()) {
      position = it->second;
    }
    if (position) {
      for (const auto& affected :
           previewFunction_->affectedKeysGivenAudioMetadata(record, *position)) {
        if (affected == key) {
          return CellValue{record.previewObjectValueForKey(key), true};
        }
      }
    }
  }
  if (!key.empty() && key.front() == '_') {
    return CellValue{record.sourceValueForKey(key), false};
  }
  return CellValue{record.metadataObjectValueForKey(key), false};
}

MetadataFunctionController::SelectionValues MetadataFunctionController::mergedValues(
    const std::vector<AudioMetadataPtr>& records, const std::vector<std::size_t>& positions,
    MetadataFunctionInterface* function, bool previewMode) {
  struct Slot {
    const MetadataValue* value = nullptr;  // the first record's value
    std::size_t count = 0;                 // records holding the key
    bool differs = false;
    bool fromPreview = false;
  };
  std::unordered_map<std::string, Slot> slots;
  std::vector<std::string> previewKeys;
  std::vector<std::pair<std::string, Slot*>> recentSlots;  // unordered_map nodes stay put
  bool previewing = previewMode && function;

  for (std::size_t i = 0; i < records.size(); ++i) {
    const AudioMetadata& record = *records[i];
    auto take = [&](Slot& slot, const MetadataValue& value, bool fromPreview) {
      if (slot.count == 0) {
        slot.value = &value;
        // A record before this one lacked the key.
        slot.differs = i > 0;
      } else if (slot.count < i || (!slot.differs && !slot.value->isEqualToMetadataValue(value))) {
        slot.differs = true;
      }
      slot.fromPreview = slot.fromPreview || fromPreview;
      ++slot.count;
    };

    previewKeys.clear();
    if (previewing) {
      std::size_t position = i < positions.size() ? positions[i] : i;
      for (auto& key : function->affectedKeysGivenAudioMetadata(record, position)) {
        bool seen = false;
        for (const auto& k : previewKeys) {
          seen = seen || k == key;
        }
        if (seen) {
          continue;
        }
        // An empty preview shows as an empty cell, but the editor falls back
        // to the real value.
        auto preview = record.previewValueForKey(key);
        if (preview && !preview->allValues().empty()) {
          take(slots[key], *preview, true);
          previewKeys.push_back(std::move(key));
        }
      }
    }
    // Records of one list mostly hold the same keys, so the slot found for
    // the previous record's key at the same place usually fits again.
    std::vector<std::string> keys = record.allMetadataKeys();
    if (recentSlots.size() < keys.size()) {
      recentSlots.resize(keys.size());
    }
    for (std::size_t j = 0; j < keys.size(); ++j) {
      const std::string& key = keys[j];
      bool merged = false;
      for (const auto& k : previewKeys) {
        merged = merged || k == key;
      }
      auto value = merged ? nullptr : record.metadataValueForKey(key);
      if (!value) {
        continue;
      }
      auto& [recentKey, recentSlot] = recentSlots[j];
      if (!recentSlot || recentKey != key) {
        recentKey = key;
        recentSlot = &slots[key];
      }
      take(*recentSlot, *value, false);
    }
  }

  SelectionValues result;
  for (auto& [key, slot] : slots) {
    std::shared_ptr<MetadataValue> shown;
    if (slot.differs || slot.count < records.size()) {
      std::int32_t type = TypeMultipleValues | (slot.fromPreview ? MetadataValue::TypePreview : 0);
      shown = std::make_shared<MetadataValue>(key, type);
    } else {
      shown = std::make_shared<MetadataValue>(*slot.value);
      if (slot.fromPreview) {
        shown->setType(shown->type() | MetadataValue::TypePreview);
      }
    }
    if (key == kArtworkKey && (shown->type() & MetadataValue::TypePreview) != 0) {
      result.artworkIsPreview = true;
      if (!isMultipleValuesMarker(*shown)) {
        result.previewArtwork = artworkFromPreviewValue(*shown);
      }
      continue;
    }
    result.values.emplace(key, std::move(shown));
  }
  return result;
}

}  // namespace quorvel
