#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/AudioMetadataCSVImporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "exchange/AudioMetadataXMLImporter.h"
#include "exchange/ExchangeTestSupport.h"
#include "exchange/ImportCountAlert.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::makeRecord;
using test::Strings;
using test::texts;

std::optional<std::vector<PlistDict>> csv(const std::string& text) {
  return AudioMetadataCSVImporter::metadataArrayFromData(Data::fromString(text));
}

TEST(MetadataImportTest, CSVRowsBecomeDictionaries) {
  auto dictionaries =
      csv("TRACKTITLE,GENRE,GENRE,File Name,COMMENTS\n"
          "One,Rock,,one.mp3,\"a, b\"\"c\"\"\nd\"\n"
          "Two,,,two.mp3,\n"
          "too,few\n"
          ",,,three.mp3,\n"
          ",,Jazz,,\n");
  ASSERT_TRUE(dictionaries);
  ASSERT_EQ(dictionaries->size(), 4U);
  const PlistDict& one = (*dictionaries)[0];
  EXPECT_EQ(one.at("TRACKTITLE"), PlistValue("One"));
  EXPECT_EQ(one.at("GENRE"), PlistValue(PlistArray{"Rock"}));
  EXPECT_EQ(one.at("COMMENTS"), PlistValue("a, b\"c\"\nd"));
  EXPECT_EQ(one.at("File Name"), PlistValue("one.mp3"));
  // Both GENRE cells empty: an empty list; an empty single cell: no entry.
  EXPECT_EQ((*dictionaries)[1].at("GENRE"), PlistValue(PlistArray{}));
  EXPECT_EQ((*dictionaries)[1].count("COMMENTS"), 0U);
  // The row with too few fields is skipped; a row with only file
  // information still counts.
  EXPECT_EQ((*dictionaries)[2].at("File Name"), PlistValue("three.mp3"));
  EXPECT_EQ((*dictionaries)[3].at("GENRE"), PlistValue(PlistArray{"Jazz"}));

  // Header only, every row of the wrong length, or rows without any value: nothing.
  EXPECT_FALSE(csv("TRACKTITLE,ALBUM\n"));
  EXPECT_FALSE(csv("TRACKTITLE,ALBUM\nx\ny,z,w\n"));
  EXPECT_FALSE(csv("TRACKTITLE,ALBUM\n,\n,\n"));
  EXPECT_FALSE(csv(""));
  // A UTF-16 file with its byte-order mark reads as its UTF-8 form.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("ALBUM\nBlue\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  auto wide = csv(utf16);
  ASSERT_TRUE(wide);
  EXPECT_EQ((*wide)[0].at("ALBUM"), PlistValue("Blue"));
}

TEST(MetadataImportTest, FilesAreReadByTheirExtensionInAnyCase) {
  test::TemporaryDirectory dir;
  test::writeFile(dir / "a.CSV", "ALBUM\nBlue\n");
  test::writeFile(dir / "a.txt", "ALBUM\nBlue\n");
  PlistArray root{PlistDict{{"ALBUM", "Red"}}, "not a dictionary", std::int64_t{3}};
  ASSERT_TRUE(plist::writeFile(root, (dir / "b.Xml").string(), false));
  ASSERT_TRUE(plist::writeFile(root, (dir / "b.csv.bak").string(), false));

  auto fromCSV =
      AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "a.CSV").string());
  ASSERT_TRUE(fromCSV);
  EXPECT_EQ((*fromCSV)[0].at("ALBUM"), PlistValue("Blue"));
  auto fromXML =
      AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "b.Xml").string());
  ASSERT_TRUE(fromXML);
  ASSERT_EQ(fromXML->size(), 1U);  // elements that are not dictionaries are dropped
  EXPECT_EQ((*fromXML)[0].at("ALBUM"), PlistValue("Red"));
  EXPECT_FALSE(AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "a.txt").string()));
  EXPECT_FALSE(
      AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "b.csv.bak").string()));
  EXPECT_FALSE(
      AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "missing.csv").string()));
}

