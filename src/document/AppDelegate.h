#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "document/ArrayController.h"
#include "document/MetadataExchangeInterface.h"
#include "document/MetadataFunctionHost.h"
#include "model/AlbumArtwork.h"
#include "model/AudioMetadata.h"
#include "platform/OperationQueue.h"
#include "platform/PropertyList.h"
#include "support/Value.h"

namespace quorvel {

class ErrorLogWindowController;
class MetadataFunctionController;
class MetadataValue;
struct SavePanelAccessory;
class UIHost;
class ZRUndoManager;

// The application controller: owns the one list of open files and every
// operation on it, without a window. Loading (files and folders, walked and
// read on worker threads, appended in walk order), removing and clearing;
// saving on a serial queue, the quit check, revert, remove all tags and
// remove empty tags; every edit of the selection as one named undo step,
// copy and paste, artwork, search; the progress sheet shared by every long
// operation; the batch functions through its MetadataFunctionController;
// export and import of metadata files through the installed
// MetadataExchangeInterface.
//
// Everything a person is asked or shown goes through a UIHost, so a test or
// the CLI drives the controller with scripted answers.
//
// Threads: every public method belongs to the main thread (RunLoop::main()'s
// owner) unless it says otherwise. Workers hand their results to the main
// thread; the list and the selection change only there. While a worker
// holds records (saving, removing tags, reverting, a function run), the
// display must not read them: recordsAreBusy() says so, and the controller
// defers its own refreshes until the worker has finished.
class AppDelegate : public MetadataFunctionHost, public MetadataExchangeDelegate {
 public:
  // Answers of alerts, in button order.
  static constexpr int kAlertFirstButtonReturn = 1000;
  static constexpr int kAlertSecondButtonReturn = 1001;
  static constexpr int kAlertThirdButtonReturn = 1002;
  // Reverting more records than this runs on a worker under the progress sheet.
  static constexpr std::size_t kRevertOnMainThreadLimit = 30;
  // The search category of every visible column.
  static constexpr int kSearchAllColumns = 999;
  // Identifiers of the two file-table columns that never take part in a search.
  static constexpr const char* kNeedsSavingColumnIdentifier = "needsSaving";
  static constexpr const char* kHasArtworkColumnIdentifier = "hasArtwork";

  // The answer to a quit request.
  enum class TerminateReply { Cancel, Now, Later };

  // A row of the all-tags view: a key (top row, value index 0) or one value
  // of a key with several (child row).
  struct AllTagsRow {
    std::string key;
    std::size_t valueIndex = 0;
    bool isChild = false;
  };

  // A file-table column as the search sees it.
  struct SearchColumn {
    std::string identifier;  // the key the column shows ("ALBUM", "_FILENAME")
    int category = 0;        // the search category that names this column alone
  };

  // `host` answers every question; null uses UIHost::current() at each call.
  // Registers the first values of the settings and creates the undo manager.
  // Main thread.
  explicit AppDelegate(std::shared_ptr<UIHost> host = nullptr);
  // Cancels what runs and waits for workers and queued saves to finish,
  // running the main loop meanwhile. Main thread.
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // --- State --------------------------------------------------------------------

  // The list, in the order records were added.
  const std::vector<AudioMetadataPtr>& metadatas() const;
  // The list as the table shows it, with the selection.
  ArrayController& metadataArrayController() { return arrayController_; }
  const ArrayController& metadataArrayController() const { return arrayController_; }
  // MetadataFunctionHost: arranged objects; selected objects in arranged order.
  std::vector<AudioMetadataPtr> metadatasInDisplayOrder() const override;
  std::vector<AudioMetadataPtr> selectedMetadatas() const override;
  // Selects these indexes of the arranged objects and refreshes the display
  // (the table's selection changed). Returns whether it changed.
  bool setSelectionIndexes(const std::vector<std::size_t>& indexes);
  // The controller's one undo manager; every record in the list has it. Any thread.
  std::shared_ptr<ZRUndoManager> undoManager() const override { return undoManager_; }
  // The batch-function side: current function, preview mode, apply runs and
  // the values the editor and the table show.
  MetadataFunctionController& functionController() { return *functions_; }
  // The shared error log.
  ErrorLogWindowController& errorLog() const;
  // The host in use.
  std::shared_ptr<UIHost> host() const;

