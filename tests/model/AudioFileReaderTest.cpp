#include "model/AudioFileReader.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "model/AudioMetadata.h"
#include "platform/UIHost.h"
#include "testsupport/FixtureManifest.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::fixture;
using test::SettingOverride;
using test::TemporaryDirectory;

std::shared_ptr<AudioMetadata> readPath(const fs::path& path, Error* error = nullptr) {
  return AudioFileReader::metadataFromFile(path.string(), error);
}

std::shared_ptr<AudioMetadata> read(const std::string& name) {
  Error error;
  auto record = readPath(fixture(name), &error);
  EXPECT_TRUE(record) << name << ": " << error.localizedDescription;
  return record;
}

fs::path copyInto(const TemporaryDirectory& dir, const std::string& name, const std::string& as) {
  const fs::path target = dir / as;
  fs::create_directories(target.parent_path());
  fs::copy_file(fixture(name), target, fs::copy_options::overwrite_existing);
  return target;
}

std::int64_t integer(const std::optional<Number>& n) { return n ? n->int64Value() : -1; }

std::string text(const AudioMetadata& record, const std::string& key) {
  return record.metadataObjectValueForKey(key).stringValue().value_or("<none>");
}

// --- Container properties ---------------------------------------------------

const std::map<std::string, std::string> kKinds = {
    {"mp3", "MPEG Layer 3"},
    {"flac", "FLAC"},
    {"ogg-vorbis", "OGG Vorbis"},
    {"ogg-flac", "OGG FLAC"},
    {"ogg-speex", "OGG Speex"},
    {"asf", "Windows Media"},
    {"wav", "WAVE"},
    {"dsf", "DSD"},
    {"ape", "Monkey's Audio"},
    {"tta", "True Audio"},
    {"wavpack", "WavPack"},
    {"mpc", "Musepack"},
};

// The format a reader names, from what the manifest knows of the stream;
// empty where the platform names it.
std::string expectedFormat(const std::string& container, const json& p) {
  auto number = [&](const char* key, int fallback) {
    return std::to_string(p.contains(key) ? p[key].get<int>() : fallback);
  };
  if (container == "mp3") {
    const double version = p["mpeg_version"].get<double>();
    return std::string("MPEG Version ") + (version == 2.5 ? "2.5" : number("mpeg_version", 1)) +
           " Audio Layer " + number("layer", 3);
  }
  if (container == "flac" || container == "ogg-flac") return "Free Lossless Audio Codec";
  if (container == "ogg-vorbis") return "Vorbis";
  if (container == "ogg-speex") return "Speex v" + number("speex_version", 1);
  if (container == "asf") return "Windows Media Audio";
  if (container == "dsf") return "DSF";
  if (container == "ape") return "APE v" + number("codec_version", 3990);
  if (container == "tta") return "TTA v" + number("tta_version", 1);
  if (container == "mpc") return "MPC v" + number("stream_version", 8);
  return "";
}

