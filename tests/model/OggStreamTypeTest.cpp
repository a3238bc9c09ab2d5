#include "model/OggStreamType.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

// Pages built by libogg itself, so CRCs and lacing are right; each packet is
// flushed onto its own page.
std::string oggBytes(const std::vector<std::string>& packets) {
  ogg_stream_state stream;
  ogg_stream_init(&stream, 0x1234);
  std::string bytes;
  long number = 0;
  for (const auto& data : packets) {
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data()));
    packet.bytes = static_cast<long>(data.size());
    packet.b_o_s = number == 0;
    packet.packetno = number++;
    ogg_stream_packetin(&stream, &packet);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
      bytes.append(reinterpret_cast<char*>(page.header), page.header_len);
      bytes.append(reinterpret_cast<char*>(page.body), page.body_len);
    }
  }
  ogg_stream_clear(&stream);
  return bytes;
}

// A first page whose body is `segments` full lacing values: its packet goes
// on past the page. libogg never writes such a first page, so it is made
// here, with libogg computing the CRC.
std::string continuedFirstPage(int segments) {
  std::string header("OggS\0\x02", 6);
  header.append(8, '\0');            // granule position
  header.append("\x34\x12\0\0", 4);  // serial
  header.append(4, '\0');            // sequence number
  header.append(4, '\0');            // CRC, set below
  header.push_back(static_cast<char>(segments));
  header.append(segments, '\xFF');
  std::string body = std::string("\x01vorbis", 7) + std::string(segments * 255 - 7, 'v');
  ogg_page page{};
  page.header = reinterpret_cast<unsigned char*>(header.data());
  page.header_len = static_cast<long>(header.size());
  page.body = reinterpret_cast<unsigned char*>(body.data());
  page.body_len = static_cast<long>(body.size());
  ogg_page_checksum_set(&page);
  return header + body;
}

struct Result {
  OggStreamType type;
  Error error;
};

Result detect(const test::TemporaryDirectory& dir, const std::string& bytes) {
  const auto path = dir / "probe.ogg";
  test::writeFile(path, bytes);
  Result result{OggStreamType::Unknown, {}};
  result.type = oggStreamType(path.string(), &result.error);
  return result;
}

TEST(OggStreamTypeTest, TellsEachCodecFromTheFirstPacket) {
  test::TemporaryDirectory dir;
  const std::string vorbis = std::string("\x01vorbis", 7) + std::string(23, '\0');
  const std::string speex = "Speex   1.2" + std::string(69, '\0');
  const std::string flac =
      "\x7F"
      "FLAC\x01\x00\x00\x01"
      "fLaC" +
      std::string(38, '\0');
  const std::string opus = "OpusHead" + std::string(11, '\0');

  struct Case {
    std::string packet;
    OggStreamType expected;
  };
  const std::vector<Case> cases = {
      {vorbis, OggStreamType::Vorbis},
      {speex, OggStreamType::Speex},
      {flac, OggStreamType::FLAC},
      {opus, OggStreamType::Unknown},
      // Too short for the FLAC test (it needs 9 bytes), and too short for any
      // other: must not read past the packet.
      {std::string("\x7F"
                   "FLAC\x01\x00\x00",
                   8),
       OggStreamType::Unknown},
      {"\x01vorbi", OggStreamType::Unknown},
      {"Speex  ", OggStreamType::Unknown},
      {std::string(1, '\0'), OggStreamType::Unknown},
  };
  for (const auto& c : cases) {
    // Later pages after the first do not matter.
    auto result = detect(dir, oggBytes({c.packet, std::string(100, 'x')}));
    EXPECT_EQ(result.type, c.expected) << c.packet;
    EXPECT_EQ(result.error.code, 0) << result.error.localizedDescription;
  }
}

TEST(OggStreamTypeTest, FirstPageMustFitInTheFirst4096Bytes) {
  test::TemporaryDirectory dir;
  // A 5000-byte header packet flushed as one page: a valid Ogg file whose
  // first page ends past byte 4096.
  const std::string big = std::string("\x01vorbis", 7) + std::string(5000, 'v');
  auto result = detect(dir, oggBytes({big}));
  EXPECT_EQ(result.type, OggStreamType::Unknown);
  EXPECT_EQ(result.error.domain, kQuorvelErrorDomain);
  EXPECT_EQ(result.error.code, kOggNotOggError);
  EXPECT_EQ(result.error.localizedDescription, "Input does not appear to be an Ogg bitstream.");

  // A page that just fits is accepted.
  const std::string fits = std::string("\x01vorbis", 7) + std::string(3900, 'v');
  const std::string bytes = oggBytes({fits});
  ASSERT_LE(bytes.size(), 4096u);
  EXPECT_EQ(detect(dir, bytes).type, OggStreamType::Vorbis);
}

TEST(OggStreamTypeTest, BrokenInputGivesTheMatchingError) {
  test::TemporaryDirectory dir;
  const std::string vorbis = std::string("\x01vorbis", 7) + std::string(23, '\0');
  const std::string good = oggBytes({vorbis});

  // Truncated inside the first page, empty, not Ogg at all, bad CRC.
  std::string badCrc = good;
  badCrc[22] = static_cast<char>(badCrc[22] ^ 0xFF);
  for (const std::string& bytes :
       {good.substr(0, good.size() - 1), std::string(), std::string("RIFF\0\0\0\0WAVE", 12),
        std::string(27, 'O'), badCrc}) {
    auto result = detect(dir, bytes);
    EXPECT_EQ(result.type, OggStreamType::Unknown);
    EXPECT_EQ(result.error.code, kOggNotOggError) << bytes.size();
    EXPECT_EQ(result.error.localizedDescription, "Input does not appear to be an Ogg bitstream.");
  }

  // A first page holding only the start of a packet that continues on the
  // next page has no complete first packet.
  auto result = detect(dir, continuedFirstPage(4));
  EXPECT_EQ(result.error.code, kOggHeaderPacketError);
  EXPECT_EQ(result.error.localizedDescription, "Error reading initial header packet.");

  // A stream structure version other than 0 passes the sync layer (its CRC
  // is right) but is refused by the stream layer.
  std::string version1 = continuedFirstPage(4);
  version1[4] = 1;
  version1.replace(22, 4, 4, '\0');
  ogg_page page{};
  page.header = reinterpret_cast<unsigned char*>(version1.data());
  page.header_len = 27 + 4;
  page.body = page.header + page.header_len;
  page.body_len = static_cast<long>(version1.size()) - page.header_len;
  ogg_page_checksum_set(&page);
  result = detect(dir, version1);
  EXPECT_EQ(result.error.code, kOggFirstPageError);
  EXPECT_EQ(result.error.localizedDescription, "Error reading first page of Ogg bitstream data.");

  // Missing file and a folder.
  Error error;
  EXPECT_EQ(oggStreamType((dir / "missing.ogg").string(), &error), OggStreamType::Unknown);
  EXPECT_EQ(error.code, kOggOpenFailedError);
  EXPECT_EQ(error.localizedDescription, "Opening Input File Failed: No such file or directory.");

  error = {};
  oggStreamType(dir.path().string(), &error);
  EXPECT_EQ(error.code, kOggReadFailedError);
  EXPECT_EQ(error.localizedDescription, "Reading Input File Failed: (Is a directory).");

  // Null error pointer is allowed.
  EXPECT_EQ(oggStreamType((dir / "missing.ogg").string(), nullptr), OggStreamType::Unknown);
}

}  // namespace
}  // namespace quorvel