  // True while an operation with the progress sheet is under way. Any thread.
  bool isRunning() const { return running_; }
  // The progress sheet's cancel flag, polled by workers. Any thread.
  bool isCancelled() const { return cancelled_; }
  // True while anything runs: an operation with the sheet, a worker, a
  // queued save. Tests and the CLI run the main loop until this is false.
  bool isBusy() const;
  // True while a worker changes records; the display must not read them.
  bool recordsAreBusy() const;
  // Brackets a worker run that changes records (import, say): between the
  // two, updatePreview only notes that a refresh is due, and the last end
  // refreshes. Main thread.
  void beginRecordsBusy();
  void endRecordsBusy();
  // Menu commands are enabled only while no sheet is shown.
  bool validateMenuItem() const { return !running_; }

  // --- Tuning (tests, benchmarks, the CLI) -----------------------------------------

  // Minimum time between progress reports of workers (0.2 s).
  void setProgressInterval(std::chrono::steady_clock::duration interval) {
    progressInterval_ = interval;
  }
  // Threads that read files during an add run. 0 reads each file on the main
  // thread as the walk meets it; the default is the number of cores, at most 4.
  void setReadingThreadCount(unsigned count) { readingThreads_ = count; }

  // --- Progress sheet ---------------------------------------------------------------

  // Clears `cancelled`, sets `running`, shows the sheet with `message` and
  // the bar (indeterminate and animated, or determinate at `value`).
  void beginProgressSheet(const std::string& message, bool indeterminate, double value = 0);
  // Closes the sheet with `returnCode` (1, or 0 when cancelled); the end
  // actions (clear `running` and `cancelled`, reload the table) follow on the
  // main thread.
  void endProgressSheet(int returnCode);
  // The sheet's message, bar value (0 to 100) and bar mode. Any thread: from
  // a worker they are handed to the main thread without waiting.
  void setProgressPanelTextValue(const std::string& text);
  void setProgressPanelIndicatorValue(double value);
  void setProgressPanelIndicatorIndeterminate(bool indeterminate);
  // The sheet's Cancel button: sets `cancelled`. Any thread.
  void progressPanelCancelButtonPressed() { cancelled_ = true; }

  // Starts `work` on a new thread that the controller waits for at its end.
  // Any thread.
  void detachNewThread(std::function<void()> work);

  // --- Adding and removing files ------------------------------------------------------

  // The Add Files command: the open panel (files and folders, the accepted
  // extensions); the chosen paths are walked without clearing the list.
  void addFiles();
  // A drop on the window ("FilesDropped"): beginAddFilesProcess.
  void filesWereDropped(const std::vector<std::string>& paths);
  // The platform asks to open files: beginAddFilesProcess.
  void openFiles(const std::vector<std::string>& paths);
  // The pasteboard type of tracks dragged out of the music library.
  static constexpr const char* kMusicLibraryTracksPasteboardType =
      "CorePasteboardFlavorType 0x6974756E";
  // The paths of a music-library drag: the "Location" of each entry of the
  // property list's "Tracks" (a dictionary in key order, or a list), only
  // "file://" URLs, percent-escapes decoded. Never fails; any thread.
  static std::vector<std::string> filePathsFromMusicLibraryTracks(const PlistValue& tracks);
  // Clears the list first when "clearFilesWhenAdding" is on and it shows
  // records (asking about unsaved changes), then, for a non-empty list,
  // shows "Adding Files" and walks the paths on a worker: folders
  // recursively without hidden entries, files with an accepted extension,
  // skipping paths already open. Records are appended in walk order; files
  // that cannot be read are logged and counted in an alert at the end.
  void beginAddFilesProcess(const std::vector<std::string>& paths);
  // Reads one file and appends its record (with the undo manager), or logs
  // "Could Not Add File At Path: %@". Returns whether a record was added.
  bool addMetadataAtPath(const std::string& path);
  // The Remove Files command: removes the selected records under the sheet.
  void removeFiles();
  // Removes `records` from the list and their actions from the undo manager;
  // the selection moves to the remembered index, or the last row.
  void removeMetadatas(const std::vector<AudioMetadataPtr>& records);
  // The Clear command: asks when a shown record needs saving ("Save And
  // Clear Files" saves first, "Cancel" stops), then removes every shown
  // record and all undo actions.
  void clearFiles();

  // --- Saving and batch tag operations -------------------------------------------------

