// Saving, quitting, revert and the batch tag operations through the
// application controller, checked on the files themselves.

#include "document/ControllerTestSupport.h"
#include "model/MetadataValue.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

using AppDelegateSaving = ControllerTest;

// What a fresh read of the file says under `key`.
std::string onDisk(const std::string& path, const std::string& key) {
  auto record = AudioFileReader::metadataFromFile(path);
  if (!record) {
    return "<unreadable>";
  }
  return record->metadataObjectValueForKey(key).stringValue().value_or("<none>");
}

TEST_F(AppDelegateSaving, SaveWritesOnlyChangedFilesAndKeepsDatesWhenAsked) {
  const std::string mp3 = copy("plain.mp3", "a.mp3");
  const std::string flac = copy("plain.flac", "b.flac");
  const std::string ogg = copy("plain.ogg", "c.ogg");
  drop({mp3, flac, ogg});
  const auto oldDate = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  fs::last_write_time(flac, oldDate);
  const std::string untouched = readFile(ogg);
  UserDefaults::standard().setBool(true, "preserveModificationDate");

  controller->setSelectionIndexes({0, 1});
  controller->metadataValueWasEdited(1, 0, Object("Saved Album"));
  controller->save();
  EXPECT_TRUE(controller->isRunning());
  waitUntilIdle();

  EXPECT_EQ(onDisk(mp3, "ALBUM"), "Saved Album");
  EXPECT_EQ(onDisk(flac, "ALBUM"), "Saved Album");
  EXPECT_EQ(readFile(ogg), untouched);
  EXPECT_EQ(fs::last_write_time(flac), oldDate);
  for (const auto& r : records()) {
    EXPECT_FALSE(r->metadataNeedsSaving());
  }
  ASSERT_EQ(host->sheets.size(), 2u);  // adding, saving
  EXPECT_EQ(host->sheets[1].message, "Saving Files");
  EXPECT_FALSE(host->sheets[1].indeterminate);
  EXPECT_EQ(host->sheets[1].texts.back(), "Selecting 2 Files");
  EXPECT_EQ(host->sheets[1].returnCode, 1);
  EXPECT_EQ(host->errorLogShown, 0);
  EXPECT_FALSE(controller->isRunning());

  // Nothing changed: the sheet opens and closes, no file is written.
  controller->save();
  waitUntilIdle();
  EXPECT_EQ(host->sheets.back().texts.back(), "Selecting 0 Files");

  // Every record when only changed files are not asked for.
  UserDefaults::standard().setBool(false, "onlySaveChangedFiles");
  controller->save();
  waitUntilIdle();
  EXPECT_EQ(host->sheets.back().texts.back(), "Selecting 3 Files");
}

TEST_F(AppDelegateSaving, MissingAndUnwritableFilesAreLoggedAndStayUnsaved) {
  const std::string gone = copy("plain.mp3", "gone.mp3");
  const std::string broken = copy("plain.flac", "broken.flac");
  const std::string fine = copy("plain.mp3", "fine.mp3");
  drop({gone, broken, fine});
  selectAll();
  controller->metadataValueWasEdited(1, 0, Object("X"));
  fs::remove(gone);
  writeFile(broken, "no longer a FLAC file");

  ErrorLogWindowController::sharedController().clear();
  controller->save();
  waitUntilIdle();
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Unable to find file at path: " + gone + ".");
  EXPECT_TRUE(lines[1].starts_with("Error Saving File: " + broken + ".  ")) << lines[1];
  EXPECT_EQ(host->errorLogShown, 1);
  EXPECT_TRUE(record(0).metadataNeedsSaving());
  EXPECT_TRUE(record(1).metadataNeedsSaving());
  EXPECT_FALSE(record(2).metadataNeedsSaving());
  EXPECT_EQ(onDisk(fine, "ALBUM"), "X");
}

TEST_F(AppDelegateSaving, ClearAfterSavingUnlessSavingAfterEveryChange) {
  const std::string path = copy("plain.mp3", "a.mp3");
  drop({path});
  auto& defaults = UserDefaults::standard();
  defaults.setBool(true, "clearAfterSaving");
  defaults.setBool(true, "saveAfterChange");
  controller->metadataValueWasEdited(1, 0, Object("Immediately"));  // saves at once
  waitUntilIdle();
  EXPECT_EQ(onDisk(path, "ALBUM"), "Immediately");
  EXPECT_EQ(records().size(), 1u);

  // Undo saves too, and brings the file back.
  controller->undo();
  waitUntilIdle();
  EXPECT_EQ(onDisk(path, "ALBUM"), "<none>");

  defaults.setBool(false, "saveAfterChange");
  controller->save();
  waitUntilIdle();
  EXPECT_TRUE(records().empty());
}

