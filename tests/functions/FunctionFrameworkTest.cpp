#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "document/ErrorLogWindowController.h"
#include "document/MetadataFunctionController.h"
#include "document/MetadataFunctionHost.h"
#include "functions/TQMetadataFunction.h"
#include "functions/TQMetadataFunctionWindowController.h"
#include "model/ArtworkTestImages.h"
#include "model/AudioMetadata.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/Text.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 60s;  // a safety net for waits, never a timing claim

std::string text(const Object& value) { return value.stringValue().value_or("<none>"); }

// Upper-cases TRACKTITLE. A title starting with "FAIL" fails that record, and
// "blank" becomes an empty value. With `evenPositionsOnly`, only records at
// even positions are affected.
class UppercaseTitleFunction final : public TQMetadataFunction {
 public:
  bool altersMetadata() const override { return true; }
  bool canBeUndone() const override { return true; }
  std::string functionName() const override { return "Uppercase Title"; }
  std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata&,
                                                          std::size_t position) override {
    if (evenPositionsOnly && position % 2 != 0) {
      return {};
    }
    return {"TRACKTITLE"};
  }
  bool applyToAudioMetadatas(const std::vector<AudioMetadataPtr>& records, bool preview,
                             Error* error) override {
    if (!preview) {
      ++applyRuns;
    }
    if (failWholeRun) {
      return setError(error, kQuorvelErrorDomain, 1, "The whole run failed");
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      AudioMetadata& record = *records[i];
      if (evenPositionsOnly && i % 2 != 0) {
        continue;
      }
      std::string title = text(record.metadataObjectValueForKey("TRACKTITLE"));
      if (title.starts_with("FAIL")) {
        if (!preview) {
          reportFailure(record, i, records.size(), Error{kQuorvelErrorDomain, 2, "Title refused"});
        }
        continue;
      }
      if (title == "blank") {
        setObjectValues(record, {}, "TRACKTITLE", preview);
      } else {
        setObjectValue(record, uppercaseString(title), "TRACKTITLE", preview);
      }
      if (!preview) {
        if (onApplied) {
          onApplied(i);
        }
        reportSuccess(record, i, records.size());
      }
    }
    return true;
  }

  bool evenPositionsOnly = false;
  bool failWholeRun = false;
  std::optional<std::uint64_t> extracted;
  std::atomic<int> applyRuns{0};
  // Called on the worker after each record has been changed.
  std::function<void(std::size_t)> onApplied;

  std::optional<std::uint64_t> albumArtworksExtractedCount() const override { return extracted; }
};

// Puts an artwork (archived) into the ARTWORK preview of every record.
class ArtworkPreviewFunction final : public TQMetadataFunction {
 public:
  explicit ArtworkPreviewFunction(AlbumArtworkPtr artwork) : artwork_(std::move(artwork)) {}
  std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata&,
                                                          std::size_t) override {
    return {"ARTWORK"};
  }
  bool applyToAudioMetadatas(const std::vector<AudioMetadataPtr>& records, bool preview,
                             Error*) override {
    for (const auto& record : records) {
      if (preview) {
        record->setPreviewObjectValue(artwork_->archivedData(), "ARTWORK");
      }
    }
    return true;
  }

 private:
  AlbumArtworkPtr artwork_;
};

class TestHost final : public MetadataFunctionHost {
 public:
  std::vector<AudioMetadataPtr> metadatasInDisplayOrder() const override { return records; }
  std::vector<AudioMetadataPtr> selectedMetadatas() const override { return selection; }
  std::shared_ptr<ZRUndoManager> undoManager() const override { return undo; }
  void save() override { ++saves; }
  void closeAllAuxillaryWindows() override {
    ++auxiliaryCloses;
    if (onCloseAll) {
      onCloseAll();
    }
  }

  std::vector<AudioMetadataPtr> records;
  std::vector<AudioMetadataPtr> selection;
  std::shared_ptr<ZRUndoManager> undo = std::make_shared<ZRUndoManager>();
  int saves = 0;
  int auxiliaryCloses = 0;
  std::function<void()> onCloseAll;
};

