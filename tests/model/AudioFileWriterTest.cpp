#include "model/AudioFileWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "model/AudioMetadata.h"
#include "model/TagMappings.h"
#include "model/WriterTestSupport.h"
#include "platform/FileOperations.h"
#include "platform/OSStatus.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::copyOfFixture;
using test::imageArtwork;
using test::readRecord;
using test::RecordSnapshot;
using test::ScopedSetting;
using test::snapshotOf;

// Settings under which every container writes everything it can, so that a
// round trip keeps the record whole.
class WriterTest : public ::testing::Test {
 protected:
  ScopedSetting mp3Version_{"WriteMP3ID3v2TagVersion", 1};
  ScopedSetting aiffVersion_{"WriteAIFFID3v2TagVersion", 1};
  ScopedSetting wavVersion_{"WriteWAVID3v2TagVersion", 1};
  ScopedSetting artworkFile_{"readAlbumArtworkFromFile", false};
  ScopedSetting titleFallback_{"fallbackOnFilenameWhenTitleIsMissing", false};
  test::TemporaryDirectory dir_;
};

// --- Conformance over every container ----------------------------------------

// What a container keeps of a record.
struct Container {
  const char* fixture;
  const char* tagFormat;  // as the writer records it
  bool artworkTypeAndComments = true;
  bool binaryValues = false;     // APE, MP4 and ASF keep bytes
  bool onlyFirstValues = false;  // the platform's info dictionary
  bool ape = false;
  bool asf = false;
};

std::ostream& operator<<(std::ostream& out, const Container& c) { return out << c.fixture; }

// The keys a CAF info dictionary carries.
const std::set<std::string> kInfoDictionaryKeys = {
    "TRACKARTIST", "ALBUM", "BPM",        "KEY",      "TRACKNUMBER", "YEAR", "COMPOSER",
    "LYRICIST",    "GENRE", "TRACKTITLE", "COMMENTS", "COPYRIGHT",   "ISRC"};

RecordSnapshot expectedAfterWrite(const AudioMetadata& record, const Container& container) {
  RecordSnapshot expected = snapshotOf(record);
  if (container.ape) {
    // Item keys are written upper-cased, so a key read from a mixed-case
    // item comes back upper-cased.
    decltype(expected.tags) renamed;
    for (auto& [key, values] : expected.tags) {
      renamed[keyForAPEItemKey(apeItemKeyForKey(key))] = values;
    }
    expected.tags = renamed;
  }
  if (container.asf) {
    // The artist is a single field of the content description. TagLib puts
    // the first value of an attribute in one object and the others in
    // another, and reads that other object first.
    expected.tags["TRACKARTIST"].resize(1);
    for (auto& [key, values] : expected.tags) {
      if (values.size() > 1) std::rotate(values.begin(), values.begin() + 1, values.end());
    }
  }
  for (auto it = expected.tags.begin(); it != expected.tags.end();) {
    auto& values = it->second;
    if (!container.binaryValues) {
      std::erase_if(values, [](const std::string& v) { return v.rfind("hex:", 0) == 0; });
    }
    if (container.onlyFirstValues) {
      values.resize(std::min<std::size_t>(values.size(), 1));
      if (!kInfoDictionaryKeys.count(it->first)) values.clear();
    }
    it = values.empty() ? expected.tags.erase(it) : std::next(it);
  }
  if (container.onlyFirstValues) expected.artworks.clear();
  if (!container.artworkTypeAndComments) {
    for (auto& [md5, type, comments] : expected.artworks) {
      type = 3;
      comments.clear();
    }
  }
  return expected;
}

class WriterConformance : public WriterTest, public ::testing::WithParamInterface<Container> {};

