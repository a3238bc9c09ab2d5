#include "platform/ContainerHeaderReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AudioFileServices.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

bool haveFFmpeg() {
  static const bool present = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
  return present;
}

// Makes `name` in `folder` from a sine of `seconds` with the given ffmpeg
// output options; false when ffmpeg refuses (an encoder it was built
// without).
bool encode(const fs::path& folder, const std::string& name, int rate, int channels,
            const std::string& options, double seconds = 0.6) {
  const std::string command =
      "ffmpeg -nostdin -y -v error -f lavfi -i sine=frequency=440:duration=" +
      std::to_string(seconds) + ":sample_rate=" + std::to_string(rate) + " -ac " +
      std::to_string(channels) + " " + options + " '" + (folder / name).string() +
      "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Every field the header reader fills must equal the demuxer's, doubles
// exactly. Returns whether the fast path took the file.
bool expectSameAsDemuxer(const fs::path& path) {
  SCOPED_TRACE(path.string());
  const auto fast = ContainerHeaderReader::read(path.string());
  if (!fast) return false;
  EXPECT_TRUE(fast->infoDictionary.empty());
  EXPECT_TRUE(fast->userData.empty());
  const auto slow = openAudioFile(path.string());
  EXPECT_NE(slow, nullptr) << "the demuxer refuses a file the header reader describes";
  if (!slow) return true;
  // Doubles printed with every digit, so "same" means exactly the same.
  auto summary = [](const AudioFileInfo& info) {
    const AudioStreamDescription& d = info.streamDescription;
    std::ostringstream out;
    out << std::setprecision(17) << info.fileTypeName << '|' << d.sampleRate << '|' << d.formatID
        << '|' << d.formatFlags << '|' << d.bytesPerPacket << '|' << d.framesPerPacket << '|'
        << d.channelsPerFrame << '|' << d.bitsPerChannel << '|' << info.dataFormatName << '|'
        << info.estimatedDuration << '|' << info.bitRate << '|'
        << static_cast<long>(info.channelLayoutTag);
    return out.str();
  };
  EXPECT_EQ(summary(*fast), summary(*slow));
  return true;
}

std::uint32_t be32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) << 24 |
                                    static_cast<unsigned char>(bytes[at + 1]) << 16 |
                                    static_cast<unsigned char>(bytes[at + 2]) << 8 |
                                    static_cast<unsigned char>(bytes[at + 3]));
}

void putBe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

// Offset of the first box of `type` below `from` (the boxes on the way are
// descended into), or none.
std::optional<std::size_t> findBox(const std::string& bytes, const std::string& type,
                                   std::size_t from = 0, std::size_t end = std::string::npos,
                                   std::vector<std::size_t>* parents = nullptr) {
  end = std::min(end, bytes.size());
  static const std::vector<std::string> kContainers = {"moov", "trak", "mdia",
                                                       "minf", "stbl", "edts"};
  for (std::size_t at = from; at + 8 <= end;) {
    const std::size_t size = be32(bytes, at);
    if (size < 8 || at + size > end) return std::nullopt;
    const std::string boxType = bytes.substr(at + 4, 4);
    if (boxType == type) return at;
    std::optional<std::size_t> inner;
    if (std::find(kContainers.begin(), kContainers.end(), boxType) != kContainers.end()) {
      inner = findBox(bytes, type, at + 8, at + size, parents);
    } else if (boxType == "stsd") {
      inner = findBox(bytes, type, at + 16, at + size, parents);  // the entry
    } else if (boxType == "mp4a") {
      inner = findBox(bytes, type, at + 36, at + size, parents);  // after the sound entry
    }
    if (inner) {
      if (parents) parents->push_back(at);
      return inner;
    }
    at += size;
  }
  return std::nullopt;
}