// Records what the core asks of the desktop.
class RecordingUIHost final : public UIHost {
 public:
  int runAlert(const std::string& heading, const std::string& message,
               const std::vector<std::string>&) override {
    alerts.push_back(heading + ": " + message);
    return 1000;
  }
  std::optional<std::string> chooseFolder(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  void beginProgressSheet(const std::string& message, bool indeterminate, double value) override {
    sheets.push_back(message);
    EXPECT_FALSE(indeterminate);
    EXPECT_EQ(value, 0.0);
    sheetOpen = true;
  }
  void setProgressValue(double value) override { progress.push_back(value); }
  void endProgressSheet(int) override { sheetOpen = false; }
  void reloadTable() override { ++tableReloads; }
  void refreshEditor() override { ++editorRefreshes; }
  void showErrorLog() override { ++errorLogShown; }

  std::vector<std::string> alerts;
  std::vector<std::string> sheets;
  std::vector<double> progress;
  bool sheetOpen = false;
  int tableReloads = 0;
  int editorRefreshes = 0;
  int errorLogShown = 0;
};

class FakeWindow final : public TQMetadataFunctionWindowController::Window {
 public:
  void show() override { ++shows; }
  void close() override { ++closes; }
  void setLevel(int value) override { level = value; }
  void setControlsEnabled(bool value) override { enabled = value; }
  int shows = 0;
  int closes = 0;
  int level = 0;
  bool enabled = true;
};

class FunctionFrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousUI_ = UIHost::install(ui);
    ErrorLogWindowController::sharedController().clear();
    auto& defaults = UserDefaults::standard();
    defaults.setBool(false, "saveAfterChange");
    defaults.setBool(true, "previewMode");
    defaults.setInteger(0, "metadataFunctionApplyTo");
    // Ten records; their values are set before the undo manager is attached,
    // so that setting them up records nothing.
    for (int i = 0; i < 10; ++i) {
      auto record = std::make_shared<AudioMetadata>();
      record->setMetadataObjectValue("title " + std::to_string(i), "TRACKTITLE");
      record->setMetadataObjectValue("Same Album", "ALBUM");
      record->setSourceLocation("/music/track" + std::to_string(i) + ".flac");
      record->setUndoManager(host.undo);
      host.records.push_back(record);
    }
    host.selection = {host.records[7], host.records[2], host.records[5]};
  }
  void TearDown() override {
    host.undo->removeAllActions();  // drops any pending end-of-event close
    UIHost::install(previousUI_);
    ErrorLogWindowController::sharedController().clear();
  }

  std::string title(std::size_t i) const {
    return text(host.records[i]->metadataObjectValueForKey("TRACKTITLE"));
  }
  // Runs the main loop until the apply run has finished.
  void waitForRun(MetadataFunctionController& controller) {
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !controller.isApplying(); }, kPatience));
  }

  TestHost host;
  std::shared_ptr<RecordingUIHost> ui = std::make_shared<RecordingUIHost>();
  std::shared_ptr<UIHost> previousUI_;
};