TEST_P(WriterConformance, RoundTripKeepsTheWholeRecord) {
  const Container& container = GetParam();
  const fs::path path = copyOfFixture(dir_, container.fixture);
  auto record = readRecord(path);
  ASSERT_TRUE(record);

  record->setMetadataObjectValue(Object("Written Title ☂"), "TRACKTITLE");
  record->setMetadataObjectValues({Object("Writer One"), Object("Writer Two")}, "TRACKARTIST");
  record->setMetadataObjectValue(Object("5"), "TRACKNUMBER");
  record->setMetadataObjectValue(Object("12"), "TRACKTOTAL");
  record->setMetadataObjectValue(Object("1"), "DISCNUMBER");
  record->setMetadataObjectValue(Object("2"), "DISCTOTAL");
  record->setMetadataObjectValues({Object("Jazz"), Object("Soul")}, "GENRE");
  record->setMetadataObjectValue(Object("2024"), "YEAR");
  record->setMetadataObjectValue(Object("A comment"), "COMMENTS");
  record->removeAllArtwork();
  record->addArtwork(imageArtwork("front.jpg", 6, "Written cover", "front.jpg"));
  ASSERT_TRUE(record->metadataNeedsSaving());
  const RecordSnapshot expected = expectedAfterWrite(*record, container);

  Error error;
  ASSERT_TRUE(AudioFileWriter::writeToFile(*record, path.string(), &error))
      << error.domain << " " << error.code << " " << error.localizedDescription;
  EXPECT_FALSE(record->metadataNeedsSaving());
  EXPECT_EQ(record->sourceTagFormat().value_or("?"), container.tagFormat);
  EXPECT_EQ(record->sourceFileSize()->int64Value(), static_cast<std::int64_t>(fs::file_size(path)));

  auto reread = readRecord(path);
  ASSERT_TRUE(reread);
  EXPECT_EQ(snapshotOf(*reread), expected);
  if (!container.onlyFirstValues) {
    // The reader names the same tags, so the file holds nothing else.
    EXPECT_EQ(reread->sourceTagFormat().value_or(""), container.tagFormat);
  }

  // Nothing is left beside the file.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++entries;
  EXPECT_EQ(entries, 1u);
}

constexpr Container vorbis(const char* fixture) { return {fixture, "Vorbis"}; }
constexpr Container id3v24(const char* fixture) { return {fixture, "ID3v2.4.0"}; }
constexpr Container mp4(const char* fixture) {
  return {.fixture = fixture,
          .tagFormat = "MP4 Metadata",
          .artworkTypeAndComments = false,
          .binaryValues = true};
}
constexpr Container flac(const char* fixture) {
  return {.fixture = fixture, .tagFormat = "Vorbis", .artworkTypeAndComments = false};
}
constexpr Container wav(const char* fixture) { return {fixture, "ID3v2.4.0, INFO Chunk"}; }
constexpr Container ape(const char* fixture) {
  return {.fixture = fixture,
          .tagFormat = "APE v2.0",
          .artworkTypeAndComments = false,
          .binaryValues = true,
          .ape = true};
}
constexpr Container asf(const char* fixture) {
  return {.fixture = fixture, .tagFormat = "ASF", .binaryValues = true, .asf = true};
}
constexpr Container caf(const char* fixture) {
  return {.fixture = fixture, .tagFormat = "", .onlyFirstValues = true};
}

