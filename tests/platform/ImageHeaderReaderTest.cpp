#include "platform/ImageHeaderReader.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

Data encoded(int width, int height, int bands, BitmapFileType type) {
  ImageCodec::Bitmap bitmap{width, height, bands, {}};
  bitmap.samples.resize(static_cast<std::size_t>(width) * height * bands);
  for (std::size_t i = 0; i < bitmap.samples.size(); ++i) {
    bitmap.samples[i] = static_cast<std::uint8_t>(i * 7);
  }
  auto image = ImageCodec::fromBitmap(bitmap);
  EXPECT_TRUE(image);
  return image ? ImageCodec::encode(*image, type, 0.8f) : Data();
}

// Whatever the quick reader answers must be what the image library says.
TEST(ImageHeaderReaderTest, AgreesWithTheImageLibrary) {
  for (BitmapFileType type : {BitmapFileType::JPEG, BitmapFileType::PNG}) {
    for (int bands : {1, 3, 4}) {
      if (type == BitmapFileType::JPEG && bands == 4) {
        continue;  // the encoder drops alpha
      }
      const Data bytes = encoded(37, 23, bands, type);
      SCOPED_TRACE(::testing::Message() << "type " << static_cast<int>(type) << ", " << bands);
      auto quick = ImageHeaderReader::read(bytes.view());
      ASSERT_TRUE(quick);
      auto decoded = ImageCodec::decode(bytes);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(quick->width, decoded->width());
      EXPECT_EQ(quick->height, decoded->height());
      EXPECT_TRUE(quick->decodable);
      // Every cut of the file either still shows the right size or is left
      // to the library; none is read past its end.
      for (std::size_t n = 0; n < bytes.size(); n += 7) {
        auto cut = ImageHeaderReader::read(bytes.view().substr(0, n));
        if (cut) {
          EXPECT_EQ(cut->width, 37);
          EXPECT_EQ(cut->height, 23);
        }
      }
    }
  }
}

TEST(ImageHeaderReaderTest, LeavesDamageAndOtherFormatsToTheLibrary) {
  std::string png(encoded(5, 4, 3, BitmapFileType::PNG).view());
  std::string badChecksum = png;
  badChecksum[29] = static_cast<char>(badChecksum[29] ^ 1);
  EXPECT_FALSE(ImageHeaderReader::read(badChecksum));

  std::string jpeg(encoded(5, 4, 3, BitmapFileType::JPEG).view());
  // A scan before any frame header.
  EXPECT_FALSE(ImageHeaderReader::read(std::string("\xFF\xD8\xFF\xDA\x00\x02", 6)));
  // A segment length running past the end.
  EXPECT_FALSE(ImageHeaderReader::read(std::string("\xFF\xD8\xFF\xE0\xFF\xF0", 6)));
  // Lossless and hierarchical processes are not answered here.
  for (std::size_t at = 2; at + 1 < jpeg.size(); ++at) {
    if (static_cast<unsigned char>(jpeg[at]) == 0xFF &&
        static_cast<unsigned char>(jpeg[at + 1]) == 0xC0) {
      std::string lossless = jpeg;
      lossless[at + 1] = static_cast<char>(0xC3);
      EXPECT_FALSE(ImageHeaderReader::read(lossless));
      break;
    }
  }
  EXPECT_FALSE(ImageHeaderReader::read(encoded(5, 4, 3, BitmapFileType::GIF).view()));
  EXPECT_FALSE(ImageHeaderReader::read(""));
}

TEST(ImageHeaderReaderTest, HugeDimensionsAreNotDecodable) {
  std::string png(encoded(5, 4, 3, BitmapFileType::PNG).view());
  // 100000 x 100000 in the header chunk, with its checksum redone.
  std::string chunk = png.substr(12, 17);
  for (int field : {4, 8}) {
    chunk[field] = 0;
    chunk[field + 1] = 0x01;
    chunk[field + 2] = static_cast<char>(0x86);
    chunk[field + 3] = static_cast<char>(0xA0);
  }
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : chunk) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  crc = ~crc;
  std::string bomb = png.substr(0, 12) + chunk;
  for (int shift : {24, 16, 8, 0}) {
    bomb += static_cast<char>(crc >> shift);
  }
  bomb += png.substr(33);
  auto header = ImageHeaderReader::read(bomb);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 100000);
  EXPECT_FALSE(header->decodable);
}

}  // namespace
}  // namespace quorvel
