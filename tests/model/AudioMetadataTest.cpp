#include "model/AudioMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "platform/ZRUndoManager.h"
#include "support/MD5.h"
#include "support/Text.h"

namespace quorvel {
namespace {

AlbumArtworkPtr artwork(const std::string& bytes, std::uint32_t type = 3,
                        std::optional<std::string> comments = std::nullopt) {
  auto result = std::make_shared<AlbumArtwork>();
  result->setData(Data::fromString(bytes));
  result->setArtworkType(type);
  result->setComments(std::move(comments));
  return result;
}

// Everything a change can touch and undo must restore.
struct Snapshot {
  std::map<std::string, ObjectList> tags;
  std::vector<const AlbumArtwork*> artworks;
  std::vector<std::pair<std::uint32_t, std::optional<std::string>>> artworkFields;
  std::string digest;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const AudioMetadata& record) {
  Snapshot s;
  for (const std::string& key : record.allMetadataKeys()) {
    s.tags[key] = *record.metadataObjectValuesForKey(key);
  }
  for (const AlbumArtworkPtr& a : record.artworks()) {
    s.artworks.push_back(a.get());
    s.artworkFields.emplace_back(a->artworkType(), a->comments());
  }
  s.digest = record.currentMetadataMD5();
  return s;
}

// The same snapshot with the values of each key and the artworks sorted:
// undoing a single removal appends rather than restoring the place.
Snapshot unordered(Snapshot s) {
  auto byText = [](const Object& a, const Object& b) {
    return a.stringValue().value_or("") < b.stringValue().value_or("");
  };
  for (auto& [key, values] : s.tags) std::sort(values.begin(), values.end(), byText);
  std::sort(s.artworks.begin(), s.artworks.end());
  std::sort(s.artworkFields.begin(), s.artworkFields.end());
  s.digest.clear();
  return s;
}

class AudioMetadataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousLocale_ = defaultLocaleName();
    setDefaultLocaleName("en_US");
    undo = std::make_shared<ZRUndoManager>();
    undo->setGroupsByEvent(false);
  }
  void TearDown() override { setDefaultLocaleName(previousLocale_); }

  // A record as the reader leaves it: ALBUM=Blue, GENRE=[Jazz, Soul],
  // TRACKNUMBER=3, three artworks, both digests taken, then the manager attached.
  std::shared_ptr<AudioMetadata> makeRecord() {
    auto record = std::make_shared<AudioMetadata>();
    record->setMetadataValue(std::make_shared<MetadataValue>("ALBUM", "Blue", 4), "ALBUM");
    record->setMetadataValue(
        std::make_shared<MetadataValue>("GENRE", ObjectList{"Jazz", "Soul"}, 4), "GENRE");
    record->setMetadataValue(std::make_shared<MetadataValue>("TRACKNUMBER", Object(3), 4),
                             "TRACKNUMBER");
    a1 = artwork("one", 3, "Front");
    a2 = artwork("two", 4);
    a3 = artwork("three", 0, "Other");
    record->addArtworks({a1, a2, a3});
    record->takeOriginalDigest();
    record->setUndoManager(undo);
    return record;
  }

  void inGroup(const std::function<void()>& body) {
    undo->beginUndoGrouping();
    body();
    undo->endUndoGrouping();
  }

  std::shared_ptr<ZRUndoManager> undo;
  AlbumArtworkPtr a1, a2, a3;

 private:
  std::string previousLocale_;
};

TEST_F(AudioMetadataTest, DigestOfTheWorkedExample) {
  AudioMetadata record;
  record.setMetadataObjectValue(Object("Blue"), "ALBUM");
  record.setMetadataObjectValues({"Jazz", "Soul"}, "GENRE");
  // md5 of "ALBUM1BlueGENRE1JazzGENRE1Soul", computed with md5sum.
  EXPECT_EQ(record.calculateMD5(), "1ce95612e74e39f278bd425383271dea");
  EXPECT_EQ(record.currentMetadataMD5(), "1ce95612e74e39f278bd425383271dea");

  // Adding the same keys in another order gives the same digest.
  AudioMetadata other;
  other.setMetadataObjectValues({"Jazz", "Soul"}, "GENRE");
  other.setMetadataObjectValue(Object("Blue"), "ALBUM");
  EXPECT_EQ(other.currentMetadataMD5(), record.currentMetadataMD5());

  // Reordering the values of one key changes it ("...GENRE1SoulGENRE1Jazz").
  record.setMetadataObjectValues({"Soul", "Jazz"}, "GENRE");
  EXPECT_EQ(record.currentMetadataMD5(), "f7c20cbf16e097b49a50770b5f3ff793");

  // Preview values and source properties never enter it.
  record.setPreviewObjectValue(Object("Red"), "ALBUM");
  record.setSourceLocation("/music/a.flac");
  record.setSourceBitrate(Number(320000));
  EXPECT_EQ(record.calculateMD5(), "f7c20cbf16e097b49a50770b5f3ff793");
}