INSTANTIATE_TEST_SUITE_P(
    EveryContainer, WriterConformance,
    ::testing::Values(flac("tagged.flac"), flac("metaflac.flac"), flac("id3.flac"),
                      flac("plain.flac"), id3v24("id3v24.mp3"), id3v24("id3v23.mp3"),
                      id3v24("all_tags.mp3"), id3v24("id3v2_cases.mp3"), id3v24("plain.mp3"),
                      mp4("tagged.m4a"), mp4("tagged.mp4"), mp4("tagged.m4b"), mp4("mp4_edge.m4a"),
                      mp4("plain.m4a"), id3v24("tagged.aiff"), id3v24("plain.aiff"),
                      wav("both.wav"), wav("info.wav"), wav("plain.wav"), ape("tagged.ape"),
                      ape("plain.ape"), id3v24("tagged.tta"), id3v24("plain.tta"),
                      id3v24("tagged.dsf"), id3v24("plain.dsf"), vorbis("tagged.ogg"),
                      vorbis("plain.ogg"), vorbis("tagged.oga"), vorbis("flac.ogg"),
                      vorbis("tagged.spx"), vorbis("plain.spx"), asf("tagged.wma"),
                      asf("plain.wma"), caf("info.caf"), caf("plain.caf")),
    [](const auto& param) {
      std::string name = param.param.fixture;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

// --- Errors and what a failure leaves -----------------------------------------

TEST_F(WriterTest, MissingInvalidAndUnwritableFilesFailWithTheirCodes) {
  auto record = std::make_shared<AudioMetadata>();
  record->setMetadataObjectValue(Object("Title"), "TRACKTITLE");
  Error error;
  EXPECT_FALSE(AudioFileWriter::writeToFile(*record, (dir_ / "none.mp3").string(), &error));
  EXPECT_EQ(error.domain, kQuorvelErrorDomain);
  EXPECT_EQ(error.code, -100);
  EXPECT_EQ(error.localizedDescription, "File Not Found");

  const fs::path garbage = dir_ / "garbage.flac";
  test::writeFile(garbage, std::string(4096, 'x'));
  EXPECT_FALSE(AudioFileWriter::writeToFile(*record, garbage.string(), &error));
  EXPECT_EQ(error.code, -101);
  EXPECT_EQ(error.localizedDescription, "Invalid File");
  EXPECT_EQ(test::readFile(garbage), std::string(4096, 'x'));

  // Read-only file in a writable folder: refused before anything is touched.
  const fs::path path = copyOfFixture(dir_, "tagged.flac");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const std::string before = test::readFile(path);
  const auto modified = fs::last_write_time(path);
  EXPECT_FALSE(AudioFileWriter::writeToFile(*record, path.string(), &error));
  EXPECT_EQ(error.code, -102);
  EXPECT_EQ(error.localizedDescription, "File Is Read Only");
  EXPECT_EQ(test::readFile(path), before);
  EXPECT_EQ(fs::last_write_time(path), modified);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(record->metadataNeedsSaving());
}

// Fails one step of the file operations on demand.
class FailingFileOperations : public FileOperations {
 public:
  enum class Step { Copy, Sync, Replace };
  explicit FailingFileOperations(Step step) : step_(step) {}
  bool copyContents(const std::string& source, const std::string& destination,
                    Error* error) override {
    if (step_ == Step::Copy) return setFileError(error, ENOSPC, destination);
    return FileOperations::copyContents(source, destination, error);
  }
  bool synchronizeFile(const std::string& path, Error* error) override {
    if (step_ == Step::Sync) return setFileError(error, EIO, path);
    return FileOperations::synchronizeFile(path, error);
  }
  bool replaceFile(const std::string& source, const std::string& destination,
                   Error* error) override {
    if (step_ == Step::Replace) return setFileError(error, EXDEV, destination);
    return FileOperations::replaceFile(source, destination, error);
  }

 private:
  Step step_;
};

class InstalledFileOperations {
 public:
  explicit InstalledFileOperations(std::shared_ptr<FileOperations> operations)
      : previous_(FileOperations::install(std::move(operations))) {}
  ~InstalledFileOperations() { FileOperations::install(previous_); }
  InstalledFileOperations(const InstalledFileOperations&) = delete;
  InstalledFileOperations& operator=(const InstalledFileOperations&) = delete;

 private:
  std::shared_ptr<FileOperations> previous_;
};

TEST_F(WriterTest, AFailingFileOperationLeavesTheOriginalAndTheRecord) {
  using Step = FailingFileOperations::Step;
  for (Step step : {Step::Copy, Step::Sync, Step::Replace}) {
    for (const char* name : {"id3v24.mp3", "tagged.m4a", "tagged.ogg", "info.caf"}) {
      SCOPED_TRACE(name);
      const fs::path path = copyOfFixture(dir_, name);
      const std::string before = test::readFile(path);
      auto record = readRecord(path);
      ASSERT_TRUE(record);
      record->setMetadataObjectValue(Object("Changed"), "TRACKTITLE");
      const auto tagFormat = record->sourceTagFormat();
      Error error;
      {
        InstalledFileOperations failing(std::make_shared<FailingFileOperations>(step));
        EXPECT_FALSE(AudioFileWriter::writeToFile(*record, path.string(), &error));
      }
      EXPECT_EQ(error.domain, kQuorvelErrorDomain);
      EXPECT_NE(error.localizedDescription.find(path.filename().string()), std::string::npos)
          << error.localizedDescription;
      EXPECT_EQ(test::readFile(path), before);
      EXPECT_TRUE(record->metadataNeedsSaving());
      EXPECT_EQ(record->sourceTagFormat(), tagFormat);
      std::size_t entries = 0;
      for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++entries;
      EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
      fs::remove(path);
    }
  }
}

TEST_F(WriterTest, KeepsPermissionsLinksAndExtendedAttributes) {
  const fs::path path = copyOfFixture(dir_, "tagged.flac");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const bool xattrs = ::setxattr(path.c_str(), "user.quorvel.test", "kept", 4, 0) == 0;
  const fs::path link = dir_ / "link.flac";
  fs::create_symlink(path.filename(), link);
  const auto before = fs::file_time_type::clock::now() - std::chrono::seconds(1);

  auto record = readRecord(link);
  ASSERT_TRUE(record);
  record->setMetadataObjectValue(Object("Through a link"), "TRACKTITLE");
  Error error;
  ASSERT_TRUE(AudioFileWriter::writeToFile(*record, link.string(), &error))
      << error.localizedDescription;

  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readRecord(path)->metadataObjectValueForKey("TRACKTITLE"), Object("Through a link"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  if (xattrs) {
    char value[16] = {};
    EXPECT_EQ(::getxattr(path.c_str(), "user.quorvel.test", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
  }
  // Written now, like a save in place; the caller may put the old date back.
  EXPECT_GT(fs::last_write_time(path), before);
  const auto old = std::chrono::system_clock::now() - std::chrono::hours(24 * 400);
  ASSERT_TRUE(setFileDates(path.string(), old));
  EXPECT_LT(fs::last_write_time(path), before);
}

TEST_F(WriterTest, OtherOggCodecsAreLeftAloneAndOtherContainersFailWithAStatus) {
  auto record = std::make_shared<AudioMetadata>();
  record->setMetadataObjectValue(Object("Title"), "TRACKTITLE");
  const fs::path opus = copyOfFixture(dir_, "tagged_opus.ogg");
  const std::string before = test::readFile(opus);
  Error error;
  EXPECT_TRUE(AudioFileWriter::writeToFile(*record, opus.string(), &error));
  EXPECT_EQ(test::readFile(opus), before);
  EXPECT_FALSE(record->metadataNeedsSaving());
  EXPECT_EQ(record->sourceTagFormat().value_or("?"), "");

  for (const char* name : {"tagged.wv", "tagged.mpc", "tagged.aifc"}) {
    const fs::path path = copyOfFixture(dir_, name);
    const std::string original = test::readFile(path);
    error = {};
    EXPECT_FALSE(AudioFileWriter::writeToFile(*record, path.string(), &error)) << name;
    EXPECT_EQ(error.domain, kOSStatusErrorDomain) << name;
    EXPECT_NE(error.code, 0) << name;
    EXPECT_EQ(test::readFile(path), original) << name;
  }
}

TEST_F(WriterTest, CafInfoDictionaryKeepsEntriesTheRecordLacks) {
  const fs::path path = copyOfFixture(dir_, "info.caf");
  auto record = readRecord(path);
  ASSERT_TRUE(record);
  record->removeMetadataValueForKey("TRACKARTIST");
  record->setMetadataObjectValue(Object(120), "BPM");
  Error error;
  ASSERT_TRUE(AudioFileWriter::writeToFile(*record, path.string(), &error))
      << error.localizedDescription;
  auto reread = readRecord(path);
  EXPECT_EQ(reread->metadataObjectValueForKey("BPM"), Object("120"));
  // The artist stays as the file had it: only keys the record holds are set.
  EXPECT_FALSE(reread->metadataObjectValueForKey("TRACKARTIST").isNone());
}

// --- Which tags each setting writes -------------------------------------------

TEST_F(WriterTest, SettingsChooseTheTagsAndTheID3v2Version) {
  const fs::path path = copyOfFixture(dir_, "all_tags.mp3");
  auto record = readRecord(path);
  ASSERT_TRUE(record);
  record->setMetadataObjectValue(Object("Plain"), "ALBUM");
  Error error;
  {
    ScopedSetting a("writeMP3ID3v2Tag", false), b("writeMP3ApeTag", false),
        c("writeMP3ID3v1Tag", false);
    ASSERT_TRUE(AudioFileWriter::writeToFile(*record, path.string(), &error));
    EXPECT_EQ(record->sourceTagFormat().value_or("?"), "");
    auto reread = readRecord(path);
    EXPECT_EQ(reread->metadataKeyCount(), 0u);
    EXPECT_EQ(reread->sourceTagFormat().value_or("?"), "");
  }
  {
    ScopedSetting a("writeMP3ID3v2Tag", true), b("writeMP3ApeTag", true),
        c("writeMP3ID3v1Tag", true), v("WriteMP3ID3v2TagVersion", 3);
    ASSERT_TRUE(AudioFileWriter::writeToFile(*record, path.string(), &error));
    EXPECT_EQ(record->sourceTagFormat().value_or("?"), "ID3v2.3.0, APE v2.0, ID3v1");
    EXPECT_EQ(readRecord(path)->sourceTagFormat().value_or("?"), "ID3v2.3.0, ID3v1, APE v2.0");
  }
  for (int value : {0, 6}) {
    ScopedSetting v("WriteMP3ID3v2TagVersion", value);
    ASSERT_TRUE(AudioFileWriter::writeToFile(*record, path.string(), &error));
    EXPECT_EQ(record->sourceTagFormat().value_or("?"), "ID3v2.4.0") << value;
  }

  const fs::path wav = copyOfFixture(dir_, "both.wav");
  auto wavRecord = readRecord(wav);
  ScopedSetting a("writeWAVID3v2Tag", false), b("writeWAVInfoChunkTag", false);
  ASSERT_TRUE(AudioFileWriter::writeToFile(*wavRecord, wav.string(), &error));
  EXPECT_EQ(readRecord(wav)->metadataKeyCount(), 0u);
  EXPECT_EQ(readRecord(wav)->sourceTagFormat().value_or("?"), "");
}

// --- Renaming -------------------------------------------------------------------

TEST_F(WriterTest, RenamingNumbersTakenNamesAndMovesOrCopies) {
  const fs::path a = dir_ / "song.mp3";
  test::writeFile(a, "a");
  test::writeFile(dir_ / "taken.mp3", "x");
  auto record = std::make_shared<AudioMetadata>();
  record->setSourceLocation(a.string());
  Error error;

  ASSERT_TRUE(AudioFileWriter::renameFileTo(*record, (dir_ / "taken.mp3").string(), false, &error));
  EXPECT_EQ(*record->sourceLocation(), (dir_ / "taken 2.mp3").string());
  test::writeFile(a, "b");
  auto second = std::make_shared<AudioMetadata>();
  second->setSourceLocation(a.string());
  ASSERT_TRUE(AudioFileWriter::renameFileTo(*second, (dir_ / "taken.mp3").string(), false, &error));
  EXPECT_EQ(*second->sourceLocation(), (dir_ / "taken 3.mp3").string());
  EXPECT_EQ(test::readFile(dir_ / "taken.mp3"), "x");

  // A change of letter case only is not numbered; a name without an
  // extension gets the counter at its end.
  ASSERT_TRUE(
      AudioFileWriter::renameFileTo(*second, (dir_ / "TAKEN 3.mp3").string(), false, &error));
  EXPECT_EQ(*second->sourceLocation(), (dir_ / "TAKEN 3.mp3").string());
  EXPECT_EQ(test::readFile(dir_ / "TAKEN 3.mp3"), "b");
  test::writeFile(dir_ / "plain", "p");
  ASSERT_TRUE(AudioFileWriter::renameFileTo(*second, (dir_ / "plain").string(), false, &error));
  EXPECT_EQ(*second->sourceLocation(), (dir_ / "plain 2").string());

  // Copying into a new folder creates it and keeps the record where it was;
  // "copy" into the same folder moves.
  const fs::path copy = dir_ / "new" / "deeper" / "copy.mp3";
  ASSERT_TRUE(AudioFileWriter::renameFileTo(*record, copy.string(), true, &error))
      << error.localizedDescription;
  EXPECT_EQ(*record->sourceLocation(), (dir_ / "taken 2.mp3").string());
  EXPECT_EQ(test::readFile(copy), "a");
  EXPECT_EQ(fs::last_write_time(copy), fs::last_write_time(dir_ / "taken 2.mp3"));
  ASSERT_TRUE(AudioFileWriter::renameFileTo(*record, (dir_ / "moved.mp3").string(), true, &error));
  EXPECT_EQ(*record->sourceLocation(), (dir_ / "moved.mp3").string());
  EXPECT_FALSE(fs::exists(dir_ / "taken 2.mp3"));

  // The same path does nothing; a failed move leaves the location.
  EXPECT_TRUE(AudioFileWriter::renameFileTo(*record, (dir_ / "moved.mp3").string(), false, &error));
  fs::remove(dir_ / "moved.mp3");
  EXPECT_FALSE(AudioFileWriter::renameFileTo(*record, (dir_ / "gone.mp3").string(), false, &error));
  EXPECT_EQ(*record->sourceLocation(), (dir_ / "moved.mp3").string());
  EXPECT_EQ(error.code, fileerror::kNoSuchFile);
}

}  // namespace
}  // namespace quorvel
