// Edits of the selection, copy and paste, artwork and search through the
// application controller.

#include "document/ControllerTestSupport.h"
#include "document/MetadataFunctionController.h"
#include "model/MetadataValue.h"

namespace quorvel::test {
namespace {

class AppDelegateEditing : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
      paths.push_back(copy("plain.mp3", "song" + std::to_string(i) + ".mp3"));
    }
    drop(paths);
    ASSERT_EQ(records().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      setOne(i, "TRACKTITLE", {Object("song" + std::to_string(i))});
      record(i).takeOriginalDigest();
    }
  }
  // Gives the record at `index` these values, outside the undo history.
  void setOne(std::size_t index, const std::string& key, const ObjectList& values) {
    undo().disableUndoRegistration();
    record(index).setMetadataObjectValues(values, key);
    undo().enableUndoRegistration();
  }
  std::vector<std::string> values(std::size_t index, const std::string& key) const {
    std::vector<std::string> texts;
    for (const Object& value :
         record(index).metadataObjectValuesForKey(key).value_or(ObjectList{})) {
      texts.push_back(value.stringValue().value_or("<data>"));
    }
    return texts;
  }
};

TEST_F(AppDelegateEditing, AnEditReachesEverySelectedRecordAsOneNamedUndoStep) {
  controller->setSelectionIndexes({0, 2, 4});
  controller->metadataValueWasEdited(1, 0, Object("New Album"));
  for (std::size_t i : {0u, 2u, 4u}) {
    EXPECT_EQ(text(record(i), "ALBUM"), "New Album");
    EXPECT_TRUE(record(i).metadataNeedsSaving());
  }
  EXPECT_EQ(text(record(1), "ALBUM"), "<none>");
  EXPECT_EQ(undo().numberOfUndoActions(), 1u);
  EXPECT_EQ(undo().undoActionName(), "Set ALBUM");

  // Emptying a field removes the value from every selected record.
  controller->metadataValueWasEdited(11, 0, Object(""));
  EXPECT_EQ(text(record(0), "TRACKTITLE"), "<none>");
  EXPECT_EQ(text(record(4), "TRACKTITLE"), "<none>");
  EXPECT_EQ(text(record(1), "TRACKTITLE"), "song1");
  EXPECT_EQ(undo().undoActionName(), "Set TRACKTITLE");

  controller->undo();
  EXPECT_EQ(text(record(4), "TRACKTITLE"), "song4");
  controller->undo();
  EXPECT_EQ(text(record(2), "ALBUM"), "<none>");
  EXPECT_FALSE(record(2).metadataNeedsSaving());
  controller->redo();
  EXPECT_EQ(text(record(2), "ALBUM"), "New Album");
  EXPECT_EQ(undo().undoActionName(), "Set ALBUM");

  // "4/10" typed for the track number gives number and total.
  controller->metadataValueWasEdited(13, 0, Object("4/10"));
  EXPECT_EQ(text(record(0), "TRACKNUMBER"), "4");
  EXPECT_EQ(text(record(0), "TRACKTOTAL"), "10");
  controller->undo();
  EXPECT_EQ(text(record(0), "TRACKNUMBER"), "<none>");
  EXPECT_EQ(text(record(0), "TRACKTOTAL"), "<none>");

  // While a batch function previews, edits are ignored; without a
  // selection nothing happens.
  const auto steps = undo().numberOfUndoActions();
  controller->functionController().setPreviewMode(true);
  controller->metadataValueWasEdited(1, 0, Object("Ignored"));
  controller->functionController().setPreviewMode(false);
  controller->setSelectionIndexes({});
  controller->metadataValueWasEdited(1, 0, Object("Ignored"));
  EXPECT_EQ(undo().numberOfUndoActions(), steps);
  EXPECT_EQ(text(record(0), "ALBUM"), "New Album");
}

