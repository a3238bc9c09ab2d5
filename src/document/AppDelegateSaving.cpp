// Saving, the quit check, revert, and the two batch tag operations.

#include <algorithm>
#include <filesystem>

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "model/AudioFileReader.h"
#include "model/AudioFileWriter.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/ZRUndoManager.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string number(std::size_t value) { return std::to_string(value); }

double percent(std::size_t index, std::size_t count) {
  return count == 0 ? 0.0 : static_cast<double>(index) / static_cast<double>(count) * 100.0;
}

// Remove Empty Tags on one record: keys without values go, and so do empty
// texts and empty data, last value first; numbers are never removed.
void removeEmptyValues(AudioMetadata& record) {
  for (const std::string& key : record.allMetadataKeys()) {
    auto values = record.metadataObjectValuesForKey(key);
    if (!values || values->empty()) {
      record.removeMetadataValueForKey(key);
      continue;
    }
    for (std::size_t i = values->size(); i-- > 0;) {
      const Object& value = (*values)[i];
      if ((value.isText() && value.text().empty()) || (value.isData() && value.data().empty())) {
        record.removeMetadataObjectValueForKey(key, i);
      }
    }
  }
}

}  // namespace

// --- Saving ------------------------------------------------------------------------------

void AppDelegate::save() {
  cancelled_ = false;
  running_ = true;
  ui()->endEditing();
  const bool onlyChanged = boolSetting("onlySaveChangedFiles");
  std::vector<AudioMetadataPtr> records;
  for (const auto& record : metadatas()) {
    if (!onlyChanged || record->metadataNeedsSaving()) {
      records.push_back(record);
    }
  }
  beginProgressSheet("Saving Files", false, 0);
  // The save queue writes these records until its finishing step.
  beginRecordsBusy();
  ++pendingSaves_;
  saveQueue_.addOperation([this, records = std::move(records)] {
    saveAudioMetadatas(records);
    --pendingSaves_;
    // Whoever runs the main loop until the controller is idle looks again.
    RunLoop::main().perform([] {}, false);
  });
}

void AppDelegate::saveAudioMetadatas(const std::vector<AudioMetadataPtr>& records) {
  ProgressClock clock(progressInterval_);
  const bool preserveDate = boolSetting("preserveModificationDate");
  const std::size_t count = records.size();
  bool hasErrors = false;
  auto log = [this](std::string line) {
    performOnMainThread([this, line = std::move(line)] { errorLog().logMessage(line); }, false);
  };

  for (std::size_t i = 0; i < count; ++i) {
    if (clock.due()) {
      // The table is not redrawn here: its records are being written. The
      // end of the sheet redraws it.
      setProgressPanelIndicatorValue(percent(i, count));
      setProgressPanelTextValue(
          stringWithFormat(localized("Saving %ld of %ld files"), {number(i), number(count)}));
      if (cancelled_) {
        break;
      }
    }
    AudioMetadata& record = *records[i];
    const std::string path = record.sourceLocation().value_or(std::string());
    std::error_code ec;
    if (path.empty() || !fs::exists(path, ec)) {
      log(stringWithFormat(localized("Unable to find file at path: %@."), {path}));
      hasErrors = true;
      continue;
    }
    std::optional<fs::file_time_type> modified;
    if (preserveDate) {
      auto time = fs::last_write_time(path, ec);
      if (!ec) {
        modified = time;
      }
    }
    Error error;
    if (!AudioFileWriter::writeToFile(record, path, &error)) {
      log(stringWithFormat(localized("Error Saving File: %@.  %@"),
                           {path, error.localizedDescription}));
      hasErrors = true;
    }
    if (modified) {
      fs::last_write_time(path, *modified, ec);
    }
  }
  performOnMainThread([&] { saveAudioMetadatasFinish(count, hasErrors); }, true);
}

