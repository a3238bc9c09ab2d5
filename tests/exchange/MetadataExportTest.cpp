#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/AudioMetadataCSVExporter.h"
#include "exchange/AudioMetadataXMLExporter.h"
#include "exchange/CHCSVParser.h"
#include "exchange/ExchangeTestSupport.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::makeRecord;

const std::vector<std::string> kFileInfo = {"File Name", "File Path",   "File Size",
                                            "File Kind", "File Format", "Track Length"};

std::vector<std::string> withFileInfo(std::vector<std::string> names) {
  names.insert(names.end(), kFileInfo.begin(), kFileInfo.end());
  return names;
}

CSVRecords readCSV(const fs::path& path) {
  auto records =
      arrayWithContentsOfCSVFile(path.string(), kCHCSVParserOptionsSanitizesFields, nullptr);
  EXPECT_TRUE(records);
  return records.value_or(CSVRecords());
}

TEST(MetadataExportTest, CSVTableHasAColumnPerValueSortedKeysThenFileInformation) {
  auto first = makeRecord({{"GENRE", {"Rock", "Pop"}},
                           {"album", {"a, with comma"}},
                           {"TRACKTITLE", {"line one\nline two"}},
                           {"COMMENTS", {"say \"hi\""}},
                           {"BPM", {Object(120)}}},
                          "/music/One.mp3");
  first->setSourceFileSize(Number(1500000));
  first->setSourceLength(75.4);
  first->setSourceKind(std::string("MPEG Layer 3"));
  first->setSourceFormat(std::string("MPEG-1 Layer 3"));
  auto second = makeRecord({{"GENRE", {"Jazz"}}, {"Zed", {"only here"}}});
  test::TemporaryDirectory dir;
  const fs::path out = dir / "export.csv";

  AudioMetadataCSVExporter exporter;
  Error error;
  ASSERT_TRUE(exporter.exportMetadatas({first, second}, out.string(), true, &error))
      << error.localizedDescription;

  // Keys ignore case when sorted ("album" before "BPM"); each key's columns
  // stand together; the file information follows in its fixed order.
  const auto expectedHeader =
      withFileInfo({"album", "BPM", "COMMENTS", "GENRE", "GENRE", "TRACKTITLE", "Zed"});
  EXPECT_EQ(AudioMetadataCSVExporter::headerForMetadatas({first, second}), expectedHeader);

  const std::string text = test::readFile(out);
  EXPECT_EQ(text.rfind("album,BPM,COMMENTS,GENRE,GENRE,TRACKTITLE,Zed,File Name,", 0), 0U);
  EXPECT_NE(text.find("\"a, with comma\""), std::string::npos);
  EXPECT_NE(text.find("\"line one\nline two\""), std::string::npos);
  EXPECT_NE(text.find("\"say \"\"hi\"\"\""), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");

  const CSVRecords rows = readCSV(out);
  ASSERT_EQ(rows.size(), 4U);  // header, two rows, the empty record after the last break
  EXPECT_EQ(rows[0], expectedHeader);
  EXPECT_EQ(rows[1],
            (std::vector<std::string>{"a, with comma", "120", "say \"hi\"", "Rock", "Pop",
                                      "line one\nline two", "", "One.mp3", "/music/One.mp3",
                                      "1.50 MB", "MPEG Layer 3", "MPEG-1 Layer 3", "(1:15)"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"", "", "", "Jazz", "", "", "only here", "", "", "",
                                               "", "", ""}));
}

TEST(MetadataExportTest, XMLHoldsValuesListsArtworkArchivesAndFileInformation) {
  auto none = makeRecord({{"TRACKTITLE", {"Solo"}}, {"GENRE", {"Rock", "Pop"}}}, "/m/a.flac");
  none->setSourceFileSize(Number(999));
  auto one =
      makeRecord({{"TRACKNUMBER", {Object(3)}}, {"MCDI", {Object(Data::fromString("\x01\x02"))}}});
  one->addArtwork(test::makeArtwork(10, 3, std::string("Front")));
  auto two = makeRecord({{"TRACKTITLE", {"Two"}}});
  two->addArtwork(test::makeArtwork(20, 3, std::nullopt));
  two->addArtwork(test::makeArtwork(30, 4, std::string("Back")));
  test::TemporaryDirectory dir;

  for (bool withArtwork : {false, true}) {
    const fs::path out = dir / (withArtwork ? "with.xml" : "without.xml");
    AudioMetadataXMLExporter exporter;
    ASSERT_TRUE(exporter.exportMetadatas({none, one, two}, out.string(), withArtwork));
    EXPECT_NE(test::readFile(out).find("<plist version=\"1.0\">"), std::string::npos);
    auto root = plist::readFile(out.string());
    ASSERT_TRUE(root);
    const auto* array = root->get<PlistArray>();
    ASSERT_TRUE(array);
    ASSERT_EQ(array->size(), 3U);
    const PlistDict& a = *(*array)[0].get<PlistDict>();
    const PlistDict& b = *(*array)[1].get<PlistDict>();
    const PlistDict& c = *(*array)[2].get<PlistDict>();

    EXPECT_EQ(a.at("TRACKTITLE"), PlistValue("Solo"));
    EXPECT_EQ(a.at("GENRE"), PlistValue(PlistArray{"Rock", "Pop"}));
    EXPECT_EQ(a.at("File Name"), PlistValue("a.flac"));
    EXPECT_EQ(a.at("File Path"), PlistValue("/m/a.flac"));
    EXPECT_EQ(a.at("File Size"), PlistValue("999.00 B"));
    EXPECT_EQ(a.count("Track Length"), 0U);  // no value, no entry
    EXPECT_EQ(b.at("TRACKNUMBER"), PlistValue(std::int64_t{3}));
    EXPECT_EQ(b.at("MCDI"), PlistValue(Data::fromString("\x01\x02")));
    EXPECT_EQ(b.count("File Name"), 0U);
    EXPECT_EQ(a.count("ARTWORK"), 0U);
    if (!withArtwork) {
      EXPECT_EQ(b.count("ARTWORK"), 0U);
      EXPECT_EQ(c.count("ARTWORK"), 0U);
      continue;
    }
    const Data* archive = b.at("ARTWORK").get<Data>();
    ASSERT_TRUE(archive);
    auto restored = AlbumArtwork::fromArchivedData(*archive);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->md5(), one->artworks()[0]->md5());
    EXPECT_EQ(restored->comments(), std::optional<std::string>("Front"));
    const PlistArray* archives = c.at("ARTWORK").get<PlistArray>();
    ASSERT_TRUE(archives);
    ASSERT_EQ(archives->size(), 2U);
    auto second = AlbumArtwork::fromArchivedData(*(*archives)[1].get<Data>());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->artworkType(), 4U);
    EXPECT_EQ(second->md5(), two->artworks()[1]->md5());
  }
}