TEST_F(AppDelegateEditing, SubtractRemovesTheShownValueOrTheWholeKeyWhenValuesDiffer) {
  setOne(0, "GENRE", {Object("Rock"), Object("Pop")});
  setOne(1, "GENRE", {Object("Rock"), Object("Pop")});
  setOne(2, "GENRE", {Object("Jazz")});
  controller->setSelectionIndexes({0, 1});
  controller->textFieldSubtractButtonPressed(8, 1);
  EXPECT_EQ(values(0, "GENRE"), (Strings{"Rock"}));
  EXPECT_EQ(values(1, "GENRE"), (Strings{"Rock"}));
  EXPECT_EQ(undo().undoActionName(), "Delete GENRE");

  controller->setSelectionIndexes({0, 1, 2});  // "Rock" against "Jazz"
  auto merged = controller->functionController().selectionValues().values.at("GENRE");
  ASSERT_TRUE(MetadataFunctionController::isMultipleValuesMarker(*merged));
  controller->textFieldSubtractButtonPressed(8, 0);
  for (std::size_t i : {0u, 1u, 2u}) {
    EXPECT_FALSE(record(i).metadataValueForKey("GENRE"));
  }
}

TEST_F(AppDelegateEditing, AddAndEditTagNormaliseTheKeyAndSplitNumbers) {
  controller->setSelectionIndexes({0, 1});
  controller->setMetadataObjectValue(Object("Second Title"), "\xC2\xA9nam");  // MP4 atom
  EXPECT_EQ(values(0, "TRACKTITLE"), (Strings{"song0", "Second Title"}));
  EXPECT_EQ(undo().undoActionName(), "Add Tag");
  controller->setMetadataObjectValue(Object("Artist"), "TPE1");  // ID3v2 frame
  controller->setMetadataObjectValue(Object("Mine"), "MYCUSTOMKEY");
  controller->setMetadataObjectValue(Object(""), "MOOD");  // empty: nothing
  EXPECT_EQ(text(record(1), "TRACKARTIST"), "Artist");
  EXPECT_EQ(text(record(1), "MYCUSTOMKEY"), "Mine");
  EXPECT_FALSE(record(1).metadataValueForKey("MOOD"));

  // Edit Tag also knows Vorbis, ASF and APE names.
  controller->editMetadataObjectValue(Object("Other Artist"), "ARTIST", 0);
  EXPECT_EQ(values(0, "TRACKARTIST"), (Strings{"Other Artist"}));
  EXPECT_EQ(undo().undoActionName(), "Edit Tag");
  controller->editMetadataObjectValue(Object("2/3"), "DISCNUMBER", 0);
  EXPECT_EQ(text(record(1), "DISCNUMBER"), "2");
  EXPECT_EQ(text(record(1), "DISCTOTAL"), "3");
  controller->setMetadataObjectValue(Object("7"), "TRACKNUMBER");
  EXPECT_EQ(text(record(0), "TRACKNUMBER"), "7");
  EXPECT_EQ(text(record(0), "TRACKTOTAL"), "<none>");
}

