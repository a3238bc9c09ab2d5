// Export and import of metadata files through the controller's commands,
// with the real exchange installed as the desktop application installs it.

#include "document/ControllerTestSupport.h"
#include "exchange/MetadataExchange.h"
#include "platform/PropertyList.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

class AppDelegateExchange : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    UserDefaults::standard().setBool(false, "exportAlbumArtwork");
    previous_ = MetadataExchangeInterface::install(std::make_shared<MetadataExchange>());
  }
  void TearDown() override {
    ControllerTest::TearDown();
    MetadataExchangeInterface::install(previous_);
  }
  void exportTo(const std::string& path) {
    host->saveFilePath = path;
    controller->exportMetadata();
    waitUntilIdle();
  }
  void importFrom(const std::string& path) {
    host->openFilePath = path;
    controller->importMetadata();
    waitUntilIdle();
  }
  std::vector<std::string> albums() const {
    std::vector<std::string> values;
    for (const auto& r : records()) values.push_back(text(*r, "ALBUM"));
    return values;
  }

 private:
  std::shared_ptr<MetadataExchangeInterface> previous_;
};

TEST_F(AppDelegateExchange, ExportWritesEveryRecordInTableOrderAndCancelWritesNothing) {
  drop({copy("metaflac.flac", "a.flac")});
  drop({copy("plain.mp3", "b.mp3")});
  selectAll();
  controller->metadataValueWasEdited(1, 0, Object("Shared, Album"));
  controller->setSelectionIndexes({1});  // export ignores the selection

  const std::string csv = (dir / "out.csv").string();
  exportTo(csv);
  ASSERT_EQ(host->savePanelTitles, Strings{"Export Metadata"});
  const SavePanelAccessory& shown = host->savePanelsShown.back();
  EXPECT_EQ(shown.selectedTag, MetadataExchangeInterface::kExportTypeCSV);
  EXPECT_FALSE(shown.checkboxEnabled);
  EXPECT_EQ(shown.allowedExtensions, Strings{"csv"});
  const std::string table = readFile(csv);
  const auto a = table.find("a.flac");
  const auto b = table.find("b.mp3");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3);
  EXPECT_NE(table.find("\"Shared, Album\""), std::string::npos);
  ASSERT_NE(a, std::string::npos);
  EXPECT_LT(a, b);
  const auto* sheet = host->sheetNamed("Exporting Metadata");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->texts.front(), "Exporting Metadata 0 of 2");
  EXPECT_EQ(sheet->returnCode, 1);

  // XML with artwork: the choice is stored, the picture is carried.
  host->savePanelTag = MetadataExchangeInterface::kExportTypeXML;
  host->savePanelCheckbox = true;
  const std::string xml = (dir / "out.xml").string();
  exportTo(xml);
  EXPECT_TRUE(UserDefaults::standard().boolForKey("exportAlbumArtwork"));
  auto list = plist::readFile(xml);
  ASSERT_TRUE(list && list->is<PlistArray>());
  const PlistArray& dicts = *list->get<PlistArray>();
  ASSERT_EQ(dicts.size(), 2u);
  EXPECT_TRUE(dicts[0].get<PlistDict>()->at("ARTWORK").is<Data>());
  EXPECT_EQ(dicts[1].get<PlistDict>()->count("ARTWORK"), 0u);
  EXPECT_EQ(dicts[1].get<PlistDict>()->at("ALBUM"), PlistValue("Shared, Album"));

  // Cancel pressed as the sheet opens: the old file stays as it was.
  writeFile(csv, "old");
  host->savePanelTag = MetadataExchangeInterface::kExportTypeCSV;
  host->onSheetBegin = [this](const std::string&) {
    controller->progressPanelCancelButtonPressed();
  };
  exportTo(csv);
  EXPECT_EQ(readFile(csv), "old");
  EXPECT_EQ(host->sheets.back().returnCode, 0);
  EXPECT_FALSE(controller->isCancelled());

  // A cancelled panel starts nothing.
  const auto sheetCount = host->sheets.size();
  host->saveFilePath.reset();
  controller->exportMetadata();
  EXPECT_FALSE(controller->isBusy());
  EXPECT_EQ(host->sheets.size(), sheetCount);
}