TEST_F(AppDelegateSaving, QuitAsksAboutUnsavedChangesAndAnswersForEachButton) {
  const std::string path = copy("plain.mp3", "a.mp3");
  drop({path});
  EXPECT_EQ(controller->applicationShouldTerminate(), AppDelegate::TerminateReply::Now);
  EXPECT_TRUE(host->alerts.empty());

  controller->metadataValueWasEdited(1, 0, Object("Unsaved"));
  host->answers = {1002};  // "Cancel"
  EXPECT_EQ(controller->applicationShouldTerminate(), AppDelegate::TerminateReply::Later);
  EXPECT_EQ(host->alerts.back().heading, "There Are Still Unsaved Changes.");
  EXPECT_EQ(host->alerts.back().buttons,
            (Strings{"Save And Quit", "Quit Without Saving", "Cancel"}));
  EXPECT_EQ(host->events.back(), "terminate:0");

  host->answers = {1001};  // "Quit Without Saving"
  controller->applicationShouldTerminate();
  EXPECT_EQ(host->events.back(), "terminate:1");
  EXPECT_EQ(onDisk(path, "ALBUM"), "<none>");

  host->answers = {1000};  // "Save And Quit": the quit follows the save
  controller->applicationShouldTerminate();
  EXPECT_NE(host->events.back(), "terminate:1");
  waitUntilIdle();
  EXPECT_EQ(host->events.back(), "terminate:1");
  EXPECT_EQ(onDisk(path, "ALBUM"), "Unsaved");
}

TEST_F(AppDelegateSaving, SaveAndQuitWithAFailingFileShowsTheLogThenQuits) {
  const std::string path = copy("plain.flac", "a.flac");
  drop({path});
  controller->metadataValueWasEdited(1, 0, Object("Unsaved"));
  writeFile(path, "not FLAC any more");
  host->answers = {1000};
  controller->applicationShouldTerminate();
  waitUntilIdle();
  ASSERT_GE(host->events.size(), 2u);
  EXPECT_EQ(host->events[host->events.size() - 2], "errorLog");
  EXPECT_EQ(host->events.back(), "terminate:1");
}

TEST_F(AppDelegateSaving, RevertReadsChangedRecordsAgainOnTheMainThreadOrAWorker) {
  std::vector<std::string> paths;
  for (int i = 0; i < 31; ++i) {
    paths.push_back(copy("plain.mp3", "r" + std::to_string(i) + ".mp3"));
  }
  drop(paths);
  ASSERT_EQ(records().size(), 31u);
  selectAll();
  controller->metadataValueWasEdited(1, 0, Object("Changed"));
  const AudioMetadata* last = &record(30);

  // 30 records: no sheet.
  std::vector<std::size_t> first30(30);
  for (std::size_t i = 0; i < 30; ++i) {
    first30[i] = i;
  }
  controller->setSelectionIndexes(first30);
  host->answers = {1000};
  const auto sheets = host->sheets.size();
  controller->revertMetadata();
  waitUntilIdle();
  EXPECT_EQ(host->alerts.back().heading, "Revert Metadata");
  EXPECT_EQ(host->alerts.back().buttons, (Strings{"Yes", "No"}));
  EXPECT_EQ(host->sheets.size(), sheets);
  EXPECT_EQ(text(record(0), "ALBUM"), "<none>");
  EXPECT_FALSE(record(0).metadataNeedsSaving());
  EXPECT_EQ(record(0).undoManager(), controller->undoManager());
  EXPECT_EQ(&record(30), last);
  EXPECT_EQ(text(record(30), "ALBUM"), "Changed");
  EXPECT_EQ(controller->metadataArrayController().selectionCount(), 30u);
  EXPECT_TRUE(undo().canUndo());  // the 31st record's step remains

  // 31 records: a worker under "Reading Metadata"; the list order holds.
  selectAll();
  controller->metadataValueWasEdited(1, 0, Object("Again"));
  host->answers = {1000};
  controller->revertMetadata();
  waitUntilIdle();
  ASSERT_NE(host->sheetNamed("Reading Metadata"), nullptr);
  EXPECT_EQ(host->sheetNamed("Reading Metadata")->returnCode, 1);
  for (std::size_t i = 0; i < 31; ++i) {
    EXPECT_EQ(record(i).sourceLocation(), paths[i]);
    EXPECT_EQ(text(record(i), "ALBUM"), "<none>");
  }
  EXPECT_NE(&record(30), last);
  EXPECT_FALSE(undo().canUndo());

  host->answers = {1001};  // "No"
  controller->metadataValueWasEdited(1, 0, Object("Kept"));
  controller->revertMetadata();
  EXPECT_EQ(text(record(0), "ALBUM"), "Kept");
}