TEST_F(AppDelegateEditing, AllTagsViewCheckboxesLyricsAndData) {
  setOne(0, "COMPOSER", {Object("A"), Object("B"), Object("C")});
  setOne(1, "COMPOSER", {Object("A"), Object("B"), Object("C")});
  controller->setSelectionIndexes({0, 1});
  using Row = AppDelegate::AllTagsRow;

  controller->outlineViewSetObjectValue(Object("12"), Row{"TRACKTOTAL", 0, false});
  ASSERT_TRUE(record(0).metadataObjectValueForKey("TRACKTOTAL").isNumber());
  EXPECT_EQ(record(0).metadataObjectValueForKey("TRACKTOTAL").number().int64Value(), 12);
  EXPECT_EQ(undo().undoActionName(), "Set TRACKTOTAL");

  controller->outlineViewSetObjectValue(Object("Bee"), Row{"COMPOSER", 1, true});
  EXPECT_EQ(values(1, "COMPOSER"), (Strings{"A", "Bee", "C"}));
  controller->outlineViewSetObjectValue(Object(""), Row{"COMPOSER", 2, true});
  EXPECT_EQ(values(1, "COMPOSER"), (Strings{"A", "Bee"}));
  EXPECT_EQ(undo().undoActionName(), "Delete COMPOSER");
  controller->outlineViewSetObjectValue(Object(""), Row{"TRACKTOTAL", 0, false});
  EXPECT_FALSE(record(0).metadataValueForKey("TRACKTOTAL"));
  EXPECT_EQ(undo().undoActionName(), "Delete TRACKTOTAL");

  // Rows are cleared from the last to the first, so indexes stay right.
  setOne(0, "GENRE", {Object("Rock")});
  controller->allTagsDeleteTagButtonPressed(
      {Row{"COMPOSER", 0, true}, Row{"COMPOSER", 1, true}, Row{"GENRE", 0, false}});
  EXPECT_FALSE(record(0).metadataValueForKey("COMPOSER"));
  EXPECT_FALSE(record(0).metadataValueForKey("GENRE"));
  EXPECT_EQ(undo().undoActionName(), "Delete Selected Tags");
  controller->undo();
  EXPECT_EQ(values(0, "COMPOSER"), (Strings{"A", "Bee"}));
  EXPECT_EQ(values(0, "GENRE"), (Strings{"Rock"}));

  controller->metadataCheckboxClicked(true, "PARTOFACOMPILATION", "Set Part of a Compilation");
  EXPECT_EQ(text(record(1), "PARTOFACOMPILATION"), "1");
  EXPECT_EQ(undo().undoActionName(), "Set Part of a Compilation");
  controller->metadataCheckboxClicked(false, "PARTOFACOMPILATION", "Set Part of a Compilation");
  EXPECT_FALSE(record(1).metadataValueForKey("PARTOFACOMPILATION"));

  controller->textShouldEndEditing("la la la\nla");
  EXPECT_EQ(text(record(0), "LYRICS"), "la la la\nla");
  EXPECT_EQ(undo().undoActionName(), "Set Lyrics");
  controller->setDataValue(Data::fromString("\x01\x02"), "PRIV");
  EXPECT_TRUE(record(1).metadataObjectValueForKey("PRIV").isData());
  EXPECT_EQ(undo().undoActionName(), "Set Data");
}

TEST_F(AppDelegateEditing, PasteInEachModeAndWhenCountsDiffer) {
  setOne(0, "ALBUM", {Object("A0")});
  setOne(1, "ALBUM", {Object("A1")});
  setOne(0, "GENRE", {Object("Jazz")});
  controller->setSelectionIndexes({0, 1});
  controller->copyAllMetadata();
  ASSERT_EQ(controller->copiedAudioMetadatas().size(), 2u);

  selectAll();
  host->answers = {1001};  // "Paste To All Selected Files": copies 1, 2, 1, 2, 1
  controller->pasteMetadataReplacingExisting();
  ASSERT_EQ(host->alerts.size(), 1u);
  EXPECT_EQ(host->alerts[0].heading, "Copied Count Does Not Match Selected Count");
  EXPECT_EQ(host->alerts[0].text,
            "Metadata for 2 files were copied, but there are 5 files selected.  What would you "
            "like to do?");
  EXPECT_EQ(host->alerts[0].buttons,
            (Strings{"Paste To First 2 Files", "Paste To All Selected Files", "Cancel"}));
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(text(record(i), "ALBUM"), i % 2 == 0 ? "A0" : "A1");
    EXPECT_EQ(text(record(i), "TRACKTITLE"), i % 2 == 0 ? "song0" : "song1");
  }
  EXPECT_EQ(undo().undoActionName(), "Paste Metadata");
  controller->undo();
  EXPECT_EQ(text(record(4), "ALBUM"), "<none>");
  EXPECT_EQ(text(record(4), "TRACKTITLE"), "song4");

  host->answers = {1000};  // "Paste To First 2 Files"
  controller->pasteMetadataReplacingExisting();
  EXPECT_EQ(text(record(2), "ALBUM"), "<none>");
  controller->undo();
  const auto steps = undo().numberOfUndoActions();
  host->answers = {1002};  // "Cancel"
  controller->pasteMetadataReplacingExisting();
  EXPECT_EQ(undo().numberOfUndoActions(), steps);

  // One copy onto one record: add, replace the copied keys, replace all.
  setOne(2, "GENRE", {Object("Rock")});
  setOne(2, "COMMENTS", {Object("keep?")});
  controller->setSelectionIndexes({0});
  controller->copySelectedMetadata({"GENRE", "GENRE"});
  EXPECT_EQ(controller->copiedAudioMetadatas()[0]->allMetadataKeys(), (Strings{"GENRE"}));
  controller->setSelectionIndexes({2});
  controller->pasteMetadataAddingToExisting();
  EXPECT_EQ(values(2, "GENRE"), (Strings{"Rock", "Jazz"}));
  controller->pasteMetadataReplacingExisting();
  EXPECT_EQ(values(2, "GENRE"), (Strings{"Jazz"}));
  EXPECT_EQ(text(record(2), "COMMENTS"), "keep?");
  controller->pasteMetadataReplacingAll();
  EXPECT_EQ(record(2).allMetadataKeys(), (Strings{"GENRE"}));
}