// Replaces the decoder configuration of an ffmpeg-made AAC file (movie
// header after the media, so no chunk offset moves) with `config`, fixing
// the sizes of every box and descriptor around it.
std::string withAudioSpecificConfig(std::string bytes, const std::string& config) {
  std::vector<std::size_t> parents;
  const auto esds = findBox(bytes, "esds", 0, std::string::npos, &parents);
  if (!esds) return {};
  const std::size_t configTag = bytes.find(std::string("\x05\x80\x80\x80", 4), *esds);
  if (configTag == std::string::npos) return {};
  const std::size_t oldLength = static_cast<unsigned char>(bytes[configTag + 4]);
  const int growth = static_cast<int>(config.size()) - static_cast<int>(oldLength);
  bytes.replace(configTag + 5, oldLength, config);
  bytes[configTag + 4] = static_cast<char>(config.size());
  // The ES and decoder-config descriptors before it use four-byte lengths.
  for (const std::string& tag :
       {std::string("\x03\x80\x80\x80", 4), std::string("\x04\x80\x80\x80", 4)}) {
    const std::size_t at = bytes.find(tag, *esds);
    bytes[at + 4] = static_cast<char>(static_cast<unsigned char>(bytes[at + 4]) + growth);
  }
  parents.push_back(*esds);
  for (std::size_t box : parents) putBe32(bytes, box, be32(bytes, box) + growth);
  return bytes;
}

