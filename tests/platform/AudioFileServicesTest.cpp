#include "platform/AudioFileServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/CafFile.h"
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

// A 16-bit little-endian stereo CAF of 0.5 seconds at 8 kHz, with the chunks
// the metadata reader looks at.
std::string handMadeCaf() {
  double rate = 8000;
  std::uint64_t rateBits;
  std::memcpy(&rateBits, &rate, sizeof rate);
  const std::string desc =
      be(rateBits, 8) + "lpcm" + be(2, 4) + be(4, 4) + be(1, 4) + be(2, 4) + be(16, 4);
  const std::string info = be(2, 4) + std::string(
                                          "artist\0Someone\0tempo\0"
                                          "96\0",
                                          25);
  std::string audio = be(0, 4);
  for (int i = 0; i < 16000; ++i) audio.push_back(static_cast<char>(i % 251));
  return std::string("caff\0\x01\0\0", 8) + chunk("desc", desc) +
         chunk("chan", be((101u << 16) | 2, 4) + be(0, 8)) + chunk("info", info) +
         chunk("midi", "MThd-data") + chunk("uuid", std::string(16, 'u') + "one") +
         chunk("uuid", std::string(16, 'u') + "two") + chunk("data", audio);
}

bool haveFFmpeg() {
  static const bool available =
      std::system("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1") == 0;
  return available;
}

// Runs a shell command and returns what it printed.
std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  ::pclose(pipe);
  return output;
}

// Makes one second of a 440 Hz tone with `arguments` into `path`.
bool makeTone(const std::filesystem::path& path, const std::string& arguments) {
  const std::string command =
      "ffmpeg -nostdin -y -v error -f lavfi -i sine=frequency=440:duration=1:sample_rate=44100 " +
      arguments + " '" + path.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST(AudioFileServicesTest, ReadsAHandMadeCafCompletely) {
  test::TemporaryDirectory dir;
  const auto path = dir / "loop.caf";
  test::writeFile(path, handMadeCaf());

  Error error;
  auto info = openAudioFile(path.string(), &error);
  ASSERT_TRUE(info) << error.localizedDescription;
  EXPECT_EQ(info->fileTypeName, "CAF file");
  EXPECT_EQ(info->streamDescription.sampleRate, 8000.0);
  EXPECT_EQ(info->streamDescription.formatID, "lpcm");
  EXPECT_EQ(info->streamDescription.formatFlags, 12u);  // signed integer, packed, little-endian
  EXPECT_EQ(info->streamDescription.channelsPerFrame, 2u);
  EXPECT_EQ(info->streamDescription.bitsPerChannel, 16u);
  EXPECT_EQ(info->dataFormatName, "Linear PCM");
  EXPECT_DOUBLE_EQ(info->estimatedDuration, 0.5);
  EXPECT_EQ(info->bitRate, 8000 * 16 * 2);
  EXPECT_EQ(info->channelLayoutTag, ChannelLayoutTag::Stereo);
  EXPECT_EQ(channelLayoutName(info->channelLayoutTag), "Stereo");
  EXPECT_EQ(info->infoDictionary, (InfoDictionary{{"artist", "Someone"}, {"tempo", "96"}}));
  EXPECT_EQ(info->userDataChunk("uuid", 1)->view(), std::string(16, 'u') + "two");

  // Rewritten through the service; the chunk layer keeps the other bytes.
  ASSERT_TRUE(writeInfoDictionary(path.string(), {{"title", "Loop"}}, &error))
      << error.localizedDescription;
  auto again = openAudioFile(path.string());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->infoDictionary, (InfoDictionary{{"title", "Loop"}}));
}