TEST(AudioFileReader, ContainerPropertiesMatchTheManifest) {
  const json fixtures = test::fixtureManifest().value("fixtures", json::object());
  for (const auto& [name, entry] : fixtures.items()) {
    const std::string container = entry["container"].get<std::string>();
    if (container == "platform" || container == "ogg-other") continue;
    SCOPED_TRACE(name);
    const json& p = entry["properties"];
    const fs::path path = fixture(name);
    auto record = read(name);
    if (!record) continue;

    if (kKinds.count(container)) {
      EXPECT_EQ(record->sourceKind(), kKinds.at(container));
    } else {
      EXPECT_FALSE(record->sourceKind().value_or("").empty());  // the platform's name
    }
    const std::string format = expectedFormat(container, p);
    if (container == "wavpack") {
      EXPECT_TRUE(record->sourceFormat().value_or("").starts_with("WavPack v"));
    } else if (!format.empty()) {
      EXPECT_EQ(record->sourceFormat(), format);
    } else {
      EXPECT_FALSE(record->sourceFormat().value_or("").empty());
    }
    EXPECT_EQ(integer(record->sourceSampleRate()), p["sample_rate"].get<int>());
    if (p.contains("channels")) {
      EXPECT_EQ(integer(record->sourceChannels()), p["channels"]);
    }
    ASSERT_TRUE(record->sourceLength());
    EXPECT_NEAR(*record->sourceLength(), p["source_seconds"].get<double>(), 0.5);

    // Sample size: TagLib's for the lossless readers, 16 for Musepack, none
    // for the lossy readers; the platform's for the containers it reads.
    if (container == "mpc") {
      EXPECT_EQ(integer(record->sourceSampleSize()), 16);
    } else if (p.contains("bits_per_sample")) {
      EXPECT_EQ(integer(record->sourceSampleSize()), p["bits_per_sample"].get<int>());
    } else if (container != "mp4") {
      EXPECT_FALSE(record->sourceSampleSize());
    }

    // Bitrate: TagLib's kilobits times 1000, except Vorbis's nominal rate.
    ASSERT_TRUE(record->sourceBitrate());
    const std::int64_t bitrate = integer(record->sourceBitrate());
    if (container == "ogg-vorbis") {
      if (p.contains("nominal_bitrate")) {
        EXPECT_EQ(bitrate, p["nominal_bitrate"].get<int>());
      }
      EXPECT_EQ(record->sourceBitrateMode(), p["bitrate_mode"]);
    } else if (container != "mp4" && container != "aiff" && container != "wav") {
      EXPECT_EQ(bitrate % 1000, 0);
      TagLib::FileRef direct(path.c_str(), true, TagLib::AudioProperties::Average);
      if (!direct.isNull() && direct.audioProperties()) {
        EXPECT_EQ(bitrate, direct.audioProperties()->bitrate() * 1000LL);
      }
    }
    if (p.contains("bitrate_kbps")) {
      EXPECT_NEAR(static_cast<double>(bitrate), p["bitrate_kbps"].get<double>() * 1000, 6000.0);
    }
    if (container == "asf") {
      EXPECT_EQ(bitrate, 128000);
    }

    // Bitrate mode from the first five frames (cbr_then_vbr.mp3 changes at
    // its 40th), channel mode from the first frame.
    if (container == "mp3") {
      if (p.contains("channel_mode")) {
        EXPECT_EQ(record->sourceChannelMode(), p["channel_mode"]);
      }
      if (p.contains("bitrate_mode")) {
        EXPECT_EQ(record->sourceBitrateMode(), p["bitrate_mode"]);
      }
    }

    // What lies outside the file's contents.
    EXPECT_EQ(integer(record->sourceFileSize()), entry["size"].get<std::int64_t>());
    EXPECT_TRUE(record->sourceDateModified());
    EXPECT_TRUE(record->sourceDateCreated());
    EXPECT_EQ(record->sourceLocation(), path.string());
    EXPECT_FALSE(record->metadataNeedsSaving());
    EXPECT_EQ(record->originalMetadataMD5(), record->calculateMD5());
  }
}

// --- Choosing the reader ----------------------------------------------------

TEST(AudioFileReader, ExtensionChoosesTheReader) {
  auto upper = read("UPPER.MP3");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->sourceKind(), "MPEG Layer 3");
  EXPECT_EQ(text(*upper, "TRACKTITLE"), "Fixture Title");

  // mp2 is not on the table: the platform reads it, MPEG or not.
  auto layer2 = read("plain.mp2");
  ASSERT_TRUE(layer2);
  EXPECT_NE(layer2->sourceKind().value_or("MPEG Layer 3"), "MPEG Layer 3");
  EXPECT_FALSE(layer2->sourceBitrateMode());
  EXPECT_EQ(integer(layer2->sourceSampleRate()), 44100);
  TemporaryDirectory dir;
  auto renamed = readPath(copyInto(dir, "plain.mp3", "song.mp2"));
  ASSERT_TRUE(renamed);
  EXPECT_NE(renamed->sourceKind().value_or("MPEG Layer 3"), "MPEG Layer 3");
  EXPECT_FALSE(renamed->sourceBitrateMode());

  // The content never chooses: an MP3 named .flac fails in the FLAC reader.
  Error error;
  EXPECT_FALSE(readPath(copyInto(dir, "plain.mp3", "song.flac"), &error));
  EXPECT_FALSE(error.localizedDescription.empty());
  // A file without an extension goes to the platform, whatever it holds.
  auto bare = readPath(copyInto(dir, "tagged.flac", "noextension"));
  ASSERT_TRUE(bare);
  EXPECT_NE(bare->sourceKind().value_or(""), "FLAC");
  EXPECT_FALSE(bare->sourceTagFormat());
  EXPECT_TRUE(bare->artworks().empty());
}