TEST(MetadataExportTest, CancelledOrFailedExportsLeaveTheDestinationAsItWas) {
  std::vector<AudioMetadataPtr> records;
  for (int i = 0; i < 50; ++i) {
    records.push_back(makeRecord({{"TRACKTITLE", {"Song " + std::to_string(i)}}}));
  }
  test::TemporaryDirectory dir;
  const fs::path out = dir / "existing";
  test::writeFile(out, "old contents");

  for (int type : {AudioMetadataExporter::kTypeCSV, AudioMetadataExporter::kTypeXML}) {
    auto exporter = AudioMetadataExporter::exporterForType(type);
    test::RecordingDelegate delegate;
    delegate.cancelAt = 1;
    delegate.cancel = [&] { exporter->cancel(); };
    exporter->setDelegate(&delegate);
    Error error{"untouched", 7, ""};
    EXPECT_FALSE(exporter->exportMetadatas(records, out.string(), false, &error)) << type;
    EXPECT_EQ(error.domain, "untouched");  // a cancel is no error
    ASSERT_EQ(delegate.reports.size(), 1U);
    EXPECT_EQ(delegate.reports[0].percent, 0.0);
    EXPECT_EQ(delegate.reports[0].index, 0U);
    EXPECT_EQ(delegate.reports[0].total, 50U);
    EXPECT_EQ(test::readFile(out), "old contents");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A folder that does not exist: failure with a reason.
    Error missing;
    auto again = AudioMetadataExporter::exporterForType(type);
    EXPECT_FALSE(again->exportMetadatas(records, (dir / "no/such/file").string(), false, &missing));
    EXPECT_FALSE(missing.localizedDescription.empty());
  }
}

// The exporter's columns are the names the importer leaves out.
TEST(MetadataExportTest, FileInformationColumnsAreWhatTheImporterSkips) {
  std::vector<std::string> names;
  for (const auto& column : AudioMetadataExporter::fileInfoColumns()) names.push_back(column.name);
  EXPECT_EQ(names, kFileInfo);
  EXPECT_EQ(names, AudioMetadataImporter::fileInfoKeys());
  EXPECT_EQ(AudioMetadataExporter::fileInfoDictionary().size(), names.size());
}

}  // namespace
}  // namespace quorvel
