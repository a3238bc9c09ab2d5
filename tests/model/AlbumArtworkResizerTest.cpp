#include "model/AlbumArtworkResizer.h"

#include <gtest/gtest.h>

#include "ArtworkTestImages.h"

namespace quorvel {
namespace {

using test::makeImage;

// The RGB(A) samples of one pixel of encoded image bytes.
std::vector<int> pixelAt(const Data& bytes, int x, int y) {
  auto image = ImageCodec::decode(bytes);
  EXPECT_TRUE(image);
  auto bitmap = image ? ImageCodec::bitmap(*image) : std::nullopt;
  EXPECT_TRUE(bitmap);
  if (!bitmap) {
    return {};
  }
  const auto* p = &bitmap->samples[(static_cast<std::size_t>(y) * bitmap->width + x) *
                                   static_cast<std::size_t>(bitmap->bands)];
  return std::vector<int>(p, p + bitmap->bands);
}

AlbumArtworkPtr source(BitmapFileType type, int width, int height) {
  auto artwork = AlbumArtwork::albumArtworkFromData(makeImage(type, width, height), "source.img");
  EXPECT_TRUE(artwork);
  artwork->setArtworkType(4);
  artwork->setComments("back");
  return artwork;
}

TEST(AlbumArtworkResizerTest, ScalesToExactlyTheRequestedSizeInEachFormat) {
  AlbumArtworkResizer resizer;
  resizer.setAlbumArtwork(source(BitmapFileType::JPEG, 1000, 500));
  struct Case {
    BitmapFileType type;
    const char* mime;
  };
  for (const Case& c :
       {Case{BitmapFileType::JPEG, "image/jpeg"}, Case{BitmapFileType::PNG, "image/png"},
        Case{BitmapFileType::GIF, "image/gif"}, Case{BitmapFileType::TIFF, "image/tiff"}}) {
    SCOPED_TRACE(c.mime);
    Error error;
    auto resized = resizer.resizedAlbumArtworkWithSize(300, 300, c.type, 0.8f, &error);
    ASSERT_TRUE(resized) << error.localizedDescription;
    EXPECT_EQ(resized->dimensions(), "300 x 300");
    EXPECT_EQ(resized->mimeType(), c.mime);
    EXPECT_EQ(resized->artworkType(), 4u);
    EXPECT_EQ(resized->comments(), "back");
    EXPECT_FALSE(resized->originalFilename());

    // Stretched, not letterboxed: the halves stay halves and the far
    // corner keeps the image's colour rather than fading into the border.
    auto left = pixelAt(resized->data(), 5, 150);
    auto right = pixelAt(resized->data(), 294, 150);
    auto corner = pixelAt(resized->data(), 299, 299);
    ASSERT_GE(left.size(), 3u);
    EXPECT_GT(left[0], 180);
    EXPECT_LT(left[2], 70);
    EXPECT_GT(right[2], 180);
    EXPECT_LT(right[0], 70);
    EXPECT_GT(corner[2], 180);
  }

  // Enlarging works the same way, to any aspect.
  resizer.setAlbumArtwork(source(BitmapFileType::PNG, 10, 5));
  auto larger = resizer.resizedAlbumArtworkWithSize(41, 17, BitmapFileType::PNG, 1.0f);
  ASSERT_TRUE(larger);
  EXPECT_EQ(larger->dimensions(), "41 x 17");
  auto tiny = resizer.resizedAlbumArtworkWithSize(1, 1, BitmapFileType::JPEG, 0.5f);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->dimensions(), "1 x 1");
}

TEST(AlbumArtworkResizerTest, JPEGCompressionSetsTheQuality) {
  AlbumArtworkResizer resizer;
  auto noisy = AlbumArtwork::albumArtworkFromData(
      makeImage(BitmapFileType::PNG, 200, 200, 1.0f, true), "noise.png");
  ASSERT_TRUE(noisy);
  resizer.setAlbumArtwork(noisy);
  auto low = resizer.resizedAlbumArtworkWithSize(150, 150, BitmapFileType::JPEG, 0.1f);
  auto high = resizer.resizedAlbumArtworkWithSize(150, 150, BitmapFileType::JPEG, 0.95f);
  ASSERT_TRUE(low && high);
  EXPECT_LT(low->dataSize() * 2, high->dataSize());
}

TEST(AlbumArtworkResizerTest, FailsWithTheStepThatFailed) {
  AlbumArtworkResizer resizer;
  Error error;
  EXPECT_FALSE(resizer.resizedAlbumArtworkWithSize(10, 10, BitmapFileType::PNG, 1, &error));
  EXPECT_EQ(error.domain, "org.quorvel.Quorvel.errordomain.albumartworkresizer");
  EXPECT_EQ(error.code, 200);
  EXPECT_EQ(error.localizedDescription, "Unable to scale CIImage.");

  // A bomb is refused before any pixel is decoded.
  auto bomb = std::make_shared<AlbumArtwork>();
  bomb->setData(test::craftedPng(100000, 100000));
  resizer.setAlbumArtwork(bomb);
  error = {};
  EXPECT_FALSE(resizer.resizedAlbumArtworkWithSize(10, 10, BitmapFileType::PNG, 1, &error));
  EXPECT_EQ(error.code, 200);

  // So is a target size beyond the limit, or an empty one.
  resizer.setAlbumArtwork(source(BitmapFileType::PNG, 20, 20));
  for (auto [w, h] : {std::pair<std::int64_t, std::int64_t>{0, 10}, {10, -1}, {100000, 100000}}) {
    error = {};
    EXPECT_FALSE(resizer.resizedAlbumArtworkWithSize(w, h, BitmapFileType::PNG, 1, &error));
    EXPECT_EQ(error.code, 200);
  }

  // A sound header over damaged pixels fails when the bitmap is made.
  const Data png = makeImage(BitmapFileType::PNG, 64, 64, 1.0f, true);
  std::string damaged(png.view());
  const auto idat = damaged.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  for (std::size_t i = idat + 4; i < damaged.size() - 12; ++i) {
    damaged[i] = static_cast<char>(0x5A ^ i);
  }
  auto broken = std::make_shared<AlbumArtwork>();
  broken->setData(Data::fromString(damaged));
  EXPECT_EQ(broken->dimensions(), "64 x 64");
  resizer.setAlbumArtwork(broken);
  error = {};
  EXPECT_FALSE(resizer.resizedAlbumArtworkWithSize(10, 10, BitmapFileType::PNG, 1, &error));
  EXPECT_EQ(error.code, 201);
  EXPECT_EQ(error.localizedDescription, "Unable to create bitmap representation of scaled image.");

  // An encoder that does not exist produces nothing.
  resizer.setAlbumArtwork(source(BitmapFileType::PNG, 20, 20));
  error = {};
  EXPECT_FALSE(
      resizer.resizedAlbumArtworkWithSize(10, 10, static_cast<BitmapFileType>(9), 1, &error));
  EXPECT_EQ(error.code, 202);
  EXPECT_EQ(error.localizedDescription, "Unable to create image from bitmap representation");
  EXPECT_FALSE(resizer.resizedAlbumArtworkWithSize(10, 10, static_cast<BitmapFileType>(9), 1));
}

}  // namespace
}  // namespace quorvel