TEST(ContainerHeaderReader, DescribesFilesExactlyAsTheDemuxer) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory made;
  const fs::path& dir = made.path();
  // Files the fast path must take: what encoders commonly write.
  std::vector<std::string> mustTake;
  auto make = [&](const std::string& name, int rate, int channels, const std::string& options) {
    ASSERT_TRUE(encode(dir, name, rate, channels, options)) << name;
    mustTake.push_back(name);
  };
  for (int rate : {8000, 22050, 44100, 48000, 96000}) {
    for (int channels : {1, 2, 6}) {
      const std::string suffix = std::to_string(rate) + "_" + std::to_string(channels);
      make("aac_" + suffix + ".m4a", rate, channels, "-c:a aac -b:a 96k");
      make("alac16_" + suffix + ".m4a", rate, channels, "-c:a alac");
      make("alac24_" + suffix + ".m4a", rate, channels, "-c:a alac -sample_fmt s32p");
    }
  }
  make("faststart.m4a", 44100, 2, "-c:a aac -movflags +faststart");
  make("plain.mp4", 48000, 2, "-c:a aac -f mp4");
  make("mono.3gp", 16000, 1, "-c:a aac -f 3gp");
  make("book.m4b", 44100, 2, "-c:a alac -f ipod");
  for (const char* codec :
       {"pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le", "pcm_f32le", "pcm_f64le"}) {
    for (int channels : {1, 2, 6}) {
      make(std::string(codec) + "_" + std::to_string(channels) + ".wav", 44100, channels,
           std::string("-c:a ") + codec);
    }
  }
  make("quad.wav", 96000, 4, "-c:a pcm_s24le");
  make("side51.wav", 48000, 6, "-af 'aformat=channel_layouts=5.1(side)' -c:a pcm_s16le");
  for (const char* codec : {"pcm_s8", "pcm_s16be", "pcm_s24be", "pcm_s32be"}) {
    for (int channels : {1, 2}) {
      make(std::string(codec) + "_" + std::to_string(channels) + ".aiff", 44100, channels,
           std::string("-c:a ") + codec);
    }
  }
  make("low.aif", 8000, 1, "-c:a pcm_s16be");
  for (const char* codec : {"pcm_s16le", "pcm_f32be", "pcm_f64be"}) {
    make(std::string("c_") + codec + ".aifc", 48000, 2, std::string("-c:a ") + codec);
  }

  // HE-AAC and HE-AAC v2 cannot be encoded here; their declarations are
  // written into an LC file (the demuxer does not decode, so it reads the
  // same declaration we do).
  const std::string lc = test::readFile(dir / "aac_44100_2.m4a");
  const struct {
    const char* name;
    std::string config;
    const char* formatID;
  } declared[] = {
      // explicit SBR: type 5, 22.05 kHz core, stereo, 44.1 kHz, core type 2
      {"he_explicit.m4a", std::string("\x2B\x92\x08\x00", 4), "aach"},
      // backward compatible: LC 22.05 kHz stereo + sync extension SBR 44.1 kHz
      {"he_compatible.m4a", std::string("\x13\x90\x56\xE5\xA0", 5), "aach"},
      // as above + PS, mono core
      {"hev2_compatible.m4a", std::string("\x13\x88\x56\xE5\xA5\x48\x80", 7), "aacp"},
  };
  for (const auto& file : declared) {
    const std::string bytes = withAudioSpecificConfig(lc, file.config);
    ASSERT_FALSE(bytes.empty());
    test::writeFile(dir / file.name, bytes);
    mustTake.push_back(file.name);
    const auto info = ContainerHeaderReader::read((dir / file.name).string());
    ASSERT_NE(info, nullptr) << file.name;
    EXPECT_EQ(info->streamDescription.formatID, file.formatID) << file.name;
    EXPECT_EQ(info->streamDescription.sampleRate, 44100) << file.name;
  }

  // Timing variants: a shorter edit, a media header shorter than the
  // samples, no declared average bit rate.
  auto patched = [&](const std::string& name, const std::string& box, std::size_t offset,
                     std::uint32_t value) {
    std::string bytes = lc;
    const auto at = findBox(bytes, box);
    ASSERT_TRUE(at.has_value()) << box;
    putBe32(bytes, *at + offset, value);
    test::writeFile(dir / name, bytes);
    mustTake.push_back(name);
  };
  patched("short_edit.m4a", "elst", 16, 400);         // segment duration, movie units
  patched("short_media.m4a", "mdhd", 8 + 16, 20000);  // media duration
  patched("edit_from_zero.m4a", "elst", 20, 0);       // media time

  int taken = 0;
  int seen = 0;
  for (const std::string& name : mustTake) {
    ++seen;
    const bool fast = expectSameAsDemuxer(dir / name);
    EXPECT_TRUE(fast) << name << " was left to the demuxer";
    taken += fast;
  }
  // Everything else we have: the fixtures and the shared corpus, where the
  // reader may decline but must never disagree.
  std::vector<fs::path> folders = {test::fixtureDir()};
  if (!test::corpusDir().empty() && fs::is_directory(test::corpusDir() / "taglib")) {
    folders.push_back(test::corpusDir() / "taglib");
  } else {
    std::printf("the shared sample corpus (../shared/corpus/taglib) is not there\n");
  }
  for (const fs::path& folder : folders) {
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      ++seen;
      taken += expectSameAsDemuxer(entry.path());
    }
  }
  std::printf("header reader described %d of %d files\n", taken, seen);
}

TEST(ContainerHeaderReader, DeclinesWhatItCannotBeSureOf) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory made;
  const fs::path& dir = made.path();
  ASSERT_TRUE(
      encode(dir, "fragments.m4a", 44100, 2, "-c:a aac -movflags +frag_keyframe+empty_moov"));
  ASSERT_TRUE(encode(dir, "a.wav", 44100, 2, "-c:a pcm_s16le"));
  ASSERT_TRUE(encode(dir, "alaw.wav", 8000, 1, "-c:a pcm_alaw"));
  EXPECT_EQ(ContainerHeaderReader::read((dir / "fragments.m4a").string()), nullptr);
  EXPECT_EQ(ContainerHeaderReader::read((dir / "alaw.wav").string()), nullptr);
  // The demuxer is chosen by name; a WAVE file named otherwise is probed.
  fs::copy_file(dir / "a.wav", dir / "a.bin");
  fs::copy_file(dir / "a.wav", dir / "no_extension");
  EXPECT_EQ(ContainerHeaderReader::read((dir / "a.bin").string()), nullptr);
  EXPECT_EQ(ContainerHeaderReader::read((dir / "no_extension").string()), nullptr);
  EXPECT_EQ(ContainerHeaderReader::read((dir / "missing.wav").string()), nullptr);
  EXPECT_EQ(ContainerHeaderReader::read(dir.string() + "/folder.wav/"), nullptr);
  fs::create_directory(dir / "folder.m4a");
  EXPECT_EQ(ContainerHeaderReader::read((dir / "folder.m4a").string()), nullptr);

  // A data chunk that runs past the end (a cut copy) is the demuxer's.
  std::string wav = test::readFile(dir / "a.wav");
  test::writeFile(dir / "cut.wav", wav.substr(0, wav.size() - 100));
  EXPECT_EQ(ContainerHeaderReader::read((dir / "cut.wav").string()), nullptr);
  // A second format chunk: which one counts is not ours to guess.
  const std::size_t data = wav.find("data");
  ASSERT_NE(data, std::string::npos);
  std::string twice = wav;
  twice.insert(data, wav.substr(12, 8 + 16));
  test::writeFile(dir / "twice.wav", twice);
  EXPECT_EQ(ContainerHeaderReader::read((dir / "twice.wav").string()), nullptr);
}

