// Adding, removing and clearing files through the application controller.

#include <algorithm>

#include "document/ControllerTestSupport.h"

namespace quorvel::test {
namespace {

using AppDelegateLoading = ControllerTest;

std::vector<std::string> locations(const std::vector<AudioMetadataPtr>& list) {
  std::vector<std::string> paths;
  for (const auto& record : list) {
    paths.push_back(record->sourceLocation().value_or(""));
  }
  return paths;
}

TEST_F(AppDelegateLoading, FolderIsWalkedInOrderSkippingHiddenFilesAndCountingInvalidOnes) {
  const std::string a = copy("plain.flac", "album/a.flac");
  const std::string b = copy("plain.mp3", "album/b.mp3");
  // TagLib takes any bytes for MP3; a FLAC file must begin with its marker.
  const std::string bad = writeText("album/bad.flac", "this is not a FLAC file at all");
  writeText("album/notes.txt", "liner notes");
  copy("plain.mp3", "album/.hidden.mp3");
  const std::string c = copy("plain.ogg", "album/sub/c.ogg");
  const std::string d = copy("tagged.flac", "album/sub/d.flac");
  const std::string folder = (dir / "album").string();

  // Read on the main thread file by file, and on reading threads: the list
  // comes out in walk order either way.
  for (unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE(threads);
    controller = std::make_unique<AppDelegate>(host);
    controller->setReadingThreadCount(threads);
    host->alerts.clear();
    host->sheets.clear();
    host->errorLogShown = 0;
    host->answers = {1001};  // "Show Log"
    drop({folder});

    EXPECT_EQ(locations(records()), (Strings{a, b, c, d}));
    for (const auto& r : records()) {
      EXPECT_EQ(r->undoManager(), controller->undoManager());
    }
    ASSERT_EQ(host->alerts.size(), 1u);
    EXPECT_EQ(host->alerts[0].heading, "Could Not Add 1 Invalid File.");
    EXPECT_EQ(host->alerts[0].buttons, (Strings{"OK", "Show Log"}));
    EXPECT_EQ(host->errorLogShown, 1);
    EXPECT_EQ(logLines(), (Strings{"Could Not Add File At Path: " + bad}));
    ASSERT_EQ(host->sheets.size(), 1u);
    EXPECT_EQ(host->sheets[0].message, "Adding Files");
    EXPECT_TRUE(host->sheets[0].indeterminate);
    EXPECT_EQ(host->sheets[0].returnCode, 1);
    EXPECT_EQ(controller->metadataArrayController().selectionIndexes(),
              (std::vector<std::size_t>{0}));
    EXPECT_FALSE(controller->isRunning());

    // Paths already open are passed over silently.
    drop({b});
    EXPECT_EQ(records().size(), 4u);
    EXPECT_EQ(host->alerts.size(), 1u);
    host->answers = {1000};
    drop({folder});  // only the invalid file is tried again
    EXPECT_EQ(records().size(), 4u);
    ASSERT_EQ(host->alerts.size(), 2u);
    EXPECT_EQ(host->alerts[1].heading, "Could Not Add 1 Invalid File.");
  }
}

TEST_F(AppDelegateLoading, InvalidFilesAreCountedInThePluralAndUnknownExtensionsIgnored) {
  const std::string first = writeText("x.ogg", "garbage");
  const std::string second = writeText("y.flac", "garbage");
  const std::string missing = (dir / "missing.mp3").string();
  host->answers = {1000};  // "OK"
  drop({first, second, missing, (dir / "missing.txt").string(), writeText("z.txt", "text")});
  EXPECT_TRUE(records().empty());
  ASSERT_EQ(host->alerts.size(), 1u);
  EXPECT_EQ(host->alerts[0].heading, "Could Not Add 3 Invalid Files.");
  EXPECT_EQ(host->errorLogShown, 0);
  EXPECT_EQ(logLines().size(), 3u);
  EXPECT_EQ(controller->metadataArrayController().selectionCount(), 0u);

  // An empty list starts nothing.
  controller->filesWereDropped({});
  EXPECT_FALSE(controller->isBusy());
  EXPECT_EQ(host->sheets.size(), 1u);
}

TEST_F(AppDelegateLoading, CancelStopsTheWalkAfterTheCurrentItem) {
  for (int i = 0; i < 6; ++i) {
    copy("plain.mp3", "many/" + std::to_string(i) + ".mp3");
  }
  // Every item reports. Files are read on the main thread, in order with the
  // reports, so the Cancel pressed on the first report is seen by the walk
  // after the first item or, at the latest, after the second.
  controller->setReadingThreadCount(0);
  controller->setProgressInterval(std::chrono::steady_clock::duration::zero());
  host->onProgressText = [this](const std::string& text) {
    if (text.starts_with("Added ")) {
      controller->progressPanelCancelButtonPressed();
    }
  };
  drop({(dir / "many").string()});
  EXPECT_GE(records().size(), 1u);
  EXPECT_LE(records().size(), 2u);
  ASSERT_EQ(host->sheets.size(), 1u);
  EXPECT_EQ(host->sheets[0].texts.front(), "Added 1 files");
  EXPECT_EQ(host->sheets[0].returnCode, 0);
  EXPECT_FALSE(controller->isCancelled());
  EXPECT_FALSE(controller->isRunning());
}

TEST_F(AppDelegateLoading, OpenPanelAddsTheChosenPathsWithoutClearing) {
  UserDefaults::standard().setBool(true, "clearFilesWhenAdding");
  drop({copy("plain.mp3", "one.mp3")});
  host->openPanelPaths = {copy("plain.flac", "two.flac")};
  controller->addFiles();
  waitUntilIdle();
  EXPECT_EQ(records().size(), 2u);
  host->openPanelPaths.clear();  // cancelled panel
  controller->addFiles();
  EXPECT_FALSE(controller->isBusy());
}

TEST_F(AppDelegateLoading, ClearingBeforeAddingAsksAboutUnsavedChangesAndAddsRegardless) {
  UserDefaults::standard().setBool(true, "clearFilesWhenAdding");
  const std::string first = copy("plain.mp3", "first.mp3");
  drop({first});
  controller->metadataValueWasEdited(1, 0, Object("Changed"));
  ASSERT_TRUE(record(0).metadataNeedsSaving());

  host->answers = {1002};  // "Cancel": the list stays, the files are still added
  drop({copy("plain.flac", "second.flac")});
  ASSERT_EQ(host->alerts.size(), 1u);
  EXPECT_EQ(host->alerts[0].heading, "There Are Still Unsaved Changes.");
  EXPECT_EQ(host->alerts[0].buttons, (Strings{"Save And Clear Files", "Clear Files", "Cancel"}));
  EXPECT_EQ(records().size(), 2u);

  host->answers = {1001};  // "Clear Files"
  const std::string third = copy("plain.ogg", "third.ogg");
  drop({third});
  EXPECT_EQ(locations(records()), (Strings{third}));
  EXPECT_FALSE(undo().canUndo());
  EXPECT_NE(host->sheetNamed("Clearing Files"), nullptr);
}

TEST_F(AppDelegateLoading, RemovingMovesTheSelectionAndForgetsUndoActions) {
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) {
    paths.push_back(copy("plain.mp3", "r" + std::to_string(i) + ".mp3"));
  }
  drop(paths);
  controller->setSelectionIndexes({3});
  controller->metadataValueWasEdited(1, 0, Object("Gone"));
  ASSERT_TRUE(undo().canUndo());