TEST_F(AppDelegateEditing, ArtworkIsSetAddedPastedDescribedAndRemoved) {
  auto front = AlbumArtwork::albumArtworkFromFile(fixture("images/front.jpg").string());
  ASSERT_TRUE(front);
  controller->setSelectionIndexes({0, 1});

  // No artwork yet: added without a question.
  controller->setOrAddAlbumArtwork(front, controller->selectedMetadatas());
  EXPECT_TRUE(host->alerts.empty());
  ASSERT_EQ(record(0).artworks().size(), 1u);
  EXPECT_NE(record(0).artworks()[0], record(1).artworks()[0]);  // each its own object
  EXPECT_EQ(undo().undoActionName(), "Set Album Artwork");

  host->answers = {1002, 1000, 1001};
  controller->setOrAddAlbumArtwork(front, controller->selectedMetadatas());
  ASSERT_EQ(host->alerts.size(), 1u);
  EXPECT_EQ(host->alerts[0].heading, "Add Album Artwork");
  EXPECT_EQ(host->alerts[0].buttons,
            (Strings{"Set As Only Artwork", "Cancel", "Add To Existing Artworks"}));
  EXPECT_TRUE(host->alerts[0].hasIcon);
  EXPECT_EQ(record(1).artworks().size(), 2u);
  EXPECT_EQ(undo().undoActionName(), "Add Album Artwork");
  controller->setOrAddAlbumArtwork(front, controller->selectedMetadatas());
  EXPECT_EQ(record(1).artworks().size(), 1u);
  const auto steps = undo().numberOfUndoActions();
  controller->setOrAddAlbumArtwork(front, controller->selectedMetadatas());  // "Cancel"
  EXPECT_EQ(undo().numberOfUndoActions(), steps);

  // The description: one step when it changes, none when it does not.
  controller->albumArtworkDescriptionChanged(0, "Front cover");
  EXPECT_EQ(record(1).artworks()[0]->comments(), "Front cover");
  EXPECT_EQ(undo().undoActionName(), "Set Artwork Description");
  controller->albumArtworkDescriptionChanged(0, "Front cover");
  EXPECT_EQ(undo().numberOfUndoActions(), steps + 1);
  EXPECT_TRUE(undo().groupsByEvent());
  controller->undo();
  EXPECT_EQ(record(1).artworks()[0]->comments(), std::nullopt);

  controller->removeArtwork(0);
  EXPECT_TRUE(record(0).artworks().empty());
  EXPECT_EQ(undo().undoActionName(), "Remove Album Artwork");

  // Paste: an image is encoded as JPEG when "pasteImageDataFormat" is 1,
  // a file URL is read as it is.
  controller->setSelectionIndexes({3});
  host->pasteboard.image = Data::fromString(readFile(fixture("images/back.png")));
  controller->pasteArtwork();
  ASSERT_EQ(record(3).artworks().size(), 1u);
  EXPECT_EQ(record(3).artworks()[0]->mimeType(), "image/jpeg");
  host->pasteboard = {};
  host->pasteboard.fileURLs = {"file://" + fixture("images/back.png").string()};
  host->answers = {1002};
  controller->pasteArtwork();
  ASSERT_EQ(record(3).artworks().size(), 2u);
  EXPECT_EQ(record(3).artworks()[1]->mimeType(), "image/png");

  host->answers = {1000};
  controller->setAlbumArtworkFromURL("file://" + (dir / "missing.png").string());
  EXPECT_EQ(host->alerts.back().heading, "Unable to create artwork from URL");
  EXPECT_EQ(host->alerts.back().text,
            "The following URL does not point to a valid image file: "
            "file://" +
                (dir / "missing.png").string());
  // Bytes that are no image do nothing.
  controller->albumArtworkDropViewReceivedImageData(Data::fromString("not an image"));
  EXPECT_EQ(record(3).artworks().size(), 2u);
}

