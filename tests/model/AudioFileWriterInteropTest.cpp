// What the writer puts in files, as an independent reader (mutagen) sees it:
// frame, atom, field, item and attribute names, and values as stored.

#include <gtest/gtest.h>

#include <filesystem>

#include "model/AudioFileWriter.h"
#include "model/AudioMetadata.h"
#include "model/WriterTestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using test::imageArtwork;
using test::ScopedSetting;

class WriterInterop : public ::testing::Test {
 protected:
  // Writes `record` into a copy of the fixture `plain` named `name`.
  fs::path write(const char* plain, const std::string& name, AudioMetadata& record) {
    const fs::path path = test::copyOfFixture(dir_, plain, name);
    Error error;
    EXPECT_TRUE(AudioFileWriter::writeToFile(record, path.string(), &error))
        << name << ": " << error.localizedDescription;
    return path;
  }

  static std::vector<json> items(const json& list, const char* field, const std::string& name) {
    std::vector<json> found;
    for (const auto& item : list) {
      const json& key = item.is_array() ? item[0] : item[field];
      if (key == name) found.push_back(item);
    }
    return found;
  }

  ScopedSetting artworkFile_{"readAlbumArtworkFromFile", false};
  test::TemporaryDirectory dir_;
};

std::shared_ptr<AudioMetadata> recordWith(
    std::initializer_list<std::pair<const char*, ObjectList>> entries) {
  auto record = std::make_shared<AudioMetadata>();
  for (const auto& [key, values] : entries) record->setMetadataObjectValues(values, key);
  return record;
}

std::string md5Of(const AlbumArtworkPtr& artwork) { return artwork->md5(); }

TEST_F(WriterInterop, ID3v2FramesAsStored) {
  ScopedSetting version("WriteMP3ID3v2TagVersion", 1);
  auto record = recordWith({{"TRACKNUMBER", {"5"}},
                            {"TRACKTOTAL", {"12"}},
                            {"MOVEMENTTOTAL", {"4"}},
                            {"MUSICBRAINZ_ALBUMID", {"album-id"}},
                            {"MUSICBRAINZ_TRACKID", {"track-id"}},
                            {"MYKEY", {"one", "two"}},
                            {"COMMENTS", {"first", "second"}},
                            {"COMMENTS:iTunNORM", {" 0000"}},
                            {"GENRE", {"Jazz", "Soul"}},
                            {"RATING", {"me@example.org,196,3"}},
                            {"WEBSITE", {"http://example.org"}},
                            {"PODCAST", {"1"}},
                            {"LYRICS", {"la la"}},
                            {"YEAR", {2024}},
                            {"TRACKTITLE", {"Umbrella ☂"}}});
  record->addArtwork(imageArtwork("back.png", 4, "The back"));
  record->addArtwork(imageArtwork("front.jpg", 3));
  QUORVEL_MUTAGEN_OR_SKIP(dump, write("plain.mp3", "frames.mp3", *record));
  const json& tag = (*dump)["ID3v2"];
  EXPECT_EQ(tag["version"], json({2, 4, 0}));
  const json& frames = tag["frames"];

  EXPECT_EQ(items(frames, "id", "TRCK"),
            std::vector<json>({{{"id", "TRCK"}, {"enc", 0}, {"text", {"5/12"}}}}));
  EXPECT_EQ(items(frames, "id", "MVIN"),
            std::vector<json>({{{"id", "MVIN"}, {"enc", 0}, {"text", {"/4"}}}}));
  // The totals get no frame of their own; every TXXX has its description.
  std::set<std::string> descriptions;
  for (const auto& frame : items(frames, "id", "TXXX")) descriptions.insert(frame["desc"]);
  EXPECT_EQ(descriptions, (std::set<std::string>{"MusicBrainz Album Id", "MYKEY"}));
  for (const auto& frame : items(frames, "id", "TXXX")) {
    if (frame["desc"] == "MYKEY") {
      EXPECT_EQ(frame["text"], json({"one", "two"}));
    }
    EXPECT_EQ(frame["enc"], 3);
  }
  EXPECT_EQ(items(frames, "id", "UFID"), std::vector<json>({{{"id", "UFID"},
                                                             {"owner", "http://musicbrainz.org"},
                                                             {"data_hex", "747261636b2d6964"}}}));
  const auto comments = items(frames, "id", "COMM");
  ASSERT_EQ(comments.size(), 2u);
  EXPECT_EQ(comments[0]["lang"], "eng");
  EXPECT_EQ(comments[0]["desc"], "");
  EXPECT_EQ(comments[0]["text"], "first");
  EXPECT_EQ(comments[1]["desc"], "iTunNORM");
  EXPECT_EQ(items(frames, "id", "TCON")[0]["text"], json({"Jazz", "Soul"}));
  const auto popm = items(frames, "id", "POPM");
  ASSERT_EQ(popm.size(), 1u);
  EXPECT_EQ(popm[0]["email"], "me@example.org");
  EXPECT_EQ(popm[0]["rating"], 196);
  EXPECT_EQ(popm[0]["count"], 3);
  EXPECT_EQ(items(frames, "id", "WXXX")[0]["desc"], "WEBSITE");
  EXPECT_EQ(items(frames, "id", "WXXX")[0]["url"], "http://example.org");
  EXPECT_EQ(items(frames, "id", "PCST").size(), 1u);
  EXPECT_EQ(items(frames, "id", "USLT")[0]["lang"], "eng");
  EXPECT_EQ(items(frames, "id", "TDRC")[0]["enc"], 0);
  EXPECT_EQ(items(frames, "id", "TIT2")[0]["text"], json({"Umbrella ☂"}));
  const auto pictures = items(frames, "id", "APIC");
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0]["type"], 4);
  EXPECT_EQ(pictures[0]["desc"], "The back");
  EXPECT_EQ(pictures[0]["mime"], "image/png");
  EXPECT_EQ(pictures[1]["md5"], md5Of(record->artworks()[1]));

  // One part of a pair, and a rating of two parts.
  record->removeMetadataValueForKey("TRACKTOTAL");
  record->setMetadataObjectValue(Object("me@example.org,196"), "RATING");
  QUORVEL_MUTAGEN_OR_SKIP(numberOnly, write("plain.mp3", "number.mp3", *record));
  EXPECT_EQ(items((*numberOnly)["ID3v2"]["frames"], "id", "TRCK")[0]["text"], json({"5"}));
  EXPECT_TRUE(items((*numberOnly)["ID3v2"]["frames"], "id", "POPM").empty());
}

