#include "platform/CafFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/OSStatus.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

std::string be(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

std::string chunk(const std::string& type, const std::string& body) {
  return type + be(body.size(), 8) + body;
}

std::string desc(double rate, const char* format, std::uint32_t flags, std::uint32_t bytesPerPacket,
                 std::uint32_t framesPerPacket, std::uint32_t channels, std::uint32_t bits) {
  std::uint64_t rateBits;
  std::memcpy(&rateBits, &rate, sizeof rate);
  return chunk("desc", be(rateBits, 8) + format + be(flags, 4) + be(bytesPerPacket, 4) +
                           be(framesPerPacket, 4) + be(channels, 4) + be(bits, 4));
}

const std::string kHeader("caff\0\x01\0\0", 8);
const std::string kUuid1 = std::string(16, '\x11') + "first";
const std::string kUuid2 = std::string(16, '\x22') + "second";
const std::string kMidi = "MThd\0\0\0\x06\0\0\0\x01\0\x60";

std::string audio(std::size_t bytes) {
  std::string data = be(0, 4);  // edit count
  for (std::size_t i = 0; i < bytes; ++i) data.push_back(static_cast<char>(i * 13 + 5));
  return data;
}

// 16-bit stereo PCM, 100 frames, with every kind of chunk the readers use.
std::string pcmCaf() {
  std::string info = be(4, 4) + std::string("artist\0Some Artist\0title\0T\xC3\xADtulo\0", 33) +
                     std::string("bad\0\xFF\xFE\0", 7);  // not UTF-8: left out
  // The count says 4 but only three entries are there.
  return kHeader + desc(44100, "lpcm", 12, 4, 1, 2, 16) +
         chunk("chan", be((101u << 16) | 2, 4) + be(0, 4) + be(0, 4)) + chunk("info", info) +
         chunk("midi", kMidi) + chunk("uuid", kUuid1) + chunk("uuid", kUuid2) +
         chunk("data", audio(400));
}

std::optional<CafFile> parse(const std::string& bytes, Error* error = nullptr) {
  std::istringstream in(bytes);
  return CafFile::read(in, error);
}

std::string rewrite(const std::string& bytes, const InfoDictionary& info) {
  std::istringstream in(bytes);
  std::ostringstream out;
  Error error;
  EXPECT_TRUE(CafFile::rewriteWithInfoDictionary(in, out, info, &error))
      << error.localizedDescription;
  return out.str();
}

// Every chunk of a file other than "info", as type and bytes, in order.
std::vector<std::string> chunksBesidesInfo(const std::string& bytes) {
  std::vector<std::string> result;
  auto caf = parse(bytes);
  EXPECT_TRUE(caf);
  if (!caf) return result;
  for (const auto& c : caf->chunks()) {
    if (c.type != "info") result.push_back(bytes.substr(c.offset, 12 + c.bodySize));
  }
  return result;
}

TEST(CafFileTest, ReadsDescriptionInfoLayoutAndUserData) {
  Error error;
  auto caf = parse(pcmCaf(), &error);
  ASSERT_TRUE(caf) << error.localizedDescription;
  const auto& d = caf->description();
  EXPECT_EQ(d.sampleRate, 44100.0);
  EXPECT_EQ(d.formatID, static_cast<std::uint32_t>(fourCharCode("lpcm")));
  EXPECT_EQ(d.formatFlags, 12u);
  EXPECT_EQ(d.bytesPerPacket, 4u);
  EXPECT_EQ(d.framesPerPacket, 1u);
  EXPECT_EQ(d.channelsPerFrame, 2u);
  EXPECT_EQ(d.bitsPerChannel, 16u);
  EXPECT_EQ(caf->audioDataSize(), 400u);
  EXPECT_DOUBLE_EQ(caf->estimatedDuration(), 100 / 44100.0);

  ASSERT_TRUE(caf->channelLayout());
  EXPECT_EQ(caf->channelLayout()->tag, (101u << 16) | 2);

  EXPECT_TRUE(caf->hasInfoChunk());
  EXPECT_EQ(caf->infoDictionary(),
            (InfoDictionary{{"artist", "Some Artist"}, {"title", "T\xC3\xADtulo"}}));

  ASSERT_TRUE(caf->userDataChunk("midi", 0));
  EXPECT_EQ(caf->userDataChunk("midi", 0)->view(), kMidi);
  EXPECT_FALSE(caf->userDataChunk("midi", 1));
  EXPECT_EQ(caf->userDataChunk("uuid", 0)->view(), kUuid1);
  EXPECT_EQ(caf->userDataChunk("uuid", 1)->view(), kUuid2);
  EXPECT_FALSE(caf->userDataChunk("uuid", 2));
  EXPECT_FALSE(caf->userDataChunk("data", 0));
  EXPECT_FALSE(caf->packetTable());
}

TEST(CafFileTest, DurationOfCompressedAudioComesFromThePacketTable) {
  // AAC: 1024 frames per packet, 3 packets, 2048 priming + remainder frames.
  const std::string pakt = be(3, 8) + be(1024, 8) + be(2048, 4) + be(0, 4) + "\x10\x10\x10";
  const std::string bytes = kHeader + desc(48000, "aac ", 2, 0, 1024, 2, 0) + chunk("pakt", pakt) +
                            chunk("data", audio(48));
  auto caf = parse(bytes);
  ASSERT_TRUE(caf);
  ASSERT_TRUE(caf->packetTable());
  EXPECT_EQ(caf->packetTable()->numberPackets, 3);
  EXPECT_EQ(caf->packetTable()->primingFrames, 2048);
  EXPECT_DOUBLE_EQ(caf->estimatedDuration(), 1024 / 48000.0);
  EXPECT_FALSE(caf->hasInfoChunk());

  // A data chunk of size -1 runs to the end of the file.
  std::string open =
      kHeader + desc(8000, "lpcm", 12, 2, 1, 1, 16) + "data" + be(~0ull, 8) + audio(1600);
  caf = parse(open);
  ASSERT_TRUE(caf);
  EXPECT_EQ(caf->audioDataSize(), 1600u);
  EXPECT_DOUBLE_EQ(caf->estimatedDuration(), 0.1);
}

TEST(CafFileTest, HostileInputFailsCleanly) {
  const std::string good = pcmCaf();
  const std::size_t dataStart = good.size() - 12 - 404;
  // Cut anywhere: before the data chunk's body it is an error; inside the
  // audio it is a short file that still reads.
  for (std::size_t n = 0; n < good.size(); ++n) {
    Error error;
    auto caf = parse(good.substr(0, n), &error);
    if (n >= dataStart + 12) {
      ASSERT_TRUE(caf) << n;
      EXPECT_EQ(caf->audioDataSize(), n - dataStart - 12 >= 4 ? n - dataStart - 16 : 0);
    } else {
      EXPECT_FALSE(caf) << n;
      EXPECT_EQ(error.domain, kOSStatusErrorDomain);
      EXPECT_TRUE(error.code == osstatus::kInvalidFileError ||
                  error.code == osstatus::kUnsupportedFileTypeError)
          << n;
    }
  }

  const std::string d = desc(44100, "lpcm", 12, 4, 1, 2, 16);
  const std::string data = chunk("data", audio(8));
  struct Case {
    std::string bytes;
    int code;
  };
  const std::vector<Case> cases = {
      {"RIFF\0\0\0\0WAVE", osstatus::kUnsupportedFileTypeError},
      {std::string("caff\0\x02\0\0", 8) + d + data, osstatus::kInvalidFileError},
      {kHeader + data, osstatus::kInvalidFileError},  // no desc
      {kHeader + chunk("info", be(0, 4)) + d + data,
       osstatus::kInvalidFileError},  // desc not first
      {kHeader + chunk("desc", std::string(16, '\0')) + data, osstatus::kInvalidFileError},
      {kHeader + d, osstatus::kInvalidFileError},  // no data
      {kHeader + d + data + data, osstatus::kInvalidFileError},
      {kHeader + d + "info" + be(1ull << 62, 8) + be(1, 4) + data, osstatus::kInvalidFileError},
      {kHeader + d + "info" + be(~0ull, 8) + data, osstatus::kInvalidFileError},
      {kHeader + d + "free" + be(~0ull - 5, 8) + data, osstatus::kInvalidFileError},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Error error;
    EXPECT_FALSE(parse(cases[i].bytes, &error)) << i;
    EXPECT_EQ(error.code, cases[i].code) << i;
  }

  // An info chunk whose count is huge and whose last text is unterminated.
  auto caf =
      parse(kHeader + d + chunk("info", be(0xFFFFFFFF, 4) + std::string("a\0b\0c", 5)) + data);
  ASSERT_TRUE(caf);
  EXPECT_EQ(caf->infoDictionary(), (InfoDictionary{{"a", "b"}}));

  // Many tiny chunks are bounded.
  std::string many = kHeader + d;
  for (std::size_t i = 0; i < CafFile::kMaxChunkCount; ++i) many += chunk("free", "");
  EXPECT_FALSE(parse(many + data));

  // A chunk too large to load is listed but yields no user data.
  std::string big = kHeader + d +
                    chunk("midi", std::string(CafFile::kMaxLoadedChunkSize + 1, 'm')) +
                    chunk("midi", "small") + data;
  caf = parse(big);
  ASSERT_TRUE(caf);
  EXPECT_FALSE(caf->userDataChunk("midi", 0));
  EXPECT_EQ(caf->userDataChunk("midi", 1)->view(), "small");
}

TEST(CafFileTest, RewriteReplacesOrAddsInfoAndKeepsEveryOtherByte) {
  const InfoDictionary info{{"title", "New"}, {"artist", "Ärtist"}, {"year", "2024"}};

  // Replaced in place.
  const std::string original = pcmCaf();
  const std::string replaced = rewrite(original, info);
  auto caf = parse(replaced);
  ASSERT_TRUE(caf);
  EXPECT_EQ(caf->infoDictionary(), info);
  EXPECT_EQ(chunksBesidesInfo(replaced), chunksBesidesInfo(original));
  EXPECT_EQ(replaced.substr(replaced.size() - 416), original.substr(original.size() - 416));

  // Added before audio that runs to the end of the file; trailing bytes and
  // the -1 size are kept.
  const std::string open =
      kHeader + desc(8000, "lpcm", 12, 2, 1, 1, 16) + "data" + be(~0ull, 8) + audio(100);
  const std::string added = rewrite(open, info);
  caf = parse(added);
  ASSERT_TRUE(caf);
  ASSERT_EQ(caf->chunks().size(), 3u);
  EXPECT_EQ(caf->chunks()[1].type, "info");
  EXPECT_EQ(caf->chunks()[2].declaredSize, -1);
  EXPECT_EQ(caf->infoDictionary(), info);
  EXPECT_EQ(chunksBesidesInfo(added), chunksBesidesInfo(open));

  const std::string withTrailer =
      kHeader + desc(8000, "lpcm", 12, 2, 1, 1, 16) + chunk("data", audio(10)) + "xyz";
  const std::string trailed = rewrite(withTrailer, {});
  EXPECT_EQ(trailed.substr(trailed.size() - 3), "xyz");
  EXPECT_TRUE(parse(trailed)->hasInfoChunk());
  EXPECT_TRUE(parse(trailed)->infoDictionary().empty());

  // NUL inside a text ends it, so the chunk stays well formed.
  const std::string nul = rewrite(open, {{std::string("ke\0y", 4), std::string("va\0lue", 6)}});
  EXPECT_EQ(parse(nul)->infoDictionary(), (InfoDictionary{{"ke", "va"}}));
}

TEST(CafFileTest, WriteInfoDictionaryReplacesTheFileSafely) {
  test::TemporaryDirectory dir;
  const auto path = dir / "loop.caf";
  test::writeFile(path, pcmCaf());
  ::chmod(path.c_str(), 0640);
  const auto link = dir / "link.caf";
  std::filesystem::create_symlink(path, link);

  Error error;
  ASSERT_TRUE(CafFile::writeInfoDictionary(link.string(), {{"album", "A"}}, &error))
      << error.localizedDescription;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  auto caf = CafFile::readFile(path.string());
  ASSERT_TRUE(caf);
  EXPECT_EQ(caf->infoDictionary(), (InfoDictionary{{"album", "A"}}));
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);

  // Failures leave the file as it was and no temporary file behind.
  const auto wav = dir / "not.caf";
  const std::string riff("RIFF\0\0\0\0WAVEfmt ", 16);
  test::writeFile(wav, riff);
  EXPECT_FALSE(CafFile::writeInfoDictionary(wav.string(), {{"a", "b"}}, &error));
  EXPECT_EQ(error.code, osstatus::kUnsupportedFileTypeError);
  EXPECT_EQ(test::readFile(wav), riff);

  EXPECT_FALSE(CafFile::writeInfoDictionary((dir / "missing.caf").string(), {}, &error));
  EXPECT_EQ(error.domain, kOSStatusErrorDomain);
  EXPECT_EQ(error.code, osstatus::kFileNotFoundError);
  EXPECT_FALSE(CafFile::readFile((dir / "missing.caf").string(), &error));
  EXPECT_EQ(error.code, osstatus::kFileNotFoundError);

  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 3u);
}

}  // namespace
}  // namespace quorvel