// Damaged and hostile headers: every answer is none or the demuxer's, and
// none takes long or reads out of bounds (the sanitizer build checks that).
TEST(ContainerHeaderReader, SurvivesDamagedHeaders) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory made;
  const fs::path& dir = made.path();
  ASSERT_TRUE(encode(dir, "s.m4a", 44100, 2, "-c:a aac -movflags +faststart", 0.2));
  ASSERT_TRUE(encode(dir, "s.wav", 8000, 1, "-c:a pcm_s16le", 0.2));
  ASSERT_TRUE(encode(dir, "s.aiff", 8000, 1, "-c:a pcm_s16be", 0.2));
  int variants = 0;
  auto probe = [&](const std::string& name, const std::string& bytes) {
    test::writeFile(dir / name, bytes);
    ++variants;
    expectSameAsDemuxer(dir / name);
  };
  for (const char* name : {"s.m4a", "s.wav", "s.aiff"}) {
    const std::string bytes = test::readFile(dir / name);
    const std::string extension = fs::path(name).extension().string();
    // Every cut in the headers, then some through the samples.
    for (std::size_t length = 0; length < bytes.size();
         length += length < 2048 ? 7 : bytes.size() / 16) {
      probe("cut" + extension, bytes.substr(0, length));
    }
    // Sizes all ones, all zeros, or slightly off, at every box or chunk
    // header the file has.
    for (std::size_t at = 0; at + 8 <= bytes.size() && at < 4096; ++at) {
      const std::string type = bytes.substr(at + 4, 4);
      const bool isHeader = std::all_of(type.begin(), type.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ' || c == '4';
      });
      if (!isHeader) continue;
      for (std::uint32_t size : {0u, 1u, 8u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        SCOPED_TRACE(type + " at " + std::to_string(at) + " sized " + std::to_string(size));
        std::string damaged = bytes;
        putBe32(damaged, at, size);
        probe("size" + extension, damaged);
        std::string little = bytes;  // RIFF sizes are little-endian
        for (int i = 0; i < 4; ++i) little[at + 4 + i] = static_cast<char>(size >> (8 * i));
        little.replace(at, 4, type);
        probe("le" + extension, little);
      }
    }
  }
  // A file of nothing but empty boxes or chunks.
  std::string boxes = std::string(
      "\0\0\0\x08"
      "free",
      8);
  std::string empties;
  for (int i = 0; i < 20000; ++i) empties += boxes;
  probe("empty.m4a", empties);
  probe("empty.wav", "RIFF\xFF\xFF\xFF\xFFWAVE" + std::string(160000, '\0'));
  probe("empty.aiff",
        "FORM\x7F\xFF\xFF\xFF"
        "AIFF" +
            std::string(160000, '\0'));
  EXPECT_GT(variants, 1000);
}

}  // namespace
}  // namespace quorvel