TEST_F(FunctionFrameworkTest, PreviewShowsSelectedRowsOrAllRowsByApplyTo) {
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitleFunction>();
  TQMetadataFunctionWindowController windowController(function, controller);
  FakeWindow window;
  windowController.setWindow(&window);

  windowController.open();
  EXPECT_EQ(host.auxiliaryCloses, 1);
  EXPECT_EQ(window.shows, 1);
  EXPECT_EQ(controller.currentMetadataFunction(), function);
  EXPECT_TRUE(controller.previewMode());

  // Selection only: rows 2, 5 and 7 show previews, the others real values.
  for (std::size_t row = 0; row < host.records.size(); ++row) {
    auto cell = controller.cellValue(row, *host.records[row], "TRACKTITLE");
    ASSERT_TRUE(cell);
    bool selected = row == 2 || row == 5 || row == 7;
    EXPECT_EQ(cell->isPreview, selected) << row;
    EXPECT_EQ(text(cell->value), (selected ? "TITLE " : "title ") + std::to_string(row)) << row;
  }
  // Keys the function does not affect, and source keys, show real values.
  EXPECT_FALSE(controller.cellValue(2, *host.records[2], "ALBUM")->isPreview);
  EXPECT_EQ(text(controller.cellValue(2, *host.records[2], "_FILENAME")->value), "track2.flac");
  // Previews never touch the real values.
  EXPECT_EQ(title(7), "title 7");
  EXPECT_FALSE(host.undo->canUndo());

  // Apply to all (pop-up tag 1): every row shows a preview, stored as the setting.
  host.records[3]->setPreviewObjectValue("stale", "TRACKTITLE");
  windowController.applyToChanged(1);
  EXPECT_TRUE(function->applyToAll());
  EXPECT_EQ(UserDefaults::standard().integerForKey("metadataFunctionApplyTo"), 1);
  for (std::size_t row = 0; row < host.records.size(); ++row) {
    auto cell = controller.cellValue(row, *host.records[row], "TRACKTITLE");
    EXPECT_TRUE(cell->isPreview);
    EXPECT_EQ(text(cell->value), "TITLE " + std::to_string(row));
  }

  // Positions: the row when applying to all, the selection index otherwise.
  function->evenPositionsOnly = true;
  windowController.settingsChanged();
  EXPECT_TRUE(controller.cellValue(2, *host.records[2], "TRACKTITLE")->isPreview);
  EXPECT_FALSE(controller.cellValue(5, *host.records[5], "TRACKTITLE")->isPreview);
  windowController.applyToChanged(0);
  // Selection order is 7, 2, 5: positions 0 and 2 are affected, 1 is not.
  EXPECT_TRUE(controller.cellValue(7, *host.records[7], "TRACKTITLE")->isPreview);
  EXPECT_FALSE(controller.cellValue(2, *host.records[2], "TRACKTITLE")->isPreview);
  EXPECT_TRUE(controller.cellValue(5, *host.records[5], "TRACKTITLE")->isPreview);

  // Preview off: real values everywhere, though preview entries remain.
  windowController.previewModeChanged(false);
  EXPECT_FALSE(controller.previewMode());
  EXPECT_FALSE(UserDefaults::standard().boolForKey("previewMode"));
  EXPECT_EQ(text(controller.cellValue(7, *host.records[7], "TRACKTITLE")->value), "title 7");
  EXPECT_TRUE(host.records[7]->previewValueForKey("TRACKTITLE"));

  // Window loading reads the apply-to setting; 1 means every record.
  UserDefaults::standard().setInteger(1, "metadataFunctionApplyTo");
  auto second = std::make_shared<UppercaseTitleFunction>();
  TQMetadataFunctionWindowController secondController(second, controller);
  secondController.showWindow();
  EXPECT_TRUE(second->applyToAll());
  EXPECT_EQ(controller.currentMetadataFunction(), second);
}

TEST_F(FunctionFrameworkTest, MergedValuesMarkDifferencesAndPreviews) {
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitleFunction>();
  controller.setCurrentMetadataFunction(function);
  host.records[2]->setMetadataObjectValue("Jazz", "GENRE");  // only one record has it

  // Preview off: one album, differing titles, a key one record lacks.
  controller.updatePreview();
  const auto* values = &controller.selectionValues().values;
  ASSERT_TRUE(values->count("ALBUM"));
  EXPECT_EQ(values->at("ALBUM")->stringValue(), "Same Album");
  EXPECT_EQ(values->at("ALBUM")->type() & MetadataValue::TypePreview, 0);
  EXPECT_EQ(values->at("TRACKTITLE")->type(), MetadataFunctionController::TypeMultipleValues);
  EXPECT_TRUE(values->at("TRACKTITLE")->allValues().empty());
  EXPECT_TRUE(MetadataFunctionController::isMultipleValuesMarker(*values->at("GENRE")));
  EXPECT_GT(ui->editorRefreshes, 0);
  EXPECT_GT(ui->tableReloads, 0);

  // Preview on: differing previews make the 768 marker.
  controller.setPreviewMode(true);
  controller.updatePreview();
  values = &controller.selectionValues().values;
  EXPECT_EQ(values->at("TRACKTITLE")->type(),
            MetadataFunctionController::TypeMultipleValues | MetadataValue::TypePreview);

  // Equal previews merge into one preview-coloured value.
  for (const auto& record : host.selection) {
    record->setMetadataObjectValue("same", "TRACKTITLE");
  }
  controller.updatePreview();
  values = &controller.selectionValues().values;
  EXPECT_EQ(values->at("TRACKTITLE")->stringValue(), "SAME");
  EXPECT_NE(values->at("TRACKTITLE")->type() & MetadataValue::TypePreview, 0);
  EXPECT_FALSE(MetadataFunctionController::isMultipleValuesMarker(*values->at("TRACKTITLE")));

  // An empty preview: the cell is empty, the editor falls back to the real value.
  host.undo->removeAllActions();
  for (const auto& record : host.selection) {
    record->setMetadataObjectValue("blank", "TRACKTITLE");
  }
  controller.updatePreview();
  auto cell = controller.cellValue(2, *host.records[2], "TRACKTITLE");
  EXPECT_TRUE(cell->isPreview);
  EXPECT_TRUE(cell->value.isNone());
  values = &controller.selectionValues().values;
  EXPECT_EQ(values->at("TRACKTITLE")->stringValue(), "blank");
  EXPECT_EQ(values->at("TRACKTITLE")->type() & MetadataValue::TypePreview, 0);

  // A merged copy is not the record's own value.
  auto shown = values->at("ALBUM");
  shown->setValue(Object("changed"));
  EXPECT_EQ(text(host.records[2]->metadataObjectValueForKey("ALBUM")), "Same Album");

  // An artwork preview leaves the merged map for the artwork well.
  auto artwork =
      AlbumArtwork::albumArtworkFromData(test::makeImage(BitmapFileType::PNG, 8, 6), "cover.png");
  ASSERT_TRUE(artwork);
  controller.setCurrentMetadataFunction(std::make_shared<ArtworkPreviewFunction>(artwork));
  controller.updatePreview();
  const auto& selection = controller.selectionValues();
  EXPECT_TRUE(selection.artworkIsPreview);
  EXPECT_FALSE(selection.values.count("ARTWORK"));
  ASSERT_TRUE(selection.previewArtwork);
  EXPECT_EQ(selection.previewArtwork->md5(), artwork->md5());
  EXPECT_EQ(selection.previewArtwork->width(), 8);
}