TEST_F(AppDelegateEditing, SearchNarrowsTheTableByCategoryIgnoringCaseAndAccents) {
  setOne(1, "TRACKTITLE", {Object("Caf\xC3\xA9 Society")});
  controller->setSearchColumns(
      {{"TRACKTITLE", 1}, {"_FILENAME", 2}, {AppDelegate::kNeedsSavingColumnIdentifier, 3}});
  controller->search("CAFE");
  ASSERT_EQ(controller->metadatasInDisplayOrder().size(), 1u);
  EXPECT_EQ(controller->metadatasInDisplayOrder()[0].get(), &record(1));
  ASSERT_TRUE(controller->metadataArrayController().filterPredicate());
  EXPECT_EQ(controller->metadataArrayController().filterPredicate()->predicateFormat(),
            "(TRACKTITLE.stringValue contains[cd] \"CAFE\") OR (_FILENAME.stringValue "
            "contains[cd] \"CAFE\")");

  controller->setSearchCategoryFrom(2, "File Name");
  EXPECT_EQ(host->placeholder, "Search File Name");
  EXPECT_TRUE(controller->metadatasInDisplayOrder().empty());
  controller->search("song3");
  ASSERT_EQ(controller->metadatasInDisplayOrder().size(), 1u);
  controller->setSearchCategoryFrom(3, "Needs Saving");  // never searched: no filter
  EXPECT_EQ(controller->metadatasInDisplayOrder().size(), 5u);
  controller->setSearchCategoryFrom(AppDelegate::kSearchAllColumns, "All");
  controller->search("");
  EXPECT_FALSE(controller->metadataArrayController().filterPredicate());
}

TEST_F(AppDelegateEditing, FileNameCellRenamesTheFileAndLogsFailures) {
  controller->setSelectionIndexes({1});
  controller->tableViewSetObjectValue(Object("renamed.mp3"), "_FILENAME", 1);
  EXPECT_EQ(record(1).sourceLocation(), (dir / "renamed.mp3").string());
  EXPECT_TRUE(std::filesystem::exists(dir / "renamed.mp3"));
  EXPECT_FALSE(std::filesystem::exists(dir / "song1.mp3"));

  // Another column sets the value of the row's record (not selected here).
  controller->tableViewSetObjectValue(Object("Row Album"), "ALBUM", 2);
  EXPECT_EQ(text(record(2), "ALBUM"), "Row Album");
  EXPECT_EQ(text(record(1), "ALBUM"), "<none>");

  ErrorLogWindowController::sharedController().clear();
  controller->tableViewSetObjectValue(Object(std::string(300, 'x') + ".mp3"), "_FILENAME", 3);
  EXPECT_EQ(record(3).sourceLocation(), (dir / "song3.mp3").string());
  ASSERT_EQ(logLines().size(), 1u);
  EXPECT_TRUE(logLines()[0].starts_with("Error Renaming File: song3.mp3.  ")) << logLines()[0];
  EXPECT_EQ(host->errorLogShown, 1);
}

}  // namespace
}  // namespace quorvel::test