TEST_F(AppDelegateExchange, ImportWithMatchingCountsIsOneUndoStepAndSavesWhenAsked) {
  const std::string first = copy("plain.mp3", "a.mp3");
  drop({first, copy("plain.flac", "b.flac")});
  selectAll();
  controller->metadataValueWasEdited(12, 0, Object("Old Artist"));
  const std::string csv =
      writeText("in.CSV", "ALBUM,TRACKARTIST,File Name\nOne,,x.mp3\nTwo,Band,y.flac\n");

  importFrom(csv);
  EXPECT_TRUE(host->alerts.empty());
  EXPECT_EQ(albums(), (Strings{"One", "Two"}));
  EXPECT_EQ(text(record(0), "TRACKARTIST"), "<none>");  // replaced, not merged
  EXPECT_EQ(text(record(1), "TRACKARTIST"), "Band");
  const auto keys = record(0).allMetadataKeys();
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "File Name"), 0);
  const auto* sheet = host->sheetNamed("Importing Metadata");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->texts.front(), "Importing Metadata 0 of 2");
  EXPECT_EQ(sheet->returnCode, 1);
  EXPECT_FALSE(controller->recordsAreBusy());

  EXPECT_EQ(undo().undoActionName(), "Import Metadata");
  controller->undo();
  EXPECT_EQ(albums(), (Strings{"<none>", "<none>"}));
  EXPECT_EQ(text(record(0), "TRACKARTIST"), "Old Artist");

  UserDefaults::standard().setBool(true, "saveAfterChange");
  importFrom(csv);
  EXPECT_EQ(AudioFileReader::metadataFromFile(first)->metadataObjectValueForKey("ALBUM"),
            Object("One"));
  EXPECT_FALSE(record(0).metadataNeedsSaving());

  // A file without any row changes nothing and asks nothing.
  const auto sheetCount = host->sheets.size();
  importFrom(writeText("empty.csv", "ALBUM\n"));
  EXPECT_EQ(host->sheets.size(), sheetCount + 1);
  EXPECT_EQ(host->sheets.back().message, "Analyzing File");
  EXPECT_EQ(albums(), (Strings{"One", "Two"}));
}

TEST_F(AppDelegateExchange, CountAlertAnswersDecideThePairing) {
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) paths.push_back(copy("plain.mp3", std::to_string(i) + ".mp3"));
  drop(paths);
  selectAll();
  const std::string csv = writeText("three.csv", "ALBUM\nA1\nA2\nA3\n");
  const std::vector<std::string> untouched(5, "<none>");

  host->answers = {1000};  // Cancel
  importFrom(csv);
  ASSERT_EQ(host->alerts.size(), 1u);
  EXPECT_EQ(host->alerts[0].heading, "Counts Do Not Match");
  EXPECT_EQ(albums(), untouched);
  EXPECT_FALSE(host->sheetNamed("Importing Metadata"));

  host->answers = {1001};  // the dictionaries in turn over every record
  importFrom(csv);
  EXPECT_EQ(albums(), (Strings{"A1", "A2", "A3", "A1", "A2"}));
  controller->undo();

  host->answers = {1002};  // only the first three records
  importFrom(csv);
  EXPECT_EQ(albums(), (Strings{"A1", "A2", "A3", "<none>", "<none>"}));
  controller->undo();

  // Cancel as the import starts: no record changes.
  host->answers = {1001};
  host->onSheetBegin = [this](const std::string& message) {
    if (message == "Importing Metadata") controller->progressPanelCancelButtonPressed();
  };
  importFrom(csv);
  EXPECT_EQ(albums(), untouched);
  EXPECT_EQ(host->sheets.back().returnCode, 0);
  host->onSheetBegin = nullptr;

  controller->setSelectionIndexes({});
  host->answers = {1000};
  importFrom(csv);
  EXPECT_EQ(host->alerts.back().heading, "Nothing selected");
  EXPECT_EQ(albums(), untouched);
}

}  // namespace
}  // namespace quorvel::test