TEST(AudioFileReader, OggFilesAreReadByTheirFirstPacket) {
  TemporaryDirectory dir;
  for (const auto& [name, kind] : std::map<std::string, std::string>{
           {"flac.ogg", "OGG FLAC"}, {"speex.ogg", "OGG Speex"}, {"plain.oga", "OGG FLAC"}}) {
    auto record = read(name);
    ASSERT_TRUE(record) << name;
    EXPECT_EQ(record->sourceKind(), kind) << name;
  }
  auto renamed = readPath(copyInto(dir, "tagged.ogg", "vorbis.spx"));
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->sourceKind(), "OGG Vorbis");

  // Another codec: a record with nothing from the file but its attributes.
  for (const char* name : {"opus.ogg", "tagged_opus.ogg"}) {
    auto opus = read(name);
    ASSERT_TRUE(opus) << name;
    EXPECT_EQ(opus->metadataKeyCount(), 0u) << name;
    EXPECT_FALSE(opus->sourceKind()) << name;
    EXPECT_FALSE(opus->sourceBitrate()) << name;
    EXPECT_FALSE(opus->sourceTagFormat()) << name;
    EXPECT_EQ(integer(opus->sourceFileSize()),
              test::manifestEntry(name)["size"].get<std::int64_t>());
    EXPECT_FALSE(opus->metadataNeedsSaving());
  }

  // A first page longer than the 4096 bytes looked at.
  Error error;
  EXPECT_FALSE(readPath(fixture("corrupt/longpage.ogg"), &error));
  EXPECT_EQ(error.localizedDescription, "Input does not appear to be an Ogg bitstream.");
}

TEST(AudioFileReader, UnreadableFilesGiveNoRecord) {
  for (const char* name : {"empty.flac", "random.flac", "truncated.flac", "empty.m4a", "random.m4a",
                           "random.wma", "random.dsf", "empty.ogg", "random.ogg", "random.spx"}) {
    Error error;
    EXPECT_FALSE(readPath(fixture(std::string("corrupt/") + name), &error)) << name;
    EXPECT_FALSE(error.localizedDescription.empty()) << name;
  }
  Error error;
  EXPECT_FALSE(readPath(fixture("plain.flac").string() + ".missing.flac", &error));
  EXPECT_FALSE(error.localizedDescription.empty());

  // The platform path keeps the record it made, even for a file it cannot open.
  auto caf = read("corrupt/random.caf");
  ASSERT_TRUE(caf);
  EXPECT_FALSE(caf->sourceSampleRate());
  EXPECT_EQ(integer(caf->sourceFileSize()), 4096);
  auto missing = readPath(fixture("plain.caf").string() + ".missing.caf");
  ASSERT_TRUE(missing);
  EXPECT_FALSE(missing->sourceFileSize());
  // An MP3 without a single frame has no layer to name.
  auto noFrames = read("corrupt/id3_only.mp3");
  if (noFrames) {
    EXPECT_EQ(noFrames->sourceFormat().value_or(""), "");
  }
}