TEST_F(FunctionFrameworkTest, ApplyRunsOnAWorkerAsOneUndoStep) {
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitleFunction>();
  TQMetadataFunctionWindowController windowController(function, controller);
  FakeWindow window;
  windowController.setWindow(&window);
  windowController.open();
  host.records[2]->setMetadataObjectValue("FAIL me", "TRACKTITLE");
  host.undo->removeAllActions();

  // Hold the worker after its first record, and meanwhile refresh, close the
  // window and draw cells on the main thread: none of it may read a record
  // the worker is changing (ThreadSanitizer would say so).
  std::mutex mutex;
  std::condition_variable condition;
  bool holding = false;
  bool released = false;
  std::thread::id workerThread;
  function->onApplied = [&](std::size_t index) {
    std::unique_lock lock(mutex);
    workerThread = std::this_thread::get_id();
    if (index == 0) {
      holding = true;
      condition.notify_all();
      condition.wait(lock, [&] { return released; });
    }
  };
  int reloadsBefore = ui->tableReloads;
  windowController.okButtonPressed();
  EXPECT_TRUE(controller.isApplying());
  EXPECT_FALSE(window.enabled);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(condition.wait_for(lock, kPatience, [&] { return holding; }));
  }
  // The window closed and preview went off, but the display waits.
  EXPECT_EQ(window.closes, 1);
  EXPECT_FALSE(controller.previewMode());
  EXPECT_FALSE(controller.cellValue(7, *host.records[7], "TRACKTITLE"));
  controller.updatePreview();
  EXPECT_EQ(ui->tableReloads, reloadsBefore);
  EXPECT_FALSE(controller.applyCurrentMetadataFunction());  // one run at a time
  ASSERT_TRUE(controller.selectionValues().values.count("ALBUM"));
  EXPECT_EQ(controller.selectionValues().values.at("ALBUM")->stringValue(), "Same Album");
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  condition.notify_all();
  waitForRun(controller);

  EXPECT_NE(workerThread, std::this_thread::get_id());
  EXPECT_TRUE(window.enabled);
  EXPECT_GT(ui->tableReloads, reloadsBefore);
  EXPECT_EQ(ui->sheets, std::vector<std::string>{"Applying Function: Uppercase Title"});
  EXPECT_FALSE(ui->sheetOpen);
  ASSERT_FALSE(ui->progress.empty());
  EXPECT_DOUBLE_EQ(ui->progress.back(), 100.0);
  // Selection order 7, 2, 5: record 2 failed and was logged, the run went on.
  EXPECT_EQ(title(7), "TITLE 7");
  EXPECT_EQ(title(2), "FAIL me");
  EXPECT_EQ(title(5), "TITLE 5");
  EXPECT_EQ(title(4), "title 4");
  auto log = ErrorLogWindowController::sharedController().errorLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].log, "Error Performing Function: Uppercase Title.  Title refused");
  EXPECT_EQ(ui->errorLogShown, 0);  // only a whole-run failure opens the log
  EXPECT_EQ(text(controller.cellValue(7, *host.records[7], "TRACKTITLE")->value), "TITLE 7");

  // One undo step, named after the function, reverts every record.
  EXPECT_EQ(host.undo->numberOfUndoActions(), 1u);
  EXPECT_EQ(host.undo->undoActionName(), "Uppercase Title");
  host.undo->undo();
  EXPECT_EQ(title(7), "title 7");
  EXPECT_EQ(title(5), "title 5");
  EXPECT_EQ(host.undo->redoActionName(), "Uppercase Title");
  host.undo->redo();
  EXPECT_EQ(title(5), "TITLE 5");
}