TEST_F(AudioMetadataTest, DigestOfDataNumbersArtworksAndCaseInsensitiveKeyOrder) {
  AudioMetadata data;
  data.setMetadataObjectValue(Object(Data::fromString("AB")), "ALBUM");
  // "ALBUM1" + md5("AB").
  EXPECT_EQ(data.currentMetadataMD5(), "3b3efb6f953f9977eb635638f551b420");

  AudioMetadata record;
  record.setMetadataObjectValue(Object("last"), "zz");
  record.setMetadataObjectValue(Object(1959), "YEAR");
  record.setMetadataObjectValue(Object(3), "TRACKNUMBER");
  record.setMetadataObjectValue(Object("Miles"), "ALBUMARTIST");
  record.setMetadataObjectValue(Object("lower"), "album");
  record.addArtwork(artwork("img", 3, "Front"));
  record.addArtwork(artwork("img2", 4));
  // Keys sorted ignoring case (album < ALBUMARTIST < TRACKNUMBER < YEAR < zz),
  // then "1" md5(img) "2" "3" "3" "Front" "4" md5(img2) "5" "4" "6"; md5sum of:
  // album1lowerALBUMARTIST1MilesTRACKNUMBER13YEAR11959zz1last
  // 1b798abe6e1b1318ee36b0dcb3fb9e4d3233Front4fe5067706fde605fcc635835a1e52fc8546
  EXPECT_EQ(record.currentMetadataMD5(), "7d26c37f2b1c98a843618b04e1886e49");

  // Records with as many keys but other ones, in turn: each is ordered by
  // its own keys, not by the order found for the record before it.
  AudioMetadata upper;
  upper.setMetadataObjectValue(Object("1"), "B");
  upper.setMetadataObjectValue(Object("2"), "C");
  AudioMetadata mixed;
  mixed.setMetadataObjectValue(Object("1"), "Z");
  mixed.setMetadataObjectValue(Object("2"), "a");
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(upper.calculateMD5(), md5Hex("B11C12"));
    EXPECT_EQ(mixed.calculateMD5(), md5Hex("a12Z11"));
  }
}

TEST_F(AudioMetadataTest, NeedsSavingComparesDigests) {
  auto record = std::make_shared<AudioMetadata>();
  EXPECT_TRUE(record->metadataNeedsSaving());  // never digested
  record->setMetadataObjectValue(Object("Blue"), "ALBUM");
  EXPECT_TRUE(record->metadataNeedsSaving());
  record->takeOriginalDigest();
  EXPECT_FALSE(record->metadataNeedsSaving());
  EXPECT_EQ(record->originalMetadataMD5(), record->currentMetadataMD5());

  record->setMetadataObjectValue(Object("Green"), "ALBUM");
  EXPECT_TRUE(record->metadataNeedsSaving());
  record->setMetadataObjectValue(Object("Blue"), "ALBUM");
  EXPECT_FALSE(record->metadataNeedsSaving());
}

TEST_F(AudioMetadataTest, DeferredDigestRecomputesOnceAtTheEnd) {
  AudioMetadata record;
  record.setMetadataObjectValue(Object("Blue"), "ALBUM");
  const std::string before = record.currentMetadataMD5();
  {
    AudioMetadata::DeferredDigest outer(record);
    record.setMetadataObjectValues({"Jazz", "Soul"}, "GENRE");
    {
      AudioMetadata::DeferredDigest inner(record);
      record.addArtwork(artwork("img"));
    }
    EXPECT_EQ(record.currentMetadataMD5(), before);  // still deferred by the outer one
  }
  EXPECT_NE(record.currentMetadataMD5(), before);
  EXPECT_EQ(record.currentMetadataMD5(), record.calculateMD5());
  {
    AudioMetadata::DeferredDigest reading(record);
    record.setMetadataObjectValue(Object("Green"), "ALBUM");
    record.takeOriginalDigest();
  }
  EXPECT_FALSE(record.metadataNeedsSaving());
}