  // The Save command: writes the records ("onlySaveChangedFiles": only those
  // needing it) on the serial save queue under the sheet. Returns at once.
  void save() override;
  // A quit request: Now when no shown record needs saving; otherwise asks,
  // answers Later, and tells the host through replyToApplicationShouldTerminate
  // (after the save, for "Save And Quit").
  TerminateReply applicationShouldTerminate();
  // The answer to the quit alert (1000 save and quit, 1001 quit, 1002 cancel).
  void unsavedChangesAlertDidEnd(int returnCode);
  // Closing the last window quits.
  bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
  // Revert: asks, then reads the selected records that need saving again
  // (not undoable); more than 30 run on a worker under the sheet.
  void revertMetadata();
  void revertMetadataAlertDidEnd(int returnCode);
  // Remove All Tags: asks, then clears every key and artwork of the
  // selection on a worker, as one undo step "Remove All Tags".
  void clearAllMetadata();
  void clearMetadataAlertDidEnd(int returnCode);
  // Remove Empty Tags: removes empty texts, empty data and keys without
  // values from the selection on a worker, as one undo step.
  void removeEmptyTags();
  // Undo and redo through the controller's manager ("saveAfterChange", then
  // the preview refresh follow by notification).
  void undo();
  void redo();

  // --- Batch functions (forwarded to functionController()) ---------------------------

  // Refreshes the previews and the merged values shown by the editor; while
  // a worker holds records the refresh waits until it has finished.
  void updatePreview();
  // Applies the current function (see MetadataFunctionController).
  void applyCurrentMetadataFunction();
  // MetadataFunctionHost: closes every function, look-up and tool window.
  void closeAllAuxillaryWindows() override;
  // MetadataFunctionHost: this controller's host and its progress sheet.
  std::shared_ptr<UIHost> uiHost() const override { return host(); }
  void beginFunctionProgress(const std::string& message) override;
  void setFunctionProgress(double percent) override;
  void endFunctionProgress() override;
  // True while previews are shown; edits are then ignored.
  bool previewMode() const;

  // --- Editing (each on every selected record, one named undo step) -------------------

  // The editor's field tags and their keys; none for any other tag.
  static std::optional<std::string> keyForEditorFieldTag(int tag);
  // An editor field ended editing: the value at `displayedIndex` replaced
  // ("Set %@"); track and disc numbers split "3/12" into number and total.
  void metadataValueWasEdited(int fieldTag, std::size_t displayedIndex, const Object& value);
  // The field's subtract button: the displayed value removed, or the whole
  // key when the selection shows multiple values ("Delete %@").
  void textFieldSubtractButtonPressed(int fieldTag, std::size_t displayedIndex);
  // The Add Tag window: one more value of the normalised key ("Add Tag").
  void setMetadataObjectValue(const Object& value, const std::string& key);
  // The Edit Tag window: the value at `index` of the normalised key replaced ("Edit Tag").
  void editMetadataObjectValue(const Object& value, const std::string& key, std::size_t index);
  // A cell of the all-tags view was edited ("Set %@" or "Delete %@").
  void outlineViewSetObjectValue(const Object& value, const AllTagsRow& row);
  // The all-tags view's delete button: each row cleared, last first
  // ("Delete Selected Tags").
  void allTagsDeleteTagButtonPressed(const std::vector<AllTagsRow>& rows);
  // A check box: checked sets "1", unchecked removes the key; `actionName`
  // names the step ("Set Part of a Compilation", "Set Show Work/Movement").
  void metadataCheckboxClicked(bool checked, const std::string& key, const std::string& actionName);
  // The lyrics text view ended editing ("Set Lyrics").
  void textShouldEndEditing(const std::string& lyrics);
  // Binary data from the data editor as the key's only value ("Set Data").
  void setDataValue(const Data& data, const std::string& key);
  // A cell of the file table in `row` (arranged index) was edited: the
  // "_FILENAME" column renames the files, any other column sets the value.
  // Applies to the selection when the row is selected, else to that row.
  void tableViewSetObjectValue(const Object& value, const std::string& columnIdentifier,
                               std::size_t row);

  // --- Copy and paste ---------------------------------------------------------------

  // Copies every value and artwork of the selected records into the buffer.
  void copyAllMetadata();
  // Copies only `keys` (those of the selected all-tags rows) of the selection.
  void copySelectedMetadata(const std::vector<std::string>& keys);
  // The copy buffer: detached records, one per copied record.
  const std::vector<AudioMetadataPtr>& copiedAudioMetadatas() const { return copied_; }
  void pasteMetadataReplacingExisting();
  void pasteMetadataAddingToExisting();
  void pasteMetadataReplacingAll();
  // Pastes the buffer onto the selection ("Paste Metadata"), asking when
  // fewer records were copied than are selected.
  void pasteMetadataDeleteAllValues(bool deleteAllValues, bool addToExisting);

  // --- Artwork ----------------------------------------------------------------------