TEST(AudioFileReader, TagReadingSettings) {
  SettingOverride noAPE("readMonkeysAPETag", false);
  auto ape = read("tagged.ape");
  ASSERT_TRUE(ape);
  EXPECT_EQ(ape->sourceTagFormat(), "ID3v1");
  EXPECT_EQ(text(*ape, "TRACKTITLE"), "ID3v1 Title");
  SettingOverride noID3v1("readMonkeysID3v1Tag", false);
  ape = read("tagged.ape");
  ASSERT_TRUE(ape);
  EXPECT_EQ(ape->sourceTagFormat(), "");
  EXPECT_EQ(ape->metadataKeyCount(), 0u);
  EXPECT_TRUE(ape->artworks().empty());

  SettingOverride noTTA("readTrueAudioID3v2Tag", false);
  auto tta = read("tagged.tta");
  ASSERT_TRUE(tta);
  EXPECT_EQ(tta->sourceTagFormat(), "ID3v1");
  SettingOverride noWavPack("readWavPackAPETag", false);
  auto wv = read("tagged.wv");
  ASSERT_TRUE(wv);
  EXPECT_EQ(wv->sourceTagFormat(), "ID3v1");
  SettingOverride noMusepack("readMusepackAPETag", false);
  SettingOverride noMusepack1("readMusepackID3v1Tag", false);
  auto mpc = read("tagged.mpc");
  ASSERT_TRUE(mpc);
  EXPECT_EQ(mpc->sourceTagFormat(), "");
}

// --- Artwork from a file beside the audio file ------------------------------

std::string imageMD5(const std::string& image) {
  return test::fixtureManifest()["images"][image]["md5"].get<std::string>();
}

TEST(AudioFileReader, ArtworkFileBesideTheAudioFile) {
  {
    auto plain = read("artfolder/song.flac");
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->artworks().empty());  // off by default
  }
  SettingOverride on("readAlbumArtworkFromFile", true);
  SettingOverride pattern("readAlbumArtworkFileName", "cover.*");
  auto song = read("artfolder/song.flac");
  ASSERT_TRUE(song);
  ASSERT_EQ(song->artworks().size(), 1u);  // Cover.JPG; cover.txt is no image
  EXPECT_EQ(song->artworks()[0]->md5(), imageMD5("green.jpg"));
  EXPECT_EQ(song->artworks()[0]->artworkType(), 3u);
  EXPECT_EQ(song->artworks()[0]->originalFilename(), "Cover.JPG");
  EXPECT_TRUE(song->metadataNeedsSaving());  // taken after the digests

  // Names that are not images are passed over for the next match; case and
  // diacritics do not matter.
  TemporaryDirectory dir;
  const fs::path audio = copyInto(dir, "plain.flac", "album/track.flac");
  test::writeFile(dir / "album/c\xC3\xB3ver.a.jpg", "not an image");
  copyInto(dir, "images/back.png", "album/C\xC3\x93VER.b.png");
  copyInto(dir, "images/front.jpg", "album/cover.c.jpg");
  auto record = readPath(audio);
  ASSERT_TRUE(record);
  ASSERT_EQ(record->artworks().size(), 1u);
  EXPECT_EQ(record->artworks()[0]->md5(), imageMD5("back.png"));

  // The pattern is a format string against the record, and may name a folder.
  SettingOverride byTitle("readAlbumArtworkFileName", "art/{TRACKTITLE}.*");
  SettingOverride always("skipArtworkFileWhenEmbedded", false);
  const fs::path tagged = copyInto(dir, "tagged.flac", "album/tagged.flac");
  copyInto(dir, "images/back.png", "album/art/fixture title.PNG");
  record = readPath(tagged);
  ASSERT_TRUE(record);
  ASSERT_EQ(record->artworks().size(), 1u);
  EXPECT_EQ(record->artworks()[0]->originalFilename(), "fixture title.PNG");
}

TEST(AudioFileReader, ArtworkFileSettingReplacesEmbeddedArtwork) {
  SettingOverride on("readAlbumArtworkFromFile", true);
  {
    // Embedded artwork wins while the skip setting is on.
    SettingOverride skip("skipArtworkFileWhenEmbedded", true);
    auto kept = read("artfolder_none/embedded.flac");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->artworks().size(), 2u);
    EXPECT_FALSE(kept->metadataNeedsSaving());
  }
  SettingOverride skip("skipArtworkFileWhenEmbedded", false);
  auto bare = read("artfolder_none/embedded.flac");
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->artworks().empty());  // removed, and no image to replace it
  EXPECT_TRUE(bare->metadataNeedsSaving());
}