TEST_F(AudioMetadataTest, ObjectValueOperations) {
  AudioMetadata record;
  record.setMetadataObjectValue(Object("Rock"), "GENRE");
  record.addMetadataObjectValue(Object(12), "GENRE");
  EXPECT_EQ(*record.metadataObjectValuesForKey("GENRE"), (ObjectList{"Rock", "12"}));
  EXPECT_EQ(record.metadataValueForKey("GENRE")->type(), MetadataValue::TypeUser);

  record.setMetadataObjectValue(Object(5), "GENRE");
  EXPECT_EQ(record.metadataObjectValueForKey("GENRE"), Object(5));
  EXPECT_EQ(record.metadataValueForKey("GENRE")->dataType(), MetadataValue::DataTypeNumber);
  record.addMetadataObjectValue(Object("Jazz"), "GENRE");
  EXPECT_EQ(record.metadataObjectValuesForKey("GENRE")->size(), 1u);

  // Empty text, empty data and an empty list remove the key.
  record.setMetadataObjectValue(Object(""), "GENRE");
  EXPECT_FALSE(record.metadataValueForKey("GENRE"));
  record.setMetadataObjectValue(Object("x"), "A");
  record.setMetadataObjectValue(Object(Data()), "A");
  EXPECT_TRUE(record.allMetadataKeys().empty());

  // setMetadataObjectValues refills the existing value and keeps its type.
  auto id3 = std::make_shared<MetadataValue>("GENRE", "Pop", MetadataValue::TypeID3v2);
  record.setMetadataValue(id3, "GENRE");
  record.setMetadataObjectValues({"Jazz", "Soul"}, "GENRE");
  EXPECT_EQ(record.metadataValueForKey("GENRE"), id3);
  EXPECT_EQ(id3->type(), MetadataValue::TypeID3v2);
  EXPECT_EQ(id3->allValues(), (ObjectList{"Jazz", "Soul"}));

  EXPECT_TRUE(record.metadataObjectValueForkey("GENRE", 2).isNone());

  // Index bounds: removing at count does nothing; the last value takes the key.
  record.removeMetadataObjectValueForKey("GENRE", 2);
  EXPECT_EQ(id3->allValues().size(), 2u);
  record.insertMetadataObjectValue(Object("Funk"), "GENRE", 3);
  EXPECT_EQ(id3->allValues().size(), 2u);
  record.insertMetadataObjectValue(Object("Funk"), "MISSING", 0);
  EXPECT_FALSE(record.metadataValueForKey("MISSING"));
  record.removeMetadataObjectValueForKey("GENRE", 0);
  record.removeMetadataObjectValueForKey("GENRE", 0);
  EXPECT_FALSE(record.metadataValueForKey("GENRE"));
}

TEST_F(AudioMetadataTest, ValueForKeyComparesRecords) {
  AudioMetadata a;
  AudioMetadata b;
  EXPECT_TRUE(a.valueForKey("ALBUM", b));  // none in both
  a.setMetadataObjectValue(Object("Blue"), "ALBUM");
  EXPECT_FALSE(a.valueForKey("ALBUM", b));
  b.setMetadataValue(std::make_shared<MetadataValue>("ALBUM", "Blue", MetadataValue::TypeMP4),
                     "ALBUM");
  EXPECT_TRUE(a.valueForKey("ALBUM", b));
  b.setMetadataValue(a.metadataValueForKey("ALBUM"), "ALBUM");
  EXPECT_TRUE(a.valueForKey("ALBUM", b));
}