TEST_F(AppDelegateSaving, RemoveAllTagsIsOneUndoStepForEveryRecord) {
  drop({copy("tagged.flac", "a.flac"), copy("id3v24.mp3", "b.mp3"), copy("tagged.ogg", "c.ogg")});
  controller->setSelectionIndexes({0, 1});
  const std::string digestA = record(0).calculateMD5();
  const std::string digestB = record(1).calculateMD5();
  ASSERT_TRUE(record(0).metadataHasArtwork());
  ASSERT_TRUE(record(1).metadataHasArtwork());

  host->answers = {1001, 1000};  // "No", then "Yes"
  controller->clearAllMetadata();
  EXPECT_TRUE(record(0).metadataKeyCount() > 0);
  controller->clearAllMetadata();
  EXPECT_EQ(host->alerts.back().heading, "Remove All Tags");
  EXPECT_EQ(host->alerts.back().text,
            "Are you sure you want to remove all tags from 2 selected files?");
  waitUntilIdle();
  EXPECT_EQ(record(0).metadataKeyCount(), 0u);
  EXPECT_FALSE(record(1).metadataHasArtwork());
  EXPECT_GT(record(2).metadataKeyCount(), 0u);
  EXPECT_EQ(host->sheetNamed("Removing All Tags")->returnCode, 1);
  EXPECT_EQ(undo().numberOfUndoActions(), 1u);
  EXPECT_EQ(undo().undoActionName(), "Remove All Tags");

  controller->undo();
  EXPECT_EQ(record(0).calculateMD5(), digestA);
  EXPECT_EQ(record(1).calculateMD5(), digestB);
  EXPECT_FALSE(record(0).metadataNeedsSaving());

  controller->setSelectionIndexes({});
  host->answers = {1000};
  controller->clearAllMetadata();
  EXPECT_EQ(host->alerts.back().heading, "Nothing Selected");
  EXPECT_EQ(host->alerts.back().buttons, (Strings{"Cancel"}));
}

TEST_F(AppDelegateSaving, RemoveEmptyTagsKeepsNumbersAndUndoesInOneStep) {
  drop({copy("plain.mp3", "a.mp3"), copy("plain.mp3", "b.mp3")});
  AudioMetadata& first = record(0);
  undo().disableUndoRegistration();
  first.setMetadataObjectValues({Object(""), Object("Rock")}, "GENRE");
  first.setMetadataValue(std::make_shared<MetadataValue>("COMMENTS", MetadataValue::TypeUser),
                         "COMMENTS");
  first.setMetadataObjectValues({Object(Data()), Object(Data::fromString("x"))}, "PRIV");
  first.setMetadataObjectValue(Object(0), "BPM");
  undo().enableUndoRegistration();
  const std::string before = first.calculateMD5();

  selectAll();
  controller->removeEmptyTags();
  waitUntilIdle();
  EXPECT_EQ(first.metadataObjectValuesForKey("GENRE"), (ObjectList{Object("Rock")}));
  EXPECT_FALSE(first.metadataValueForKey("COMMENTS"));
  EXPECT_EQ(first.metadataObjectValuesForKey("PRIV")->size(), 1u);
  EXPECT_EQ(first.metadataObjectValueForKey("BPM"), Object(0));
  EXPECT_EQ(host->sheetNamed("Removing Empty Tags")->returnCode, 1);
  EXPECT_EQ(undo().undoActionName(), "Remove Empty Tags");
  controller->undo();
  EXPECT_EQ(first.calculateMD5(), before);
  EXPECT_EQ(first.metadataObjectValuesForKey("GENRE")->size(), 2u);
}

}  // namespace
}  // namespace quorvel::test