// Five records titled R1..R5, each with a cover.
std::vector<AudioMetadataPtr> fiveRecords(const std::shared_ptr<ZRUndoManager>& manager) {
  std::vector<AudioMetadataPtr> records;
  for (int i = 1; i <= 5; ++i) {
    auto record = makeRecord({{"TRACKTITLE", {"R" + std::to_string(i)}}, {"YEAR", {"1999"}}});
    record->addArtwork(test::makeArtwork(static_cast<std::uint8_t>(i), 3, std::nullopt));
    record->takeOriginalDigest();
    record->setUndoManager(manager);
    records.push_back(record);
  }
  return records;
}

std::vector<PlistDict> dictionaries(int count) {
  std::vector<PlistDict> list;
  for (int i = 1; i <= count; ++i) {
    list.push_back(PlistDict{{"TRACKTITLE", "D" + std::to_string(i)},
                             {"File Name", "ignored.mp3"},
                             {"Track Length", "(0:01)"}});
  }
  return list;
}

std::vector<std::string> titles(const std::vector<AudioMetadataPtr>& records) {
  std::vector<std::string> out;
  for (const auto& record : records) {
    auto values = texts(*record, "TRACKTITLE");
    out.push_back(values.empty() ? "" : values[0]);
  }
  return out;
}

TEST(MetadataImportTest, PairingReplacesTagsInOneUndoGroup) {
  auto manager = std::make_shared<ZRUndoManager>();
  struct Case {
    int dictionaries;
    bool applyToAll;
    std::vector<std::string> titles;
  };
  const std::vector<Case> cases = {
      {3, true, {"D1", "D2", "D3", "D1", "D2"}},   // repeated in turn
      {3, false, {"D1", "D2", "D3", "R4", "R5"}},  // only the first three
      {5, true, {"D1", "D2", "D3", "D4", "D5"}},
      {7, true, {"D1", "D2", "D3", "D4", "D5"}},   // only the first five
      {7, false, {"D1", "D2", "D3", "D4", "D5"}},  // never past the last record
  };
  for (const Case& c : cases) {
    auto records = fiveRecords(manager);
    manager->removeAllActions();
    AudioMetadataImporter importer;
    importer.importMetadataInUndoGroup(dictionaries(c.dictionaries), records, c.applyToAll,
                                       manager.get());
    EXPECT_EQ(titles(records), c.titles) << c.dictionaries << " " << c.applyToAll;
    for (const auto& record : records) {
      if (texts(*record, "TRACKTITLE")[0][0] == 'D') {
        // Replaced, not merged; the file information is never imported.
        EXPECT_TRUE(texts(*record, "YEAR").empty());
        EXPECT_FALSE(record->metadataHasArtwork());
        EXPECT_EQ(record->allMetadataKeys(), Strings{"TRACKTITLE"});
        EXPECT_TRUE(record->metadataNeedsSaving());
      } else {
        EXPECT_FALSE(record->metadataNeedsSaving());
      }
    }
    // One undo step named after the import puts everything back.
    EXPECT_EQ(manager->undoActionName(), "Import Metadata");
    manager->undo();
    EXPECT_EQ(titles(records), (Strings{"R1", "R2", "R3", "R4", "R5"}));
    for (const auto& record : records) {
      EXPECT_EQ(texts(*record, "YEAR"), Strings{"1999"});
      EXPECT_TRUE(record->metadataHasArtwork());
      EXPECT_FALSE(record->metadataNeedsSaving());
    }
    EXPECT_FALSE(manager->canUndo());
  }

  // No dictionary, or no record: nothing happens.
  auto records = fiveRecords(manager);
  AudioMetadataImporter importer;
  EXPECT_EQ(importer.importMetadataFromDictionaries({}, records, true), 0U);
  EXPECT_EQ(importer.importMetadataFromDictionaries(dictionaries(2), {}, true), 0U);
  EXPECT_EQ(titles(records), (Strings{"R1", "R2", "R3", "R4", "R5"}));
}