TEST_F(WriterInterop, ID3v23InLatin1EmptiesWhatLatin1CannotHold) {
  ScopedSetting version("WriteMP3ID3v2TagVersion", 3);
  auto record =
      recordWith({{"TRACKTITLE", {"Umbrella ☂"}}, {"ALBUM", {"Café"}}, {"YEAR", {"2001"}}});
  const fs::path path = write("plain.mp3", "latin1.mp3", *record);
  EXPECT_EQ(record->sourceTagFormat().value_or(""), "ID3v2.3.0");
  QUORVEL_MUTAGEN_OR_SKIP(dump, path);
  EXPECT_EQ((*dump)["ID3v2"]["version"], json({2, 3, 0}));
  const json& frames = (*dump)["ID3v2"]["frames"];
  // Text Latin-1 cannot hold is emptied, and TagLib leaves an empty frame out.
  EXPECT_TRUE(items(frames, "id", "TIT2").empty());
  EXPECT_EQ(items(frames, "id", "TALB"),
            std::vector<json>({{{"id", "TALB"}, {"enc", 0}, {"text", {"Café"}}}}));
  // TagLib writes the year of a 2.3 tag as TYER.
  EXPECT_EQ(items(frames, "id", "TYER")[0]["text"], json({"2001"}));
}