TEST(AudioFileReader, FileNamePatterns) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  for (const Case& c : {
           Case{"Cover.JPG", "cover.*", true},
           Case{"cover.txt", "cover.*", true},
           Case{"covers.jpg", "cover.*", false},
           Case{"C\xC3\xB4ver.png", "cover.png", true},  // diacritics ignored
           Case{"cover.png", "c?ver.png", true},
           Case{"cver.png", "c?ver.png", false},
           Case{"front.jpg", "*", true},
           Case{"a.b.c", "*.c", true},
           Case{"abc", "a*b*c*", true},
           Case{"", "*", true},
           Case{"x", "", false},
       }) {
    EXPECT_EQ(AudioFileReader::filenameMatchesPattern(c.name, c.pattern), c.matches)
        << c.name << " / " << c.pattern;
  }
  // Long names against many stars stay fast (no backtracking blow-up).
  EXPECT_FALSE(
      AudioFileReader::filenameMatchesPattern(std::string(4000, 'a'), std::string(50, '*') + "b"));
}

// --- Title from the file name -----------------------------------------------

TEST(AudioFileReader, TitleFallsBackOnTheFileName) {
  auto off = read("01 Intro.flac");
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->metadataValueForKey("TRACKTITLE"));

  SettingOverride on("fallbackOnFilenameWhenTitleIsMissing", true);
  auto record = read("01 Intro.flac");
  ASSERT_TRUE(record);
  EXPECT_EQ(text(*record, "TRACKTITLE"), "01 Intro");
  EXPECT_EQ(record->metadataValueForKey("TRACKTITLE")->type(), MetadataValue::TypeUser);
  EXPECT_TRUE(record->metadataNeedsSaving());

  auto titled = read("tagged.flac");
  ASSERT_TRUE(titled);
  EXPECT_EQ(text(*titled, "TRACKTITLE"), "Fixture Title");
  EXPECT_FALSE(titled->metadataNeedsSaving());
}

// --- Platform containers ----------------------------------------------------