TEST(AudioFileServicesTest, FailuresSayWhy) {
  test::TemporaryDirectory dir;
  Error error;
  EXPECT_FALSE(openAudioFile((dir / "missing.caf").string(), &error));
  EXPECT_EQ(error.domain, kOSStatusErrorDomain);
  EXPECT_EQ(error.code, osstatus::kFileNotFoundError);

  EXPECT_FALSE(openAudioFile(dir.path().string(), &error));
  EXPECT_EQ(error.code, osstatus::kUnsupportedFileTypeError);

  const auto text = dir / "notes.caf";
  test::writeFile(text, "just some text, not audio at all\n");
  EXPECT_FALSE(openAudioFile(text.string(), &error));
  EXPECT_EQ(error.code, osstatus::kUnsupportedFileTypeError);

  // A playlist would make a demuxer open other files; it is not an audio
  // container of the platform.
  const auto playlist = dir / "list.m3u8";
  test::writeFile(playlist, "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n/etc/passwd\n");
  EXPECT_FALSE(openAudioFile(playlist.string(), &error));

  // A CAF file cut inside its header chunks.
  const auto cut = dir / "cut.caf";
  test::writeFile(cut, handMadeCaf().substr(0, 30));
  EXPECT_FALSE(openAudioFile(cut.string(), &error));
  EXPECT_EQ(error.code, osstatus::kInvalidFileError);

  // Only CAF dictionaries are written; other files stay as they are.
  EXPECT_FALSE(writeInfoDictionary(text.string(), {{"title", "x"}}, &error));
  EXPECT_EQ(error.code, osstatus::kUnsupportedFileTypeError);
  EXPECT_EQ(test::readFile(text), "just some text, not audio at all\n");
  EXPECT_FALSE(writeInfoDictionary((dir / "missing.caf").string(), {}, &error));
  EXPECT_EQ(error.code, osstatus::kFileNotFoundError);
}

struct Expected {
  std::string name;
  std::string arguments;
  std::string fileType;
  std::string formatID;
  std::uint32_t formatFlags;
  std::string dataFormat;
  std::uint32_t bitsPerChannel;
};

TEST(AudioFileServicesTest, DescribesContainersMadeByFFmpeg) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory dir;
  const std::vector<Expected> cases = {
      {"pcm.caf", "-ac 2", "CAF file", "lpcm", 14, "Linear PCM", 16},
      {"alac.caf", "-c:a alac", "CAF file", "alac", 1, "Apple Lossless", 0},
      {"pcm.aiff", "", "AIFF file", "lpcm", 14, "Linear PCM", 16},
      {"float.aifc", "-c:a pcm_f32be -f aiff", "AIFF-C file", "lpcm", 11, "Linear PCM", 32},
      {"ima.aifc", "-c:a adpcm_ima_qt -f aiff", "AIFF-C file", "ima4", 0, "IMA 4:1", 0},
      {"pcm24.wav", "-c:a pcm_s24le", "WAVE file", "lpcm", 12, "Linear PCM", 24},
      {"ulaw.au", "-c:a pcm_mulaw", "AU file", "ulaw", 0, "\xC2\xB5Law 2:1", 8},
      {"aac.m4a", "-c:a aac", "Apple MPEG-4 Audio file", "aac ", 2, "AAC", 0},
      {"alac24.m4a", "-c:a alac -sample_fmt s32p", "Apple MPEG-4 Audio file", "alac", 3,
       "Apple Lossless", 0},
      {"aac.3gp", "-c:a aac", "3GPP file", "aac ", 2, "AAC", 0},
      {"tone.mp2", "", "MPEG Layer 2 file", ".mp2", 0, "MPEG Layer 2", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir / c.name;
    ASSERT_TRUE(makeTone(path, c.arguments));
    Error error;
    auto info = openAudioFile(path.string(), &error);
    ASSERT_TRUE(info) << error.localizedDescription;
    EXPECT_EQ(info->fileTypeName, c.fileType);
    EXPECT_EQ(info->streamDescription.formatID, c.formatID);
    EXPECT_EQ(info->streamDescription.formatFlags, c.formatFlags);
    EXPECT_EQ(info->dataFormatName, c.dataFormat);
    EXPECT_EQ(info->streamDescription.bitsPerChannel, c.bitsPerChannel);
    EXPECT_EQ(info->streamDescription.sampleRate, 44100.0);
    EXPECT_NEAR(info->estimatedDuration, 1.0, 0.05);
    EXPECT_GT(info->bitRate, 0);
    EXPECT_NE(info->channelLayoutTag, ChannelLayoutTag::None);
    EXPECT_FALSE(info->userDataChunk("midi", 0));
    if (c.name.ends_with(".caf")) {
      EXPECT_TRUE(info->userDataChunk("desc", 0));
    }
  }

  // Quadraphonic through a declared layout.
  const auto quad = dir / "quad.wav";
  ASSERT_TRUE(makeTone(quad, "-af 'pan=quad|c0=c0|c1=c0|c2=c0|c3=c0'"));
  auto info = openAudioFile(quad.string());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->streamDescription.channelsPerFrame, 4u);
  EXPECT_EQ(info->channelLayoutTag, ChannelLayoutTag::Quadraphonic);
}