TEST_F(FunctionFrameworkTest, AHeldDisplayWaitsForTheWorkerThatHoldsTheRecords) {
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitleFunction>();
  controller.setCurrentMetadataFunction(function);
  controller.setPreviewMode(true);

  controller.holdDisplay();  // say, a save is writing the records
  controller.holdDisplay();
  int reloads = ui->tableReloads;
  controller.updatePreview();
  EXPECT_EQ(ui->tableReloads, reloads);
  EXPECT_FALSE(controller.cellValue(2, *host.records[2], "TRACKTITLE"));
  EXPECT_FALSE(controller.applyCurrentMetadataFunction());
  EXPECT_FALSE(host.records[2]->previewValueForKey("TRACKTITLE"));
  controller.releaseDisplay();
  EXPECT_EQ(ui->tableReloads, reloads);
  controller.releaseDisplay();  // the last hold refreshes what waited
  EXPECT_EQ(ui->tableReloads, reloads + 1);
  EXPECT_EQ(text(controller.cellValue(2, *host.records[2], "TRACKTITLE")->value), "TITLE 2");
}

TEST_F(FunctionFrameworkTest, ApplyToAllAndWholeRunFailure) {
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitleFunction>();
  function->setApplyToAll(true);
  controller.setCurrentMetadataFunction(function);
  UserDefaults::standard().setBool(true, "saveAfterChange");

  ASSERT_TRUE(controller.applyCurrentMetadataFunction());
  waitForRun(controller);
  for (std::size_t i = 0; i < host.records.size(); ++i) {
    EXPECT_EQ(title(i), "TITLE " + std::to_string(i));
  }
  EXPECT_EQ(host.saves, 1);

  function->failWholeRun = true;
  ASSERT_TRUE(controller.applyCurrentMetadataFunction());
  waitForRun(controller);
  auto log = ErrorLogWindowController::sharedController().errorLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].log, "The whole run failed");
  EXPECT_EQ(ui->errorLogShown, 1);
  EXPECT_EQ(host.saves, 2);
  // An empty step is not kept: the first run is still the one to undo.
  EXPECT_EQ(host.undo->numberOfUndoActions(), 1u);
}

TEST_F(FunctionFrameworkTest, EmptyRunStillShowsTheSheetAndFinishes) {
  MetadataFunctionController controller(host);
  EXPECT_FALSE(controller.applyCurrentMetadataFunction());  // no current function
  EXPECT_TRUE(ui->sheets.empty());

  auto function = std::make_shared<UppercaseTitleFunction>();
  function->extracted = 1;
  TQMetadataFunctionWindowController windowController(function, controller);
  FakeWindow window;
  windowController.setWindow(&window);
  windowController.setCloseWindowWhenDoneButton(false);
  windowController.open();
  EXPECT_TRUE(controller.previewMode());
  host.selection.clear();
  UserDefaults::standard().setBool(true, "saveAfterChange");

  windowController.okButtonPressed();
  waitForRun(controller);
  EXPECT_EQ(function->applyRuns.load(), 0);  // no records: no function code
  EXPECT_EQ(ui->sheets.size(), 1u);
  EXPECT_FALSE(ui->sheetOpen);
  EXPECT_EQ(host.saves, 1);
  EXPECT_EQ(ui->alerts,
            std::vector<std::string>{"Artworks Extracted: 1 artwork file was extracted."});
  // The close-when-done box is off: the window stays and preview is unchanged.
  EXPECT_EQ(window.closes, 0);
  EXPECT_EQ(window.shows, 2);
  EXPECT_TRUE(windowController.isWindowVisible());
  EXPECT_TRUE(controller.previewMode());

  function->extracted = 3;
  windowController.okButtonPressed();
  waitForRun(controller);
  EXPECT_EQ(ui->alerts.back(), "Artworks Extracted: 3 artwork files were extracted.");

  // Cancel closes the window and turns preview off.
  windowController.cancelButonPressed();
  EXPECT_EQ(window.closes, 1);
  EXPECT_FALSE(windowController.isWindowVisible());
  EXPECT_FALSE(controller.previewMode());
}

}  // namespace
}  // namespace quorvel