  // Sets or adds `artwork` (each record gets its own copy), asking when some
  // of the records already have artwork.
  void setOrAddAlbumArtwork(const AlbumArtworkPtr& artwork,
                            const std::vector<AudioMetadataPtr>& records);
  // An artwork from the contents of `url` for the selection; an alert when
  // it is not an image. "file://" URLs are read here; others need a loader.
  void setAlbumArtworkFromURL(const std::string& url);
  // How URLs other than "file://" are fetched (the online layer installs
  // one). Returns the bytes, or none.
  using URLContentsLoader = std::function<std::optional<Data>(const std::string& url)>;
  void setURLContentsLoader(URLContentsLoader loader) { urlLoader_ = std::move(loader); }
  // Paste Artwork: the pasteboard's artwork record, file URL, URL text or
  // image, for the selection.
  void pasteArtwork();
  // Image data dropped on the artwork well, for the selection.
  void albumArtworkDropViewReceivedImageData(const Data& data);
  // Removes the artwork at `shownIndex` from each selected record.
  void removeArtwork(std::size_t shownIndex);
  // The artwork at `shownIndex` of each selected record gets `description`
  // (empty: none); one undo step only when something changed.
  void albumArtworkDescriptionChanged(std::size_t shownIndex, const std::string& description);

  // --- Export and import ------------------------------------------------------------

  // The Export Metadata command: the save panel "Export Metadata" with the
  // file-type pop-up (CSV or XML) and the include-artwork check box, which
  // starts from and is stored back to "exportAlbumArtwork". On confirmation
  // every record in arranged order is written on a worker under the sheet
  // "Exporting Metadata"; Cancel stops it and nothing is written. An empty
  // list, a cancelled panel, no installed exchange or a sheet already shown
  // starts nothing. A failed write goes to the error log only.
  void exportMetadata();
  // The pop-up changed: the check box is enabled only for XML, and the
  // allowed extension follows the type ("csv" for tag 2, else "xml").
  // Any thread.
  static void exportFileTypePopupButtonChanged(SavePanelAccessory& accessory);
  // The accessory of the export panel: the pop-up ("CSV" tag 2 first and
  // chosen, "XML" tag 1) and the check box in state `includeArtwork`, kept
  // in step by exportFileTypePopupButtonChanged. Any thread.
  static SavePanelAccessory exportPanelAccessory(bool includeArtwork);
  // The Import Metadata command: the open panel for one CSV or XML file,
  // then importMetadataFromURL.
  void importMetadata();
  // Reads the file on a worker under "Analyzing File" and imports its
  // dictionaries into the selected records: at once when their counts
  // match, else after the count alert (the selection is taken again at its
  // end). The import runs on a worker under "Importing Metadata" as one undo
  // step "Import Metadata", then saves when "saveAfterChange" is on. A file
  // without dictionaries, Cancel, no installed exchange or a sheet already
  // shown changes nothing; Cancel during the import keeps what was already
  // imported.
  void importMetadataFromURL(const std::string& path);
  // MetadataExchangeDelegate: the sheet's bar and "Exporting Metadata %ld of
  // %ld" / "Importing Metadata %ld of %ld", handed to the main thread
  // without waiting; a pressed Cancel is passed to the running exchange.
  // Worker thread.
  void exportProgressDidUpdateWithPercentComplete(double percent, std::size_t currentMetadataIndex,
                                                  std::size_t totalMetadatas) override;
  void importProgressDidUpdateWithPercentComplete(double percent, std::size_t currentMetadataIndex,
                                                  std::size_t totalMetadatas) override;

  // --- Search -----------------------------------------------------------------------

  // The visible columns of the file table, for the search.
  void setSearchColumns(std::vector<SearchColumn> columns);
  // Filters the table by `text` over the category's columns; empty text or
  // no column removes the filter.
  void search(const std::string& text);
  // Chooses the category (999: every visible column), sets the placeholder
  // "Search %@" with `title` and searches again.
  void setSearchCategoryFrom(int category, const std::string& title);
  int searchCategory() const { return searchCategory_; }

 private:
  // Tells a worker loop when its next progress report is due: at most one
  // per interval, measured from the start and then from the last report.
  class ProgressClock {
   public:
    explicit ProgressClock(std::chrono::steady_clock::duration interval)
        : interval_(interval), last_(std::chrono::steady_clock::now()) {}
    bool due() {
      auto now = std::chrono::steady_clock::now();
      if (now - last_ < interval_) {
        return false;
      }
      last_ = now;
      return true;
    }

   private:
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point last_;
  };
  struct Worker;

