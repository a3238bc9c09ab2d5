#include "model/DSFFile.h"

#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

std::string le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

constexpr std::uint64_t kAudioBytes = 8192;  // one block of 4096 per channel

// A stereo DSD64 file of 3.5 seconds (as the header says; the sample data is
// shorter, which readers do not check). `tag` is appended as the metadata.
std::string dsfBytes(const std::string& tag = {}) {
  const std::uint64_t dataEnd = 28 + 52 + 12 + kAudioBytes;
  std::string bytes =
      "DSD " + le(28, 8) + le(dataEnd + tag.size(), 8) + le(tag.empty() ? 0 : dataEnd, 8);
  bytes += "fmt " + le(52, 8) + le(1, 4) + le(0, 4) + le(2, 4) + le(2, 4) + le(2822400, 4) +
           le(1, 4) + le(2822400ull * 7 / 2, 8) + le(4096, 4) + le(0, 4);
  bytes += "data" + le(12 + kAudioBytes, 8);
  for (std::uint64_t i = 0; i < kAudioBytes; ++i) bytes.push_back(static_cast<char>(i * 7 + 1));
  return bytes + tag;
}

std::string id3Tag(const std::string& title) {
  TagLib::ID3v2::Tag tag;
  tag.setTitle(TagLib::String(title, TagLib::String::UTF8));
  const TagLib::ByteVector data = tag.render(TagLib::ID3v2::v4);
  return std::string(data.data(), data.size());
}

std::string title(const DSFFile& file) { return file.tag()->title().to8Bit(true); }

// mutagen is run with the system's Python: a python3 earlier in PATH (a
// version manager's shim) may lack it.
bool mutagenAvailable() {
  static const bool available =
      std::system("/usr/bin/python3 -c 'import mutagen.dsf' >/dev/null 2>&1") == 0;
  return available;
}

std::string runPython(const std::string& script, const std::string& path) {
  const std::string command = "/usr/bin/python3 -c \"" + script + "\" '" + path + "'";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  ::pclose(pipe);
  return output;
}

TEST(DSFFileTest, ReadsChunksAndProperties) {
  const std::string tagged = dsfBytes(id3Tag("Title"));
  TagLib::ByteVector bytes(tagged.data(), static_cast<unsigned>(tagged.size()));
  TagLib::ByteVectorStream stream(bytes);
  DSFFile file(&stream);
  ASSERT_TRUE(file.isValid());
  const DSFProperties* p = file.audioProperties();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->sampleRate(), 2822400);
  EXPECT_EQ(p->channels(), 2);
  EXPECT_EQ(p->bitsPerSample(), 1);
  EXPECT_EQ(p->bitrate(), 5644);  // 2822400 * 2 * 1 / 1000
  EXPECT_EQ(p->lengthInSeconds(), 3);
  EXPECT_EQ(p->lengthInMilliseconds(), 3500);
  EXPECT_EQ(p->formatVersion(), 1);
  EXPECT_EQ(p->formatID(), 0);
  EXPECT_EQ(p->channelType(), 2);
  EXPECT_EQ(p->blockSizePerChannel(), 4096);
  EXPECT_EQ(p->sampleCount(), 2822400ull * 7 / 2);
  EXPECT_TRUE(file.hasID3v2Tag());
  EXPECT_EQ(file.metadataOffset(), 28u + 52 + 12 + kAudioBytes);
  EXPECT_EQ(title(file), "Title");

  // Without properties and without a tag.
  const std::string untaggedBytes = dsfBytes();
  TagLib::ByteVector plain(untaggedBytes.data(), static_cast<unsigned>(untaggedBytes.size()));
  TagLib::ByteVectorStream plainStream(plain);
  DSFFile untagged(&plainStream, false);
  ASSERT_TRUE(untagged.isValid());
  EXPECT_EQ(untagged.audioProperties(), nullptr);
  EXPECT_FALSE(untagged.hasID3v2Tag());
  EXPECT_EQ(untagged.ID3v2Tag(), nullptr);
  ASSERT_NE(untagged.tag(), nullptr);
  EXPECT_TRUE(untagged.tag()->isEmpty());
  EXPECT_EQ(untagged.ID3v2Tag(), untagged.tag());
}

TEST(DSFFileTest, BrokenFilesAreInvalidAndNeverWritten) {
  const std::string good = dsfBytes(id3Tag("Title"));
  const std::uint64_t dataEnd = 28 + 52 + 12 + kAudioBytes;
  std::vector<std::string> broken;
  // Every truncation is shorter than the declared size.
  for (std::size_t n = 0; n < good.size(); n += (n < 200 ? 1 : 97))
    broken.push_back(good.substr(0, n));
  auto patched = [&](std::size_t at, const std::string& value) {
    std::string bytes = good;
    bytes.replace(at, value.size(), value);
    return bytes;
  };
  broken.push_back(patched(0, "DSF "));
  broken.push_back(patched(4, le(29, 8)));                // DSD chunk size
  broken.push_back(patched(12, le(~0ull, 8)));            // total size
  broken.push_back(patched(12, le(good.size() + 1, 8)));  // total size past the end
  broken.push_back(patched(20, le(100, 8)));              // metadata inside the fmt chunk
  broken.push_back(patched(20, le(dataEnd - 1, 8)));      // metadata inside the audio
  broken.push_back(patched(20, le(good.size() + 1, 8)));  // metadata past the end
  broken.push_back(patched(28, "FMT "));
  broken.push_back(patched(32, le(~0ull, 8)));  // fmt size
  broken.push_back(patched(32, le(1ull << 40, 8)));
  broken.push_back(patched(32, le(12, 8)));
  broken.push_back(patched(80, "DATA"));
  broken.push_back(patched(84, le(~0ull, 8)));        // data size
  broken.push_back(patched(84, le(good.size(), 8)));  // data past the declared end
  broken.push_back(patched(84, le(3, 8)));

  for (std::size_t i = 0; i < broken.size(); ++i) {
    TagLib::ByteVector bytes(broken[i].data(), static_cast<unsigned>(broken[i].size()));
    TagLib::ByteVectorStream stream(bytes);
    DSFFile file(&stream);
    EXPECT_FALSE(file.isValid()) << "case " << i;
    EXPECT_EQ(file.tag(), nullptr);
    EXPECT_FALSE(file.save());
    EXPECT_FALSE(file.strip());
    EXPECT_EQ(*stream.data(), bytes) << "case " << i;
  }

  // A tag header claiming far more than the file holds: read what is there.
  std::string lying = dsfBytes("ID3\x04\x00\x00\x7F\x7F\x7F\x7F");
  TagLib::ByteVector bytes(lying.data(), static_cast<unsigned>(lying.size()));
  TagLib::ByteVectorStream stream(bytes);
  DSFFile file(&stream);
  EXPECT_TRUE(file.isValid());
  EXPECT_TRUE(file.tag()->isEmpty());
}