TEST_F(WriterInterop, CoversInAPEVorbisAndFLAC) {
  auto record = recordWith({{"TRACKARTIST", {"One", "Two"}}});
  record->addArtwork(imageArtwork("front.jpg", 3, "first", "front.jpg"));
  record->addArtwork(imageArtwork("green.jpg", 3, "second", "green.jpg"));
  record->addArtwork(imageArtwork("back.png", 4, "back"));

  // APE: one item per kind, the last artwork of the kind winning.
  QUORVEL_MUTAGEN_OR_SKIP(ape, write("plain.ape", "covers.ape", *record));
  const json& apeItems = (*ape)["APE"]["items"];
  EXPECT_EQ(items(apeItems, "key", "ARTIST")[0]["values"], json({"One", "Two"}));
  const auto front = items(apeItems, "key", "Cover Art (front)");
  ASSERT_EQ(front.size(), 1u);
  EXPECT_EQ(front[0]["kind"], "binary");
  EXPECT_TRUE(front[0]["read_only"].get<bool>());
  const std::string green = test::readFile(test::fixture("images/green.jpg"));
  const std::string back = test::readFile(test::fixture("images/back.png"));
  EXPECT_EQ(front[0]["data_hex"],
            test::hexOf(Data::fromString("green.jpg" + std::string(1, '\0') + green)).substr(4));
  const auto backItem = items(apeItems, "key", "Cover Art (back)");
  ASSERT_EQ(backItem.size(), 1u);
  EXPECT_EQ(backItem[0]["data_hex"],
            test::hexOf(Data::fromString("cover.jpg" + std::string(1, '\0') + back)).substr(4));

  // Vorbis comment: every artwork a field of its own, with type and description.
  QUORVEL_MUTAGEN_OR_SKIP(ogg, write("plain.ogg", "covers.ogg", *record));
  const json& fields = (*ogg)["Vorbis"]["fields"];
  EXPECT_EQ(items(fields, "", "ARTIST").size(), 2u);
  const auto pictures = items(fields, "", "METADATA_BLOCK_PICTURE");
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_EQ(pictures[1][1]["type"], 3);
  EXPECT_EQ(pictures[1][1]["desc"], "second");
  EXPECT_EQ(pictures[1][1]["md5"], md5Of(record->artworks()[1]));
  EXPECT_EQ(pictures[2][1]["type"], 4);
  EXPECT_EQ(pictures[2][1]["width"], 0);

  // FLAC: picture blocks are front covers without a description; inside the
  // comment only when the setting says so.
  for (int where : {0, 1, 2, 3}) {
    ScopedSetting setting("writeFLACAlbumArtworkIn", where);
    QUORVEL_MUTAGEN_OR_SKIP(
        flac, write("plain.flac", "covers" + std::to_string(where) + ".flac", *record));
    const json& blocks = (*flac)["FLACPictures"];
    const auto inComment = items((*flac)["Vorbis"]["fields"], "", "METADATA_BLOCK_PICTURE");
    EXPECT_EQ(blocks.size(), (where & 1) ? 3u : 0u) << where;
    EXPECT_EQ(inComment.size(), (where & 2) ? 3u : 0u) << where;
    for (const auto& block : blocks) {
      EXPECT_EQ(block["type"], 3);
      EXPECT_EQ(block["desc"], "");
    }
  }
}

TEST_F(WriterInterop, MP4AtomsAsStored) {
  struct Case {
    ObjectList number, total;
    json trkn;
  };
  for (const Case& c : {Case{{"5"}, {}, json({{5, 0}})}, Case{{}, {"12"}, json({{0, 12}})},
                        Case{{"5"}, {"12"}, json({{5, 12}})}}) {
    auto record = recordWith({{"DISCNUMBER", {"1"}},
                              {"DISCTOTAL", {"2"}},
                              {"BPM", {"120.7"}},
                              {"PARTOFACOMPILATION", {"1"}},
                              {"MUSICBRAINZ_ALBUMID", {"album-id"}},
                              {"MOOD", {"Calm", "Quiet"}},
                              {"TRACKTITLE", {"Title"}}});
    if (!c.number.empty()) record->setMetadataObjectValues(c.number, "TRACKNUMBER");
    if (!c.total.empty()) record->setMetadataObjectValues(c.total, "TRACKTOTAL");
    record->addArtwork(imageArtwork("back.png", 4));
    record->addArtwork(imageArtwork("front.jpg", 3));
    QUORVEL_MUTAGEN_OR_SKIP(dump, write("plain.m4a", "atoms.m4a", *record));
    const json& atoms = (*dump)["MP4"]["atoms"];
    EXPECT_EQ(atoms["trkn"], c.trkn);
    EXPECT_EQ(atoms["disk"], json({{1, 2}}));
    EXPECT_EQ(atoms["tmpo"], json({120}));
    EXPECT_EQ(atoms["cpil"], true);
    EXPECT_EQ(atoms["©nam"], json({"Title"}));
    EXPECT_EQ(atoms["----:com.apple.iTunes:MusicBrainz Album Id"]["values"], json({"album-id"}));
    EXPECT_EQ(atoms["----:com.apple.iTunes:MOOD"]["values"], json({"Calm", "Quiet"}));
    ASSERT_EQ(atoms["covr"].size(), 2u);
    EXPECT_EQ(atoms["covr"][0]["format"], "png");
    EXPECT_EQ(atoms["covr"][1]["format"], "jpeg");
  }
}