TEST(AudioFileReader, PlatformContainersReadInfoMidiAndLoopsChunks) {
  const std::map<std::string, std::string> infoKeys = {{"artist", "TRACKARTIST"},
                                                       {"album", "ALBUM"},
                                                       {"tempo", "BPM"},
                                                       {"key signature", "KEY"},
                                                       {"track number", "TRACKNUMBER"},
                                                       {"year", "YEAR"},
                                                       {"composer", "COMPOSER"},
                                                       {"lyricist", "LYRICIST"},
                                                       {"genre", "GENRE"},
                                                       {"title", "TRACKTITLE"},
                                                       {"comments", "COMMENTS"},
                                                       {"copyright", "COPYRIGHT"},
                                                       {"ISRC", "ISRC"}};
  for (const char* name : {"info.caf", "midi.caf", "loops.caf", "all.caf"}) {
    SCOPED_TRACE(name);
    const json& entry = test::manifestEntry(name);
    const json& caf = entry["tags"]["CAF"];
    std::map<std::string, std::string> expected;
    std::string encoder = "<none>";
    if (caf["info"].is_array()) {
      for (const auto& pair : caf["info"]) {
        const std::string infoKey = pair[0];
        if (infoKey == "encoding application") encoder = pair[1];
        if (infoKeys.count(infoKey)) expected[infoKeys.at(infoKey)] = pair[1];
      }
    }
    for (const auto& [key, value] : entry["derived"].items()) expected[key] = value;
    auto record = read(name);
    ASSERT_TRUE(record);
    std::map<std::string, std::string> actual;
    for (const auto& key : record->allMetadataKeys()) {
      actual[key] = text(*record, key);
      EXPECT_EQ(record->metadataValueForKey(key)->type(), MetadataValue::TypeUser) << key;
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(record->sourceEncodedWith().value_or("<none>"), encoder);
    ASSERT_TRUE(record->sourceLength());
    EXPECT_NEAR(*record->sourceLength(), 4.0, 0.01);
    EXPECT_EQ(integer(record->sourceSampleSize()), 16);
    EXPECT_FALSE(record->metadataNeedsSaving());
  }
  // Containers ffmpeg tagged: the platform's tags, filling only empty keys.
  for (const char* name : {"tagged.aifc", "tagged.au", "tagged.m4r", "tagged_ffmpeg.caf"}) {
    auto record = read(name);
    ASSERT_TRUE(record) << name;
    EXPECT_EQ(text(*record, "TRACKTITLE"), "Fixture Title") << name;
    EXPECT_EQ(text(*record, "TRACKARTIST"), "First Artist") << name;
  }
}

// --- Folder access ----------------------------------------------------------

// Answers from a script and remembers what was asked.
class ScriptedHost : public UIHost {
 public:
  explicit ScriptedHost(std::vector<std::optional<std::string>> answers)
      : answers_(std::move(answers)) {}
  int runAlert(const std::string& heading, const std::string& text,
               const std::vector<std::string>& buttons) override {
    std::string line = heading + " | " + text;
    for (const auto& button : buttons) line += " | [" + button + "]";
    asked.push_back("alert: " + line);
    return 1000;
  }
  std::optional<std::string> chooseFolder(const std::string& title, const std::string& start,
                                          const std::string& button) override {
    asked.push_back("panel: " + title + " | " + start + " | [" + button + "]");
    return next_ < answers_.size() ? answers_[next_++] : std::nullopt;
  }
  std::vector<std::string> asked;

 private:
  std::vector<std::optional<std::string>> answers_;
  std::size_t next_ = 0;
};

// Runs in a child process: gives up root (root reads any folder), reads a
// file whose artwork pattern points into a folder it may not read, and
// reports what the person was asked. Exits 0 when it all went as it should.
[[noreturn]] void refusedFolderScenario(const fs::path& audio, const fs::path& locked,
                                        const fs::path& other) {
  if (::geteuid() == 0) {
    const gid_t nogroup = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(nogroup, nogroup, nogroup) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0) {
      std::cerr << "cannot give up root\n";
      std::_Exit(2);
    }
  }
  if (::access(locked.c_str(), R_OK | X_OK) == 0) {
    std::cerr << "the locked folder is readable\n";
    std::_Exit(3);
  }
  auto host = std::make_shared<ScriptedHost>(
      std::vector<std::optional<std::string>>{other.string(), std::nullopt});
  UIHost::install(host);
  auto record = AudioFileReader::metadataFromFile(audio.string());
  const std::string title = "Permision Required To Access locked";
  const std::vector<std::string> expected = {
      "panel: " + title + " | " + locked.string() + " | [Allow]",
      "alert: Wrong file was selected. | " + title + " | [Try Again]",
      "panel: " + title + " | " + locked.string() + " | [Allow]",
      "alert: Was denied access to required files. | Quorvel can not provide it's full "
      "functionality without access to certain folders. | [Carry On]",
  };
  bool ok = record && record->artworks().empty() && host->asked == expected;
  // A readable folder asks nothing.
  ok = ok && AudioFileReader::requestFolderAccess(audio.string()) && host->asked.size() == 4;
  if (!ok) {
    std::cerr << "record " << (record ? "read" : "missing") << "; asked:\n";
    for (const auto& line : host->asked) std::cerr << "  " << line << "\n";
  }
  std::cerr << (ok ? "refusal reported" : "unexpected") << "\n";
  std::_Exit(ok ? 0 : 1);
}

TEST(AudioFileReader, RefusedFolderAccessIsReportedThroughTheHost) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TemporaryDirectory dir;
  fs::permissions(dir.path(), fs::perms(0755));
  const fs::path audio = copyInto(dir, "plain.flac", "song.flac");
  fs::permissions(audio, fs::perms(0644));
  const fs::path locked = dir / "locked";
  const fs::path other = dir / "other";
  fs::create_directories(locked);
  fs::create_directories(other);
  copyInto(dir, "images/front.jpg", "locked/cover.jpg");
  fs::permissions(locked, fs::perms::none);
  SettingOverride on("readAlbumArtworkFromFile", true);
  SettingOverride skip("skipArtworkFileWhenEmbedded", false);
  SettingOverride pattern("readAlbumArtworkFileName", "locked/cover.*");
  EXPECT_EXIT(refusedFolderScenario(audio, locked, other), ::testing::ExitedWithCode(0),
              "refusal reported");
  fs::permissions(locked, fs::perms(0755));
}

}  // namespace
}  // namespace quorvel