TEST(AudioFileServicesTest, MetadataOfOtherContainersUsesThePlatformKeys) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory dir;
  const std::string tags =
      "-metadata title=Ti -metadata artist=Ar -metadata album=Al -metadata genre=Ge "
      "-metadata date=2021 -metadata composer=Co -metadata comment=Cm -metadata copyright=Cp "
      "-metadata track=3 -c:a aac";
  const auto path = dir / "tagged.m4a";
  ASSERT_TRUE(makeTone(path, tags));
  auto info = openAudioFile(path.string());
  ASSERT_TRUE(info);
  const InfoDictionary& d = info->infoDictionary;
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"title", "Ti"},
                                                        {"artist", "Ar"},
                                                        {"album", "Al"},
                                                        {"genre", "Ge"},
                                                        {"year", "2021"},
                                                        {"composer", "Co"},
                                                        {"comments", "Cm"},
                                                        {"copyright", "Cp"},
                                                        {"track number", "3"}}) {
    EXPECT_EQ(d.value(key) ? *d.value(key) : "<none>", value) << key;
  }
  EXPECT_TRUE(d.contains("encoding application"));
  EXPECT_FALSE(d.contains("date"));
  EXPECT_FALSE(writeInfoDictionary(path.string(), d));
}

TEST(AudioFileServicesTest, RewrittenCafIsReadByFFmpegWithTheSameAudio) {
  if (!haveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::TemporaryDirectory dir;
  for (const std::string arguments : {"-ac 2 -metadata title=Old", "-c:a alac"}) {
    SCOPED_TRACE(arguments);
    const auto path = dir / "tone.caf";
    ASSERT_TRUE(makeTone(path, arguments));
    const std::string md5 = "ffmpeg -nostdin -v error -i '" + path.string() + "' -f md5 - 2>&1";
    const std::string audioBefore = run(md5);
    ASSERT_NE(audioBefore.find("MD5="), std::string::npos);

    InfoDictionary info{{"title", "Nouveau titre"}, {"artist", "Ärtist"}, {"year", "1999"}};
    Error error;
    ASSERT_TRUE(writeInfoDictionary(path.string(), info, &error)) << error.localizedDescription;
    EXPECT_EQ(run(md5), audioBefore);
    const std::string tags =
        run("ffprobe -v error -show_entries format_tags -of compact '" + path.string() + "'");
    EXPECT_NE(tags.find("tag:title=Nouveau titre"), std::string::npos) << tags;
    EXPECT_NE(tags.find("tag:artist=Ärtist"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("Old"), std::string::npos) << tags;
    auto reread = openAudioFile(path.string());
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->infoDictionary, info);
  }
}

TEST(AudioFileServicesTest, LoaderThreadsOpenFilesAtOnce) {
  test::TemporaryDirectory dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) {
    paths.push_back((dir / ("f" + std::to_string(i) + ".caf")).string());
    test::writeFile(paths.back(), handMadeCaf());
  }
  if (haveFFmpeg()) {
    for (const char* name : {"a.m4a", "b.wav", "c.aiff"}) {
      paths.push_back((dir / name).string());
      ASSERT_TRUE(makeTone(paths.back(), ""));
    }
  }
  auto describe = [](const std::string& path) {
    auto info = openAudioFile(path);
    return info ? info->fileTypeName + "/" + info->dataFormatName + "/" +
                      std::to_string(info->bitRate)
                : "none";
  };
  std::vector<std::string> expected;
  for (const auto& path : paths) expected.push_back(describe(path));
  ASSERT_EQ(std::count(expected.begin(), expected.end(), "none"), 0);
  std::vector<std::vector<std::string>> results(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (const auto& path : paths) results[t].push_back(describe(path));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) {
    ASSERT_EQ(result.size(), paths.size() * 5);
    for (std::size_t i = 0; i < result.size(); ++i)
      EXPECT_EQ(result[i], expected[i % paths.size()]);
  }
}

}  // namespace
}  // namespace quorvel