TEST_F(WriterInterop, ASFAttributesAsStored) {
  auto record = recordWith({{"TRACKTITLE", {"Title"}},
                            {"TRACKARTIST", {"Artist"}},
                            {"TRACKNUMBER", {"7"}},
                            {"DISCTOTAL", {"2"}},
                            {"ENCODINGTIME", {"132000000000000000"}},
                            {"ISVBR", {"1"}},
                            {"BITRATE", {"not a number"}},
                            {"GENRE", {"Jazz", "Soul"}},
                            {"RAW", {Data::fromString("\x01\x02")}}});
  record->addArtwork(imageArtwork("front.jpg", 3, "cover"));
  QUORVEL_MUTAGEN_OR_SKIP(dump, write("plain.wma", "attributes.wma", *record));
  const json& attributes = (*dump)["ASF"]["attributes"];
  EXPECT_EQ(items(attributes, "", "Title")[0][2], "Title");
  EXPECT_EQ(items(attributes, "", "Author")[0][2], "Artist");
  EXPECT_EQ(items(attributes, "", "WM/PartOfSet"),
            std::vector<json>({{"WM/PartOfSet", "unicode", "/2"}}));
  EXPECT_EQ(items(attributes, "", "WM/EncodingTime"),
            std::vector<json>({{"WM/EncodingTime", "qword", 132000000000000000ULL}}));
  EXPECT_EQ(items(attributes, "", "ISVBR"), std::vector<json>({{"ISVBR", "bool", true}}));
  EXPECT_TRUE(items(attributes, "", "BITRATE").empty());
  EXPECT_EQ(items(attributes, "", "WM/Genre").size(), 2u);
  EXPECT_EQ(items(attributes, "", "RAW")[0][2], "0102");
  const auto picture = items(attributes, "", "WM/Picture");
  ASSERT_EQ(picture.size(), 1u);
  EXPECT_EQ(picture[0][2]["desc"], "cover");
  EXPECT_EQ(picture[0][2]["type"], 3);
  EXPECT_FALSE(items(attributes, "", "WM/TrackNumber").empty());

  record->setMetadataObjectValue(Object("1"), "DISCNUMBER");
  QUORVEL_MUTAGEN_OR_SKIP(both, write("plain.wma", "both.wma", *record));
  EXPECT_EQ(items((*both)["ASF"]["attributes"], "", "WM/PartOfSet")[0][2], "1/2");
}

TEST_F(WriterInterop, INFOChunkIds) {
  ScopedSetting id3v2("writeWAVID3v2Tag", false);
  auto record = recordWith({{"TRACKTITLE", {"Title"}},
                            {"TRACKARTIST", {"One", "Two"}},
                            {"GENRE", {"Jazz"}},
                            {"MOOD", {"Calm"}},
                            {"abcd", {"own id"}},
                            {"LONGERKEY", {"dropped"}}});
  const fs::path path = write("plain.wav", "info.wav", *record);
  EXPECT_EQ(record->sourceTagFormat().value_or(""), "INFO Chunk");
  QUORVEL_MUTAGEN_OR_SKIP(dump, path);
  EXPECT_FALSE(dump->contains("ID3v2"));
  EXPECT_EQ((*dump)["INFO"]["fields"],
            json::array({json::array({"ABCD", "own id"}), json::array({"IART", "One, Two"}),
                         json::array({"IGNR", "Jazz"}), json::array({"INAM", "Title"})}));
}

}  // namespace
}  // namespace quorvel