void AppDelegate::saveAudioMetadatasFinish(std::uint64_t count, bool hasErrors) {
  endRecordsBusy();
  if (cancelled_) {
    endProgressSheet(0);
  } else {
    setProgressPanelTextValue(
        stringWithFormat(localized("Selecting %ld Files"), {std::to_string(count)}));
    setProgressPanelIndicatorIndeterminate(true);
    endProgressSheet(1);
  }
  if (boolSetting("clearAfterSaving") && !boolSetting("saveAfterChange")) {
    clearFiles();
  }
  if (hasErrors) {
    ui()->showErrorLog();
  }
  if (shouldTerminate_) {
    ui()->replyToApplicationShouldTerminate(true);
  }
  updatePreview();
}

// --- Quitting ----------------------------------------------------------------------------

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
  const auto& shown = arrayController_.arrangedObjects();
  const bool unsaved = std::any_of(shown.begin(), shown.end(), [](const AudioMetadataPtr& record) {
    return record->metadataNeedsSaving();
  });
  if (!unsaved) {
    return TerminateReply::Now;
  }
  int answer = ui()->runAlert(
      localized("There Are Still Unsaved Changes."), "",
      {localized("Save And Quit"), localized("Quit Without Saving"), localized("Cancel")});
  unsavedChangesAlertDidEnd(answer);
  return TerminateReply::Later;
}

void AppDelegate::unsavedChangesAlertDidEnd(int returnCode) {
  if (returnCode == kAlertFirstButtonReturn) {
    // The quit follows the end of the save, whatever becomes of it.
    shouldTerminate_ = true;
    save();
  } else if (returnCode == kAlertSecondButtonReturn) {
    ui()->replyToApplicationShouldTerminate(true);
  } else {
    ui()->replyToApplicationShouldTerminate(false);
  }
}

// --- Revert ------------------------------------------------------------------------------

void AppDelegate::revertMetadata() {
  int answer = ui()->runAlert(
      localized("Revert Metadata"),
      localized("Are you sure you want to revert the metadata on the selected files?  This will "
                "re-read the metadata from the original source file and erase any changes "
                "you've made.  This can not be undone."),
      {localized("Yes"), localized("No")});
  revertMetadataAlertDidEnd(answer);
}

void AppDelegate::revertMetadataAlertDidEnd(int returnCode) {
  if (returnCode != kAlertFirstButtonReturn) {
    return;
  }
  auto records = arrayController_.selectedObjects();
  if (records.size() <= kRevertOnMainThreadLimit) {
    revertMetadataThread(records, false);
    return;
  }
  cancelled_ = false;
  beginProgressSheet("Reading Metadata", false, 0);
  detachNewThread([this, records = std::move(records)] { revertMetadataThread(records, true); });
}

void AppDelegate::revertMetadataThread(const std::vector<AudioMetadataPtr>& records,
                                       bool onWorker) {
  // On a worker only the files are read there: the records are inspected and
  // swapped on the main thread, so the list never changes under its feet.
  auto onMain = [this, onWorker](const std::function<void()>& fn) {
    if (onWorker) {
      performOnMainThread(fn, true);
    } else {
      fn();
    }
  };
  ProgressClock clock(progressInterval_);
  const std::size_t count = records.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (onWorker && clock.due()) {
      setProgressPanelIndicatorValue(percent(i, count));
      setProgressPanelTextValue(
          stringWithFormat(localized("Reading Metadata %ld of %ld"), {number(i), number(count)}));
      if (cancelled_) {
        break;
      }
    }
    const AudioMetadataPtr& record = records[i];
    bool needsSaving = false;
    std::optional<std::string> path;
    onMain([&] {
      needsSaving = record->metadataNeedsSaving();
      path = record->sourceLocation();
    });
    if (!needsSaving) {
      continue;
    }
    AudioMetadataPtr fresh = path ? AudioFileReader::metadataFromFile(*path) : nullptr;
    onMain([&] {
      if (!revertRecord(record, fresh)) {
        errorLog().logMessage(stringWithFormat(localized("Could Not Add File At Path: %@"),
                                               {path.value_or(std::string())}));
      }
    });
  }
  onMain([this, onWorker] {
    if (onWorker) {
      endProgressSheet(cancelled_ ? 0 : 1);
    }
    ui()->reloadTable();
    updatePreview();
  });
}