TEST(DSFFileTest, SaveAppendsReplacesAndStripsTheTag) {
  test::TemporaryDirectory dir;
  const auto path = (dir / "song.dsf").string();
  const std::string original = dsfBytes();
  test::writeFile(path, original);
  const std::uint64_t dataEnd = original.size();

  {
    DSFFile file(path.c_str());
    ASSERT_TRUE(file.isValid());
    file.tag()->setTitle(TagLib::String("Ünïcode title", TagLib::String::UTF8));
    file.tag()->setArtist("Artist");
    ASSERT_TRUE(file.save());
  }
  std::string saved = test::readFile(path);
  EXPECT_EQ(saved.substr(28, dataEnd - 28), original.substr(28)) << "audio changed";
  EXPECT_EQ(saved.substr(12, 8), le(saved.size(), 8)) << "total size";
  EXPECT_EQ(saved.substr(20, 8), le(dataEnd, 8)) << "metadata offset";
  EXPECT_EQ(saved.substr(dataEnd, 4), std::string("ID3\x04", 4));

  {
    DSFFile file(path.c_str());
    ASSERT_TRUE(file.isValid());
    EXPECT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(title(file), "Ünïcode title");
    EXPECT_EQ(file.tag()->artist().to8Bit(true), "Artist");
    // Replace with a much larger tag, then a smaller one; the file never
    // keeps stale bytes after the tag.
    file.tag()->setComment(TagLib::String(std::string(20000, 'c'), TagLib::String::UTF8));
    ASSERT_TRUE(file.save(TagLib::ID3v2::v3));
    EXPECT_EQ(static_cast<std::uint64_t>(file.length()), file.totalFileSize());
    file.tag()->setComment("");
    ASSERT_TRUE(file.save());
    EXPECT_EQ(static_cast<std::uint64_t>(file.length()), file.totalFileSize());
    EXPECT_EQ(file.metadataOffset(), dataEnd);
  }

  if (mutagenAvailable()) {
    const std::string out = runPython(
        "import sys, mutagen.dsf; f = mutagen.dsf.DSF(sys.argv[1]); "
        "print(f.tags['TIT2'].text[0]); print(f.tags['TPE1'].text[0]); "
        "print(f.info.sample_rate, f.info.channels, f.info.bits_per_sample)",
        path);
    EXPECT_EQ(out, "Ünïcode title\nArtist\n2822400 2 1\n");

    // mutagen writes, we read.
    runPython(
        "import sys, mutagen.dsf, mutagen.id3; f = mutagen.dsf.DSF(sys.argv[1]); "
        "f.tags.add(mutagen.id3.TALB(encoding=3, text=['From mutagen'])); f.save()",
        path);
    DSFFile file(path.c_str());
    ASSERT_TRUE(file.isValid());
    EXPECT_EQ(file.tag()->album().to8Bit(true), "From mutagen");
    EXPECT_EQ(title(file), "Ünïcode title");
  } else {
    std::printf("mutagen not available; interop part skipped\n");
  }

  {
    DSFFile file(path.c_str());
    ASSERT_TRUE(file.strip());
    EXPECT_FALSE(file.hasID3v2Tag());
  }
  EXPECT_EQ(test::readFile(path), original);

  // Saving an empty tag to a file without one changes nothing.
  {
    DSFFile file(path.c_str());
    file.tag();
    ASSERT_TRUE(file.save());
  }
  EXPECT_EQ(test::readFile(path), original);
}

TEST(DSFFileTest, TrailingBytesAfterTheDeclaredSizeSurviveASave) {
  test::TemporaryDirectory dir;
  const auto path = (dir / "junk.dsf").string();
  const std::string original = dsfBytes(id3Tag("Old"));
  test::writeFile(path, original + "JUNK");
  {
    DSFFile file(path.c_str());
    ASSERT_TRUE(file.isValid());
    file.tag()->setTitle("A rather longer new title");
    ASSERT_TRUE(file.save());
  }
  const std::string saved = test::readFile(path);
  EXPECT_EQ(saved.substr(saved.size() - 4), "JUNK");
  DSFFile file(path.c_str());
  ASSERT_TRUE(file.isValid());
  EXPECT_EQ(file.totalFileSize() + 4, saved.size());
  EXPECT_EQ(title(file), "A rather longer new title");
}

}  // namespace
}  // namespace quorvel