  std::shared_ptr<UIHost> ui() const;
  bool mainThread() const;
  void performOnMainThread(std::function<void()> fn, bool wait);
  static std::string localized(const std::string& text);
  bool boolSetting(const char* key) const;

  // Loading.
  void parseDroppedFiles(std::vector<std::string> paths);
  void appendRecord(const AudioMetadataPtr& record);
  void parseDroppedFilesFinished(std::uint64_t invalidFilesCount);
  void progressPanelEndActions();

  // Saving and batch operations.
  void saveAudioMetadatas(const std::vector<AudioMetadataPtr>& records);
  void saveAudioMetadatasFinish(std::uint64_t count, bool hasErrors);
  void revertMetadataThread(const std::vector<AudioMetadataPtr>& records, bool onWorker);
  bool revertRecord(const AudioMetadataPtr& record, AudioMetadataPtr replacement);
  void finishWorkerRun(bool save);
  void runTagOperation(const std::string& message, const std::string& progressFormat,
                       const std::string& actionName,
                       std::function<void(AudioMetadata&)> operation);
  void undoManagerDidUndoOrRedo();

  // Export and import.
  void exportMetadatas(const std::vector<AudioMetadataPtr>& records, const std::string& path,
                       bool includingArtwork, int type);
  void importMetadataFileAnalyzed(std::optional<std::vector<PlistDict>> dictionaries);
  void importMetadataAlertUserCountsDoNotMatch(std::vector<PlistDict> dictionaries);
  void importMetadataAlertDidEnd(std::vector<PlistDict> dictionaries,
                                 std::optional<bool> applyToAll);
  void importMetadataFromDictionaries(std::vector<PlistDict> dictionaries,
                                      const std::vector<AudioMetadataPtr>& records,
                                      bool applyToAll);
  void closeProgressSheetNow(int returnCode);
  void passCancelToExchange();

  // Editing.
  enum class EditSource { EditorField, AllTags, Other };
  // The frame of every edit: preview and selection checks, one undo group,
  // "saveAfterChange", refresh. Returns whether the edit ran.
  bool performEdit(const std::string& actionName, EditSource source,
                   const std::function<void(AudioMetadata&)>& change);
  bool performEditOn(const std::vector<AudioMetadataPtr>& records, const std::string& actionName,
                     EditSource source, const std::function<void(AudioMetadata&)>& change);
  static void applyNumberRule(AudioMetadata& record, const std::string& key, const Object& value);
  static bool isNumberKey(const std::string& key);
  static Object editedValue(const Object& value);
  std::shared_ptr<MetadataValue> mergedValueForKey(const std::string& key) const;
  void saveAfterChange(EditSource source);
  void renameFiles(const std::vector<AudioMetadataPtr>& records, const std::string& name);
  static AudioMetadataPtr detachedCopy(const AudioMetadata& source,
                                       const std::vector<std::string>* keys);
  static AlbumArtworkPtr copyOfArtwork(const AlbumArtwork& artwork);
  AlbumArtworkPtr artworkFromURL(const std::string& url) const;
  AlbumArtworkPtr artworkFromImageData(const Data& data) const;

  std::shared_ptr<UIHost> host_;
  // Work handed to the main thread without waiting checks this first, so a
  // call queued after the controller is gone does nothing.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
  std::shared_ptr<ZRUndoManager> undoManager_;
  std::uint64_t undoObserver_ = 0;
  ArrayController arrayController_;
  std::unique_ptr<MetadataFunctionController> functions_;
  std::vector<AudioMetadataPtr> copied_;

  std::atomic<bool> cancelled_{false};
  std::atomic<bool> running_{false};
  bool shouldTerminate_ = false;
  int busyRecords_ = 0;  // main thread: workers that hold records
  bool previewPending_ = false;

  // The exchange of the export or import under way; set on the main thread
  // before its worker starts and cleared after the worker's last call.
  std::shared_ptr<MetadataExchangeInterface> exchangeRun_;

  std::chrono::steady_clock::duration progressInterval_ = std::chrono::milliseconds(200);
  unsigned readingThreads_;
  URLContentsLoader urlLoader_;

  std::vector<SearchColumn> searchColumns_;
  int searchCategory_ = kSearchAllColumns;
  std::string searchText_;

  mutable std::mutex workersMutex_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::atomic<int> activeWorkers_{0};
  std::atomic<int> pendingSaves_{0};  // queued saves whose finishing step has not run
  // Declared last: destroyed first, after the destructor has drained it.
  OperationQueue saveQueue_;
};

}  // namespace quorvel