// A library-sized import runs on two threads; it must give exactly what the
// serial loop gives, in every pairing, with one undo step for all of it and a
// cancel that leaves a leading run of records imported.
TEST(MetadataImportTest, LargeImportsOnTwoThreadsMatchTheSerialLoop) {
  constexpr int kRecords = 9000;
  auto manager = std::make_shared<ZRUndoManager>();
  std::vector<AudioMetadataPtr> records;
  for (int i = 0; i < kRecords; ++i) {
    auto record = makeRecord({{"TRACKTITLE", {"R" + std::to_string(i + 1)}}});
    record->takeOriginalDigest();
    record->setUndoManager(manager);
    records.push_back(record);
  }
  auto many = [](int count) {
    std::vector<PlistDict> list = dictionaries(count);
    for (auto& dictionary : list) {
      dictionary["GENRE"] = PlistArray{"Jazz", "Soul"};
    }
    return list;
  };
  for (const auto& [count, applyToAll] :
       std::vector<std::pair<int, bool>>{{kRecords, true}, {7, true}, {kRecords + 5, false}}) {
    manager->removeAllActions();
    AudioMetadataImporter importer;
    EXPECT_EQ(importer.importMetadataInUndoGroup(many(count), records, applyToAll, manager.get()),
              static_cast<std::size_t>(kRecords));
    for (int i = 0; i < kRecords; ++i) {
      const std::string expected = "D" + std::to_string(i % count + 1);
      ASSERT_EQ(texts(*records[i], "TRACKTITLE"), Strings{expected}) << i;
      ASSERT_EQ(texts(*records[i], "GENRE"), (Strings{"Jazz", "Soul"}));
      ASSERT_TRUE(records[i]->metadataNeedsSaving());
    }
    manager->undo();
    EXPECT_FALSE(manager->canUndo());
    for (int i = 0; i < kRecords; ++i) {
      ASSERT_EQ(texts(*records[i], "TRACKTITLE")[0], "R" + std::to_string(i + 1));
      ASSERT_FALSE(records[i]->metadataNeedsSaving());
    }
  }

  // Cancelled at the second report (0.2 s in, if the import lasts that
  // long): whatever was imported is a leading run.
  AudioMetadataImporter importer;
  test::RecordingDelegate delegate;
  delegate.cancelAt = 2;
  delegate.cancel = [&] { importer.cancel(); };
  importer.setDelegate(&delegate);
  const std::size_t imported =
      importer.importMetadataInUndoGroup(many(kRecords), records, true, manager.get());
  for (int i = 0; i < kRecords; ++i) {
    const bool done = texts(*records[i], "TRACKTITLE")[0][0] == 'D';
    ASSERT_EQ(done, static_cast<std::size_t>(i) < imported) << i;
  }
}

TEST(MetadataImportTest, ArtworkAndValuesOfEveryKindAreImported) {
  auto front = test::makeArtwork(40, 3, std::string("Front"));
  auto back = test::makeArtwork(50, 4, std::nullopt);
  auto record = makeRecord({{"ALBUM", {"Old"}}});
  PlistDict one{{"ARTWORK", front->archivedData()},
                {"TRACKNUMBER", std::int64_t{7}},
                {"BPM", 120.5},
                {"COMPILATION", true},
                {"MCDI", Data::fromString("\x01\x02")},
                {"GENRE", PlistArray{"Rock", std::int64_t{5}, PlistDict{}}},
                {"DATE", PlistDate{}},
                {"NESTED", PlistDict{{"x", "y"}}}};
  PlistDict two{{"ARTWORK", PlistArray{front->archivedData(), "junk", back->archivedData()}}};
  PlistDict bad{{"ARTWORK", Data::fromString("not an archive")}, {"ALBUM", "Kept"}};

  AudioMetadataImporter importer;
  importer.importMetadataFromDictionaries({one, two, bad}, {record}, false);
  EXPECT_EQ(texts(*record, "TRACKNUMBER"), Strings{"7"});
  EXPECT_EQ(texts(*record, "BPM"), Strings{"120.5"});
  EXPECT_EQ(texts(*record, "COMPILATION"), Strings{"1"});
  EXPECT_EQ(texts(*record, "GENRE"), (Strings{"Rock", "5"}));
  EXPECT_TRUE(record->metadataObjectValueForKey("MCDI").isData());
  EXPECT_TRUE(texts(*record, "ALBUM").empty());
  EXPECT_TRUE(texts(*record, "DATE").empty());
  EXPECT_TRUE(texts(*record, "NESTED").empty());
  ASSERT_EQ(record->artworks().size(), 1U);
  EXPECT_EQ(record->artworks()[0]->md5(), front->md5());
  EXPECT_EQ(record->artworks()[0]->comments(), std::optional<std::string>("Front"));

  auto many = makeRecord({});
  auto broken = makeRecord({});
  importer.importMetadataFromDictionaries({two, bad}, {many, broken}, true);
  ASSERT_EQ(many->artworks().size(), 2U);
  EXPECT_EQ(many->artworks()[1]->artworkType(), 4U);
  EXPECT_FALSE(broken->metadataHasArtwork());
  EXPECT_EQ(texts(*broken, "ALBUM"), Strings{"Kept"});
}

