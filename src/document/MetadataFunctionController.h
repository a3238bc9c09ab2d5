#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "model/AlbumArtwork.h"
#include "model/AudioMetadata.h"
#include "model/MetadataValue.h"
#include "support/Value.h"

namespace quorvel {

class MetadataFunctionHost;
class MetadataFunctionInterface;

// The application controller's side of the batch functions: the current
// function, preview mode, the apply run on a worker thread, and the display
// values (the merged values of the selection for the editor panel and the
// file table's cells, previews included). AppDelegate owns one and forwards
// applyCurrentMetadataFunction: and updatePreview: to it; it sees functions
// only through MetadataFunctionInterface. The progress sheet goes through
// the host; the error log window, alerts and redrawing (reloadTable,
// refreshEditor) through the host's uiHost().
//
// Who may read a record while a function runs: nobody but the run's worker.
// From applyCurrentMetadataFunction until the finishing step the controller
// keeps the display away from the records: updatePreview only notes that a
// refresh is due (the finishing step refreshes), selectionValues() returns
// the copies made by the last refresh, and cellValue() returns none, so the
// file table keeps what it drew (or leaves cells blank) until the finishing
// step's refresh (reloadTable and refreshEditor).
// The host, for its own displays, asks isApplying(). Progress and log lines
// reach the main thread as plain numbers and texts, never as records.
//
// Every method belongs to the main thread. Destroy it on the main thread: a
// running worker is waited for (running the main loop meanwhile).
class MetadataFunctionController {
 public:
  // Type of the multiple-values marker; the marker of values that come from
  // previews carries MetadataValue::TypePreview as well (768).
  static constexpr std::int32_t TypeMultipleValues = 512;

  // What the editor panel shows for the selection.
  struct SelectionValues {
    // One value per key: a copy of the key's value when it is the same in
    // every selected record (a preview copy carries TypePreview), else a
    // marker without values (isMultipleValuesMarker). Copies, so the display
    // may hold them while records change.
    std::map<std::string, std::shared_ptr<MetadataValue>> values;
    // True when "ARTWORK" came from previews; it is then not in `values`, and
    // the artwork well shows `previewArtwork` (may be null) with an outline.
    bool artworkIsPreview = false;
    AlbumArtworkPtr previewArtwork;
  };

  // What one cell of the file table shows.
  struct CellValue {
    Object value;            // none shows an empty cell
    bool isPreview = false;  // drawn in the preview colour (highlighted variant when selected)
  };

  // `host` must outlive the controller.
  explicit MetadataFunctionController(MetadataFunctionHost& host);
  ~MetadataFunctionController();
  MetadataFunctionController(const MetadataFunctionController&) = delete;
  MetadataFunctionController& operator=(const MetadataFunctionController&) = delete;

  // The function whose window is open; may be null. Thread-safe.
  std::shared_ptr<MetadataFunctionInterface> currentMetadataFunction() const;
  void setCurrentMetadataFunction(std::shared_ptr<MetadataFunctionInterface> function);

  // True while previews are shown (edits of values are then ignored).
  bool previewMode() const { return previewMode_; }
  // Sets the flag only; call updatePreview to redraw.
  void setPreviewMode(bool value) { previewMode_ = value; }

  // First half of opening a function window: closes every auxiliary window,
  // then sets previewMode from the setting "previewMode" when
  // `setsPreviewMode` (the two artwork windows pass false). The window
  // controller then shows itself and refreshes (TQMetadataFunctionWindowController::open).
  void willShowFunctionWindow(bool setsPreviewMode);

  // Starts an apply run of the current function: progress sheet "Applying
  // Function: %@", the records (the list in display order when applyToAll,
  // else the selection in selection order) taken here, then one worker thread
  // that runs the function inside one undo group named after it (when it
  // canBeUndone) and waits for the finishing step on the main thread (sheet
  // ended, preview refreshed, "saveAfterChange", error log shown after a
  // whole-run failure, the "Artworks Extracted" alert), after which
  // `whenDone` runs. Returns false, doing nothing, when there is no current
  // function, a run is in progress or the display is held.
  bool applyCurrentMetadataFunction(std::function<void()> whenDone = {});
  // True from applyCurrentMetadataFunction until its finishing step.
  bool isApplying() const { return applying_; }

  // Other workers that hold records (saving, removing tags, reverting) hold
  // the display the same way a run does: refreshes wait, cells show none and
  // no run starts. Releasing the last hold performs a refresh that waited.
  void holdDisplay() { ++holds_; }
  void releaseDisplay();
  // True while a run or a hold keeps the display away from the records.
  bool isDisplayHeld() const { return applying_ || holds_ > 0; }

  // Refreshes the display: in preview mode runs the current function in
  // preview mode over its records (result ignored, nothing reported), then
  // recomputes selectionValues and the cell positions, and asks the host's
  // uiHost() to redraw the table and the editor. While the display is held
  // it only notes that a refresh is due.
  void updatePreview();

  // The merged values of the selection as of the last refresh (copies, safe
  // to read while the display is held).
  const SelectionValues& selectionValues() const { return selectionValues_; }

  // The cell of `record`, shown in display row `row`, in the column of
  // `key` ("_FILENAME", "_FILEFULLPATH" and the other source keys show the
  // record's properties). In preview mode, for a key the current function
  // affects for that record at its position (the row when applyToAll, else
  // its index in the selection; unselected rows only when applyToAll): the
  // record's first preview value. Otherwise the real value. None while the
  // display is held. Uses the selection as of the last refresh.
  std::optional<CellValue> cellValue(std::size_t row, const AudioMetadata& record,
                                     const std::string& key) const;

  // The merged values of `records` (the selection) for the editor panel.
  // `positions[i]` is the position of records[i] for `function` (ignored
  // without a function or outside preview mode). Keys a record lacks count
  // as a difference. Pure; any thread that may read the records.
  static SelectionValues mergedValues(const std::vector<AudioMetadataPtr>& records,
                                      const std::vector<std::size_t>& positions,
                                      MetadataFunctionInterface* function, bool previewMode);
  // True for the marker of differing values (type 512 or 768).
  static bool isMultipleValuesMarker(const MetadataValue& value) {
    return (value.type() & TypeMultipleValues) != 0;
  }

 private:
  class RunDelegate;

  void finishRun(bool hasErrors);
  void joinWorker();

  MetadataFunctionHost& host_;
  mutable std::mutex currentMutex_;
  std::shared_ptr<MetadataFunctionInterface> current_;
  bool previewMode_ = false;
  bool applying_ = false;
  bool refreshPending_ = false;
  int holds_ = 0;
  std::shared_ptr<MetadataFunctionInterface> runningFunction_;
  std::function<void()> whenDone_;
  std::shared_ptr<RunDelegate> runDelegate_;
  std::thread worker_;
  std::shared_ptr<std::atomic<bool>> workerDone_;  // set by the worker as it leaves

  SelectionValues selectionValues_;
  // Cell positions as of the last refresh (main thread only).
  std::shared_ptr<MetadataFunctionInterface> previewFunction_;  // null outside preview mode
  bool previewApplyToAll_ = false;
  std::vector<AudioMetadataPtr> previewSelection_;  // keeps the keys below alive
  std::unordered_map<const AudioMetadata*, std::size_t> selectionIndex_;
};

}  // namespace quorvel