bool AppDelegate::revertRecord(const AudioMetadataPtr& record, AudioMetadataPtr replacement) {
  // A file that cannot be read again leaves its record in the list, changes
  // and undo steps included, rather than losing it.
  if (!replacement) {
    return false;
  }
  undoManager_->removeAllActionsWithTarget(record.get());
  replacement->setUndoManager(undoManager_);
  return arrayController_.replaceObject(record, std::move(replacement));
}

// --- Remove all tags, remove empty tags -----------------------------------------------------

void AppDelegate::clearAllMetadata() {
  const std::size_t count = arrayController_.selectionCount();
  if (count == 0) {
    ui()->runAlert(localized("Nothing Selected"), "", {localized("Cancel")});
    return;
  }
  int answer = ui()->runAlert(
      localized("Remove All Tags"),
      stringWithFormat(
          localized("Are you sure you want to remove all tags from %u selected files?"),
          {number(count)}),
      {localized("Yes"), localized("No")});
  clearMetadataAlertDidEnd(answer);
}

void AppDelegate::clearMetadataAlertDidEnd(int returnCode) {
  if (returnCode != kAlertFirstButtonReturn || arrayController_.selectionCount() == 0) {
    return;
  }
  runTagOperation("Removing All Tags", "Removing All Tags From %d of %d", "Remove All Tags",
                  [](AudioMetadata& record) { record.clearAll(); });
}

void AppDelegate::removeEmptyTags() {
  runTagOperation("Removing Empty Tags", "Removing Empty Tags From %d of %d", "Remove Empty Tags",
                  removeEmptyValues);
}

void AppDelegate::runTagOperation(const std::string& message, const std::string& progressFormat,
                                  const std::string& actionName,
                                  std::function<void(AudioMetadata&)> operation) {
  auto records = arrayController_.selectedObjects();
  cancelled_ = false;
  beginProgressSheet(message, false, 0);
  beginRecordsBusy();
  detachNewThread([this, records = std::move(records), progressFormat, actionName,
                   operation = std::move(operation)] {
    ProgressClock clock(progressInterval_);
    const std::size_t count = records.size();
    // The group is opened and closed here, on the worker, while the main
    // thread accepts no edits.
    undoManager_->beginUndoGrouping();
    for (std::size_t i = 0; i < count; ++i) {
      if (clock.due()) {
        setProgressPanelIndicatorValue(percent(i, count));
        setProgressPanelTextValue(
            stringWithFormat(localized(progressFormat), {number(i), number(count)}));
        if (cancelled_) {
          break;
        }
      }
      operation(*records[i]);
    }
    // Named while still open, so a group that ends up empty (and is thrown
    // away) cannot pass its name to the step before it.
    undoManager_->setActionName(localized(actionName));
    undoManager_->endUndoGrouping();
    performOnMainThread([this] { finishWorkerRun(true); }, true);
  });
}

void AppDelegate::finishWorkerRun(bool saveIfAsked) {
  endRecordsBusy();
  endProgressSheet(cancelled_ ? 0 : 1);
  updatePreview();
  if (saveIfAsked && boolSetting("saveAfterChange")) {
    save();
  }
}

// --- Undo and redo -------------------------------------------------------------------------

void AppDelegate::undo() { undoManager_->undo(); }

void AppDelegate::redo() { undoManager_->redo(); }

void AppDelegate::undoManagerDidUndoOrRedo() {
  if (!mainThread()) {
    return;
  }
  if (boolSetting("saveAfterChange")) {
    save();
  }
  updatePreview();
}

}  // namespace quorvel