// Each operation, made in one group, then undone and redone.
TEST_F(AudioMetadataTest, EveryOperationUndoesAndRedoes) {
  auto n1 = artwork("new one");
  auto n2 = artwork("new two");
  struct Case {
    const char* name;
    std::function<void(AudioMetadata&)> change;
    // Undo of a single removal appends the value or artwork at the end.
    bool orderKept = true;
  };
  const std::vector<Case> cases = {
      {"setMetadataValue new",
       [](auto& r) {
         r.setMetadataValue(std::make_shared<MetadataValue>("ALBUM", "Red", 4), "ALBUM");
       }},
      {"setMetadataValue none", [](auto& r) { r.setMetadataValue(nullptr, "GENRE"); }},
      {"removeMetadataValueForKey", [](auto& r) { r.removeMetadataValueForKey("GENRE"); }},
      {"setMetadataObjectValue existing",
       [](auto& r) { r.setMetadataObjectValue(Object("Red"), "GENRE"); }},
      {"setMetadataObjectValue new",
       [](auto& r) { r.setMetadataObjectValue(Object("Hi"), "COMMENT"); }},
      {"setMetadataObjectValue empty",
       [](auto& r) { r.setMetadataObjectValue(Object(""), "ALBUM"); }},
      {"setMetadataObjectValue number over text",
       [](auto& r) { r.setMetadataObjectValue(Object(7), "GENRE"); }},
      {"setMetadataObjectValues",
       [](auto& r) {
         r.setMetadataObjectValues({"A", "B", "C"}, "GENRE");
       }},
      {"setMetadataObjectValues empty", [](auto& r) { r.setMetadataObjectValues({}, "GENRE"); }},
      {"addMetadataObjectValue",
       [](auto& r) { r.addMetadataObjectValue(Object("Funk"), "GENRE"); }},
      {"addMetadataObjectValue new key",
       [](auto& r) { r.addMetadataObjectValue(Object("x"), "MOOD"); }},
      {"removeMetadataObjectValue",
       [](auto& r) { r.removeMetadataObjectValue(Object("Jazz"), "GENRE"); }, false},
      {"removeMetadataObjectValue last",
       [](auto& r) { r.removeMetadataObjectValue(Object("Blue"), "ALBUM"); }},
      {"insertMetadataObjectValue middle",
       [](auto& r) { r.insertMetadataObjectValue(Object("Funk"), "GENRE", 1); }},
      {"insertMetadataObjectValue end",
       [](auto& r) { r.insertMetadataObjectValue(Object("Funk"), "GENRE", 2); }},
      {"removeMetadataObjectValueForKey first",
       [](auto& r) { r.removeMetadataObjectValueForKey("GENRE", 0); }},
      {"removeMetadataObjectValueForKey only",
       [](auto& r) { r.removeMetadataObjectValueForKey("TRACKNUMBER", 0); }},
      {"replaceObjectAtMetadataIndex",
       [](auto& r) { r.replaceObjectAtMetadataIndex(1, Object("Funk"), "GENRE"); }},
      {"replaceObjectAtMetadataIndex text into number",
       [](auto& r) { r.replaceObjectAtMetadataIndex(0, Object("12"), "TRACKNUMBER"); }},
      {"replaceObjectAtMetadataIndex none",
       [](auto& r) { r.replaceObjectAtMetadataIndex(0, Object(), "GENRE"); }},
      {"replaceObjectAtMetadataIndex past end",
       [](auto& r) { r.replaceObjectAtMetadataIndex(9, Object("Funk"), "GENRE"); }},
      {"replaceObjectAtMetadataIndex missing key",
       [](auto& r) { r.replaceObjectAtMetadataIndex(0, Object("x"), "MOOD"); }},
      {"clearAll", [](auto& r) { r.clearAll(); }, false},
      {"setArtwork new", [n1](auto& r) { r.setArtwork(n1); }},
      {"setArtwork held", [this](auto& r) { r.setArtwork(a2); }},
      {"addArtwork", [n1](auto& r) { r.addArtwork(n1); }},
      {"addArtworks",
       [n1, n2](auto& r) {
         r.addArtworks({n1, n2});
       }},
      {"removeArtwork", [this](auto& r) { r.removeArtwork(a1); }, false},
      {"removeArtworks",
       [this](auto& r) {
         r.removeArtworks({a3, a1});
       },
       false},
      {"removeAllArtwork", [](auto& r) { r.removeAllArtwork(); }},
      {"replaceArtwork", [this, n1](auto& r) { r.replaceArtwork(a2, n1); }},
      {"setAlbumArtworkType", [this](auto& r) { r.setAlbumArtworkType(6, a2); }},
      {"setAlbumArtworkComments", [this](auto& r) { r.setAlbumArtworkComments("Back", a1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    undo->removeAllActions();
    undo->setGroupsByEvent(false);
    auto record = makeRecord();
    Snapshot before = snapshot(*record);
    inGroup([&] { c.change(*record); });
    Snapshot after = snapshot(*record);
    ASSERT_NE(after, before);
    EXPECT_EQ(after.digest, record->calculateMD5());
    EXPECT_TRUE(record->metadataNeedsSaving());
    ASSERT_TRUE(undo->canUndo());

    undo->undo();
    Snapshot undone = snapshot(*record);
    if (c.orderKept) {
      EXPECT_EQ(undone, before);
      EXPECT_FALSE(record->metadataNeedsSaving());
    } else {
      EXPECT_EQ(unordered(undone), unordered(before));
    }
    EXPECT_EQ(undone.digest, record->calculateMD5());

    ASSERT_TRUE(undo->canRedo());
    undo->redo();
    EXPECT_EQ(snapshot(*record), after);
  }
}

TEST_F(AudioMetadataTest, UndoRestoresThePreviousObject) {
  auto record = makeRecord();
  auto original = record->metadataValueForKey("ALBUM");
  inGroup([&] {
    record->setMetadataValue(std::make_shared<MetadataValue>("ALBUM", "Red", 4), "ALBUM");
  });
  undo->undo();
  EXPECT_EQ(record->metadataValueForKey("ALBUM"), original);
  // Storing the very object already stored registers nothing.
  inGroup([&] { record->setMetadataValue(original, "ALBUM"); });
  EXPECT_FALSE(undo->canUndo());
}

TEST_F(AudioMetadataTest, ChangesThatChangeNothingRegisterNothing) {
  auto record = makeRecord();
  const std::string digest = record->currentMetadataMD5();
  inGroup([&] {
    record->removeMetadataObjectValue(Object("Funk"), "GENRE");
    record->removeMetadataObjectValue(Object("Jazz"), "MISSING");
    record->removeMetadataObjectValue(Object(), "GENRE");
    record->removeMetadataObjectValueForKey("GENRE", 2);
    record->insertMetadataObjectValue(Object("x"), "GENRE", 3);
    record->removeMetadataValueForKey("MISSING");
    record->setMetadataObjectValue(Object(), "MISSING");
    record->addMetadataObjectValue(Object(), "GENRE");
    record->setAlbumArtworkType(5, artwork("stranger"));
    record->setAlbumArtworkComments("x", artwork("stranger"));
    record->removeArtwork(artwork("stranger"));
    record->removeArtwork(nullptr);
    record->addArtwork(nullptr);
    record->setArtwork(nullptr);
    record->replaceArtwork(artwork("stranger"), a1);
  });
  EXPECT_FALSE(undo->canUndo());
  EXPECT_EQ(record->currentMetadataMD5(), digest);
  EXPECT_EQ(record->artworks(), (std::vector<AlbumArtworkPtr>{a1, a2, a3}));
}

TEST_F(AudioMetadataTest, ArtworkOperations) {
  auto record = makeRecord();
  // Removing the first of three and undoing puts it back as the third.
  inGroup([&] { record->removeArtwork(a1); });
  EXPECT_EQ(record->artworks(), (std::vector<AlbumArtworkPtr>{a2, a3}));
  undo->undo();
  EXPECT_EQ(record->artworks(), (std::vector<AlbumArtworkPtr>{a2, a3, a1}));

  // Every occurrence goes.
  inGroup([&] { record->addArtwork(a2); });
  inGroup([&] { record->removeArtwork(a2); });
  EXPECT_EQ(record->artworks(), (std::vector<AlbumArtworkPtr>{a3, a1}));

  // Type and comments enter the digest.
  record->setUndoManager(nullptr);
  const std::string digest = record->currentMetadataMD5();
  record->setAlbumArtworkType(4, a3);
  EXPECT_NE(record->currentMetadataMD5(), digest);
  record->setAlbumArtworkType(0, a3);
  EXPECT_EQ(record->currentMetadataMD5(), digest);
  record->setAlbumArtworkComments("Inlay", a3);
  EXPECT_NE(record->currentMetadataMD5(), digest);
}

TEST_F(AudioMetadataTest, UndoOfADestroyedRecordDoesNothing) {
  auto record = makeRecord();
  inGroup([&] { record->setMetadataObjectValue(Object("Red"), "ALBUM"); });
  std::weak_ptr<AudioMetadata> weak = record;
  record.reset();
  EXPECT_TRUE(weak.expired());  // the manager does not keep records alive
  EXPECT_NO_THROW(undo->undo());

  // A record not owned by a shared_ptr registers nothing at all.
  AudioMetadata local;
  local.setUndoManager(undo);
  undo->removeAllActions();
  undo->setGroupsByEvent(false);
  inGroup([&] { local.setMetadataObjectValue(Object("x"), "ALBUM"); });
  EXPECT_FALSE(undo->canUndo());
}

TEST_F(AudioMetadataTest, PreviewValues) {
  auto record = makeRecord();
  const std::string digest = record->currentMetadataMD5();
  record->setPreviewObjectValues({}, "ALBUM");
  ASSERT_TRUE(record->previewValueForKey("ALBUM"));
  EXPECT_TRUE(record->previewObjectValuesForKey("ALBUM")->empty());
  EXPECT_EQ(record->previewValueForKey("ALBUM")->type(), MetadataValue::TypePreview);
  record->setPreviewObjectValue(Object(""), "ALBUM");  // empty text removes it
  EXPECT_FALSE(record->previewValueForKey("ALBUM"));

  record->setPreviewObjectValue(Object("a"), "X");
  record->addPreviewObjectValue(Object("c"), "X");
  record->insertPreviewObjectValue(Object("b"), "X", 1);
  record->insertPreviewObjectValue(Object("z"), "Y", 0);  // only into an existing value
  EXPECT_EQ(*record->previewObjectValuesForKey("X"), (ObjectList{"a", "b", "c"}));
  EXPECT_EQ(record->allPreviewKeys(), std::vector<std::string>{"X"});
  record->setPreviewObjectValue(ObjectList{"p", "q"}, "X");
  record->removePreviewObjectValueForKey("X", 5);
  record->removePreviewObjectValueForKey("X", 0);
  record->removePreviewObjectValueForKey("X", 0);
  EXPECT_FALSE(record->previewValueForKey("X"));

  EXPECT_FALSE(undo->canUndo());
  EXPECT_EQ(record->currentMetadataMD5(), digest);
  EXPECT_FALSE(record->metadataValueForKey("X"));
}

TEST_F(AudioMetadataTest, ImportReplacesEverythingInOneUndoableStep) {
  auto record = makeRecord();
  auto source = artwork("imported", 4, "Back");
  PlistDict dictionary;
  dictionary["ARTWORK"] = PlistArray{source->archivedData(), PlistValue("not an archive")};
  dictionary["ALBUM"] = "Giant Steps";
  dictionary["TRACKNUMBER"] = std::int64_t{5};
  dictionary["BPM"] = 92.5;
  dictionary["COMPILATION"] = true;
  dictionary["GENRE"] = PlistArray{"Jazz", std::int64_t{7}, PlistDict{}};
  dictionary["COMMENT"] = "";
  dictionary["ODD"] = PlistDict{{"a", "b"}};
  inGroup([&] { record->importMetadataFromDictionary(dictionary); });

  EXPECT_EQ(record->allMetadataKeys(),
            (std::vector<std::string>{"ALBUM", "BPM", "COMPILATION", "GENRE", "TRACKNUMBER"}));
  EXPECT_EQ(record->metadataObjectValueForKey("TRACKNUMBER"), Object(5));
  EXPECT_EQ(record->metadataObjectValueForKey("BPM"), Object(92.5));
  EXPECT_EQ(record->metadataObjectValueForKey("COMPILATION"), Object(1));
  EXPECT_EQ(*record->metadataObjectValuesForKey("GENRE"), (ObjectList{"Jazz", "7"}));
  ASSERT_EQ(record->artworks().size(), 1u);
  EXPECT_EQ(record->artworks()[0]->md5(), source->md5());
  EXPECT_EQ(record->artworks()[0]->artworkType(), 4u);

  // One archive on its own is accepted too.
  inGroup([&] {
    record->importMetadataFromDictionary(PlistDict{{"ARTWORK", source->archivedData()}});
  });
  EXPECT_EQ(record->artworks().size(), 1u);
  EXPECT_TRUE(record->allMetadataKeys().empty());
}

TEST_F(AudioMetadataTest, ImportUndoAndRedoRestoreExactly) {
  auto record = makeRecord();
  const Snapshot before = snapshot(*record);
  const auto genre = record->metadataValueForKey("GENRE");
  auto cover = artwork("imported", 6, "Band");
  PlistDict dictionary{{"ALBUM", "Kind of Blue"},
                       {"GENRE", PlistArray{"Modal", "Cool", "Jazz"}},
                       {"ARTWORK", PlistArray{cover->archivedData(), cover->archivedData()}}};
  inGroup([&] { record->importMetadataFromDictionary(PlistDict(dictionary)); });
  const Snapshot imported = snapshot(*record);
  EXPECT_EQ(imported.tags.at("GENRE"), (ObjectList{"Modal", "Cool", "Jazz"}));
  EXPECT_EQ(imported.artworks.size(), 2u);
  EXPECT_EQ(record->currentMetadataMD5(), record->calculateMD5());
  EXPECT_EQ(undo->numberOfUndoActions(), 1u);

  // Undo brings back the very objects, in their order, with their origin.
  undo->undo();
  EXPECT_EQ(snapshot(*record), before);
  EXPECT_EQ(record->metadataValueForKey("GENRE"), genre);
  EXPECT_EQ(genre->type(), 4);
  EXPECT_FALSE(record->metadataNeedsSaving());
  undo->redo();
  EXPECT_EQ(snapshot(*record), imported);
  EXPECT_TRUE(record->metadataNeedsSaving());

  // An edit made after the import undoes first; the import's undo then sees
  // the values it left, and redo replays both in order.
  inGroup([&] { record->setMetadataObjectValue(Object("Blue in Green"), "ALBUM"); });
  undo->undo();
  EXPECT_EQ(snapshot(*record), imported);
  undo->undo();
  EXPECT_EQ(snapshot(*record), before);
  undo->redo();
  undo->redo();
  EXPECT_EQ(record->metadataObjectValueForKey("ALBUM"), Object("Blue in Green"));
  EXPECT_EQ(snapshot(*record).artworks, imported.artworks);
  undo->undo();
  undo->undo();
  EXPECT_EQ(snapshot(*record), before);

  // The same record twice in one group: one undo returns to the start.
  inGroup([&] {
    record->importMetadataFromDictionary(dictionary);
    record->importMetadataFromDictionary(PlistDict{{"TRACKTITLE", "So What"}});
  });
  EXPECT_EQ(record->allMetadataKeys(), std::vector<std::string>{"TRACKTITLE"});
  EXPECT_FALSE(record->metadataHasArtwork());
  undo->undo();
  EXPECT_EQ(snapshot(*record), before);

  // Nothing to clear and nothing to set registers nothing; without a manager
  // an import still replaces and keeps the digest current.
  auto empty = std::make_shared<AudioMetadata>();
  empty->setUndoManager(undo);
  undo->removeAllActions();
  inGroup([&] { empty->importMetadataFromDictionary(PlistDict{{"ALBUM", ""}}); });
  EXPECT_FALSE(undo->canUndo());
  record->setUndoManager(nullptr);
  record->importMetadataFromDictionary(PlistDict{{"YEAR", std::int64_t{1959}}});
  EXPECT_EQ(record->allMetadataKeys(), std::vector<std::string>{"YEAR"});
  EXPECT_EQ(record->currentMetadataMD5(), record->calculateMD5());
  EXPECT_FALSE(undo->canUndo());
}

TEST_F(AudioMetadataTest, SourceProperties) {
  AudioMetadata record;
  EXPECT_TRUE(record.sourceValueForKey("_FILENAME").isNone());
  EXPECT_EQ(record.previewItemURL(), "");
  record.setSourceLocation("/music/Miles Davis/So What.flac");
  record.setSourceDateModified(std::chrono::system_clock::time_point(std::chrono::seconds(86400)));
  EXPECT_EQ(record.sourceValueForKey("_FILENAME"), Object("So What.flac"));
  EXPECT_EQ(record.sourceValueForKey("_FILEEXTENSION"), Object("flac"));
  EXPECT_EQ(record.sourceValueForKey("_FILEDATEMODIFIED"), Object(86400.0));
  EXPECT_TRUE(record.sourceValueForKey("_SAMPLERATE").isNone());
  EXPECT_TRUE(record.sourceValueForKey("ALBUM").isNone());
  EXPECT_EQ(record.previewItemURL(), "file:///music/Miles%20Davis/So%20What.flac");

  record.setSourceLocation("/music/.hidden");
  EXPECT_EQ(record.sourceFileExtension(), "");
  record.setMetadataObjectValue(Object("So What"), "TRACKTITLE");
  EXPECT_EQ(record.previewItemTitle(), "So What");
}

}  // namespace
}  // namespace quorvel