  controller->removeFiles();
  waitUntilIdle();
  EXPECT_EQ(locations(records()), (Strings{paths[0], paths[1], paths[2]}));
  EXPECT_EQ(controller->metadataArrayController().selectionIndexes(),
            (std::vector<std::size_t>{2}));
  EXPECT_FALSE(undo().canUndo());  // the only step touched the removed record
  EXPECT_NE(host->sheetNamed("Removing Files"), nullptr);

  controller->setSelectionIndexes({0});
  controller->removeFiles();
  EXPECT_EQ(controller->metadataArrayController().selectionIndexes(),
            (std::vector<std::size_t>{0}));
  EXPECT_EQ(record(0).sourceLocation(), paths[1]);

  selectAll();
  controller->removeFiles();
  waitUntilIdle();
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(controller->metadataArrayController().selectionCount(), 0u);
}

TEST_F(AppDelegateLoading, ClearingRemovesOnlyTheRecordsTheSearchShows) {
  drop({copy("plain.mp3", "keep1.mp3"), copy("plain.mp3", "drop.mp3"),
        copy("plain.mp3", "keep2.mp3")});
  controller->setSearchColumns({{"_FILENAME", 1}});
  controller->search("drop");
  ASSERT_EQ(controller->metadatasInDisplayOrder().size(), 1u);
  controller->setSelectionIndexes({0});
  controller->metadataValueWasEdited(1, 0, Object("Unsaved"));

  host->answers = {1002};  // "Cancel"
  controller->clearFiles();
  EXPECT_EQ(records().size(), 3u);

  host->answers = {1001};  // "Clear Files"
  controller->clearFiles();
  waitUntilIdle();
  controller->search("");
  EXPECT_EQ(records().size(), 2u);
  EXPECT_EQ(controller->metadatasInDisplayOrder().size(), 2u);
  EXPECT_FALSE(undo().canUndo());

  // Nothing unsaved: no question.
  controller->clearFiles();
  EXPECT_TRUE(records().empty());
}

TEST(AppDelegateLibraryDrop, FileLocationsOfTheTracksInOrder) {
  PlistDict tracks{
      {"10", PlistDict{{"Location", "file:///music/A%20Song.mp3"}}},
      {"11", PlistDict{{"Location", "http://example.org/stream.mp3"}}},
      {"12", PlistDict{{"Name", "no location"}}},
      {"13", PlistDict{{"Location", "file://localhost/music/Caf%C3%A9.m4a"}}},
  };
  EXPECT_EQ(AppDelegate::filePathsFromMusicLibraryTracks(PlistDict{{"Tracks", tracks}}),
            (Strings{"/music/A Song.mp3", "/music/Caf\xC3\xA9.m4a"}));
  PlistArray list{PlistDict{{"Location", "file:///b.flac"}}, PlistValue("junk")};
  EXPECT_EQ(AppDelegate::filePathsFromMusicLibraryTracks(PlistDict{{"Tracks", list}}),
            (Strings{"/b.flac"}));
  EXPECT_TRUE(AppDelegate::filePathsFromMusicLibraryTracks(PlistValue("nothing")).empty());
}

}  // namespace
}  // namespace quorvel::test