TEST(MetadataImportTest, ProgressCancelAndSaveAfterChange) {
  auto manager = std::make_shared<ZRUndoManager>();
  auto records = fiveRecords(manager);
  AudioMetadataImporter importer;
  test::RecordingDelegate delegate;
  delegate.cancelAt = 1;
  delegate.cancel = [&] { importer.cancel(); };
  importer.setDelegate(&delegate);
  int saves = 0;
  // The first report comes before the first record; a cancel there imports nothing.
  EXPECT_EQ(importer.importMetadataInUndoGroup(dictionaries(3), records, true, manager.get(),
                                               [&] { ++saves; }),
            0U);
  ASSERT_EQ(delegate.reports.size(), 1U);
  EXPECT_EQ(delegate.reports[0].percent, 0.0);
  EXPECT_EQ(delegate.reports[0].total, 5U);
  EXPECT_EQ(titles(records), (Strings{"R1", "R2", "R3", "R4", "R5"}));
  EXPECT_EQ(saves, 0);  // the setting is off by default

  // The flag is cleared when an import starts.
  delegate.cancelAt = 0;
  UserDefaults::standard().setVolatileValue(PlistValue(true), "saveAfterChange");
  EXPECT_EQ(importer.importMetadataInUndoGroup(dictionaries(3), records, false, manager.get(),
                                               [&] { ++saves; }),
            3U);
  UserDefaults::standard().setVolatileValue(PlistValue(), "saveAfterChange");
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(titles(records), (Strings{"D1", "D2", "D3", "R4", "R5"}));
}

TEST(MetadataImportTest, CountAlertOfEveryCase) {
  struct Case {
    std::size_t d;
    std::size_t r;
    std::string heading;
    std::string text;
    std::vector<std::string> buttons;
  };
  const std::vector<Case> cases = {
      {3, 0, "Nothing selected", "Importing 3 metadatas, but no files are selected.", {"Cancel"}},
      {1,
       4,
       "Counts Do Not Match",
       "Importing 1 metadata, but there are 4 files selected.  What would you like to do?",
       {"Cancel", "Import To All Selected Files", "Import To First Selected File"}},
      {3,
       5,
       "Counts Do Not Match",
       "Importing 3 metadatas, but there are 5 files selected.  What would you like to do?",
       {"Cancel", "Import To All Selected Files", "Import To First 3 Selected Files"}},
      {4,
       1,
       "Counts Do Not Match",
       "Importing 4 metadatas, but only 1 file is selected.  What would you like to do?",
       {"Cancel", "Import Only 1 Metadata"}},
      {5,
       2,
       "Counts Do Not Match",
       "Importing 5 metadatas, but only 2 files are selected.  What would you like to do?",
       {"Cancel", "Import Only First 2 Metadatas"}},
  };
  for (const Case& c : cases) {
    auto alert = ImportCountAlert::alertForCounts(c.d, c.r);
    ASSERT_TRUE(alert) << c.d << " " << c.r;
    EXPECT_EQ(alert->heading(), c.heading);
    EXPECT_EQ(alert->text(), c.text);
    EXPECT_EQ(alert->buttons(), c.buttons);
    EXPECT_EQ(alert->applyToAllForReturnCode(1000), std::nullopt);
    EXPECT_EQ(alert->applyToAllForReturnCode(1001),
              c.buttons.size() > 1 ? std::optional<bool>(true) : std::nullopt);
    EXPECT_EQ(alert->applyToAllForReturnCode(1002),
              c.buttons.size() > 2 ? std::optional<bool>(false) : std::nullopt);
  }
  EXPECT_FALSE(ImportCountAlert::alertForCounts(4, 4));
  EXPECT_FALSE(ImportCountAlert::alertForCounts(0, 4));

  // Equal counts import at once with the flag on; otherwise the host answers.
  test::ScriptedHost other(1002);
  EXPECT_EQ(ImportCountAlert::applyToAllForCounts(2, 2, other), std::optional<bool>(true));
  EXPECT_EQ(other.alerts, 0);
  EXPECT_EQ(ImportCountAlert::applyToAllForCounts(0, 2, other), std::nullopt);
  EXPECT_EQ(ImportCountAlert::applyToAllForCounts(2, 6, other), std::optional<bool>(false));
  EXPECT_EQ(other.alerts, 1);
  EXPECT_EQ(other.lastButtons.back(), "Import To First 2 Selected Files");
  test::ScriptedHost cancel(1000);
  EXPECT_EQ(ImportCountAlert::applyToAllForCounts(2, 6, cancel), std::nullopt);
}

std::string repeat(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

// Files that must yield nothing, and so change nothing.
TEST(MetadataImportTest, HostileFilesYieldNothingAndChangeNothing) {
  test::TemporaryDirectory dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"stray-quote.csv", "TRACKTITLE,ALBUM\nOne,Al\"bum\nTwo,B\n"},
      {"text-after-quote.csv", "TRACKTITLE,ALBUM\n\"One\"x,B\n"},
      {"unterminated.csv", "TRACKTITLE,ALBUM\n\"One,B\n"},
      {"nul.csv", "TRACKTITLE,ALBUM\0\nOne,B\n"s},
      {"utf16-no-bom.csv", "T\0I\0T\0L\0E\0\n\0O\0n\0e\0\n\0"s},
      {"binary.csv", "\xFF\xD8\xFF\xE0\0\x10JFIF\0"s},
      {"empty.csv", ""},
      {"not-a-plist.xml", "<html><body>TRACKTITLE</body></html>"},
      {"truncated.xml", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><dict><key>A"},
      {"dict-root.xml",
       "<plist version=\"1.0\"><dict><key>TRACKTITLE</key><string>x</string></dict></plist>"},
      {"no-dicts.xml",
       "<plist version=\"1.0\"><array><string>x</string><integer>1</integer><array/></array>"
       "</plist>"},
      {"empty-array.xml", "<plist version=\"1.0\"><array/></plist>"},
      {"deep.xml",
       "<plist version=\"1.0\">" + repeat("<array>", 3000) + repeat("</array>", 3000) + "</plist>"},
  };
  auto manager = std::make_shared<ZRUndoManager>();
  for (const auto& [name, bytes] : files) {
    test::writeFile(dir / name, bytes);
    auto found = AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / name).string());
    EXPECT_FALSE(found) << name << " gave " << (found ? found->size() : 0) << " dictionaries";
  }

  // An unterminated quote at the end keeps the rows before it.
  auto partial = csv("TRACKTITLE,ALBUM\nOne,A\n\"Two,B\n");
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->size(), 1U);
  // Entries of the wrong kinds in a dictionary are skipped, without harm.
  test::writeFile(dir / "kinds.xml",
                  "<plist version=\"1.0\"><array><dict><key>TRACKTITLE</key><dict/>"
                  "<key>ARTWORK</key><string>x</string><key>ALBUM</key><date>2001-01-01T00:00:00Z"
                  "</date><key>GENRE</key><array><dict/><true/></array></dict></array></plist>");
  auto kinds =
      AudioMetadataImporter::arrayOfMetadataDictionariesFromURL((dir / "kinds.xml").string());
  ASSERT_TRUE(kinds);
  auto record = makeRecord({{"TRACKTITLE", {"Old"}}});
  AudioMetadataImporter().importMetadataFromDictionaries(*kinds, {record}, true);
  EXPECT_EQ(record->allMetadataKeys(), Strings{"GENRE"});
  EXPECT_EQ(texts(*record, "GENRE"), Strings{"1"});
}

}  // namespace
}  // namespace quorvel
