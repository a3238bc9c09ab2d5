#include "model/AlbumArtwork.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "ArtworkTestImages.h"
#include "model/ArtworkDataCache.h"
#include "platform/KeyedArchive.h"
#include "support/MD5.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using test::makeImage;

Data copyOf(const Data& data) { return Data(data.bytes(), data.size()); }

TEST(AlbumArtworkTest, DerivesFieldsFromEachFormat) {
  struct Case {
    BitmapFileType type;
    const char* mime;
    const char* extension;
  };
  for (const Case& c : {Case{BitmapFileType::JPEG, "image/jpeg", "jpg"},
                        Case{BitmapFileType::PNG, "image/png", "png"},
                        Case{BitmapFileType::GIF, "image/gif", "gif"},
                        Case{BitmapFileType::TIFF, "image/tiff", "tiff"}}) {
    SCOPED_TRACE(c.mime);
    const Data bytes = makeImage(c.type, 40, 30);
    auto artwork = AlbumArtwork::albumArtworkFromData(bytes, "cover");
    ASSERT_TRUE(artwork);
    EXPECT_EQ(artwork->mimeType(), c.mime);
    EXPECT_EQ(artwork->description(), c.mime);
    EXPECT_EQ(artwork->extension(), c.extension);
    EXPECT_EQ(artwork->imageFileType(), c.type);
    EXPECT_EQ(artwork->width(), 40);
    EXPECT_EQ(artwork->height(), 30);
    EXPECT_EQ(artwork->dimensions(), "40 x 30");
    EXPECT_EQ(artwork->dataSize(), bytes.size());
    EXPECT_EQ(artwork->md5(), md5Hex(bytes));
    EXPECT_EQ(artwork->originalFilename(), "cover");
  }
  EXPECT_EQ(AlbumArtwork::mimeTypeForData(Data::fromString("MM\x00*")), "image/tiff");
  EXPECT_EQ(AlbumArtwork::mimeTypeForData(Data()), "unknown");

  // A Windows bitmap decodes, yet its first byte names no MIME type, so it
  // is saved as JPEG. A tag reader's "image/bmp" keeps the extension.
  auto bmp = AlbumArtwork::albumArtworkFromData(test::makeBmp(), "cover.bmp");
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->mimeType(), "unknown");
  EXPECT_EQ(bmp->extension(), "jpg");
  EXPECT_EQ(bmp->imageFileType(), BitmapFileType::JPEG);
  EXPECT_EQ(bmp->dimensions(), "2 x 2");
  bmp->setMimeType("image/bmp");
  EXPECT_EQ(bmp->extension(), "bmp");
  EXPECT_EQ(bmp->imageFileType(), BitmapFileType::JPEG);
}

TEST(AlbumArtworkTest, RefusesBytesThatAreNotAnImage) {
  const Data png = makeImage(BitmapFileType::PNG, 8, 8);
  for (const Data& bytes :
       {Data(), Data::fromString("hello"), Data(png.bytes(), 8), Data(png.bytes(), 20),
        Data::fromString("%PDF-1.4\n1 0 obj << >> endobj\ntrailer << >>\n%%EOF\n"),
        Data::fromString("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" "
                         "height=\"10\"></svg>"),
        Data::fromString(std::string(64, '\xFF'))}) {
    EXPECT_FALSE(AlbumArtwork::albumArtworkFromData(bytes, "x")) << bytes.size();
  }
}

TEST(AlbumArtworkTest, RefusesDecompressionBombsWithoutDecoding) {
  // The header alone says how big the image would be; nothing past it is read.
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromData(test::craftedPng(100000, 100000), "bomb.png"));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromData(test::craftedPng(16384, 16385), "bomb.png"));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromData(test::craftedPng(1u << 30, 1), "bomb.png"));
  EXPECT_TRUE(AlbumArtwork::albumArtworkFromData(test::craftedPng(16384, 16384), "edge.png"));

  // Set directly, the declared size is only reported; every decoding path refuses.
  AlbumArtwork artwork;
  artwork.setData(test::craftedPng(100000, 100000));
  EXPECT_EQ(artwork.dimensions(), "100000 x 100000");
  EXPECT_EQ(artwork.mimeType(), "image/png");
  test::TemporaryDirectory dir;
  Error error;
  EXPECT_FALSE(artwork.saveAsType(BitmapFileType::JPEG, (dir / "out.jpg").string(), &error));
  EXPECT_EQ(error.code, ImageCodec::kTooLargeError);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg"));
}

TEST(AlbumArtworkTest, SetDataRecomputesOnlyForAnotherBuffer) {
  const Data png = makeImage(BitmapFileType::PNG, 12, 10);
  AlbumArtwork artwork;
  artwork.setData(png);
  artwork.setMimeType("image/x-from-tag");
  artwork.setData(artwork.data());
  EXPECT_EQ(artwork.mimeType(), "image/x-from-tag");
  artwork.setData(copyOf(png));
  EXPECT_EQ(artwork.mimeType(), "image/png");

  // Bytes that are not an image still get their digest and size.
  artwork.setData(Data::fromString("abc"));
  EXPECT_EQ(artwork.md5(), md5Hex(Data::fromString("abc")));
  EXPECT_EQ(artwork.dimensions(), "0 x 0");
  EXPECT_EQ(artwork.dataSize(), 3u);
}

TEST(AlbumArtworkTest, ReadsFilesAndFileURLs) {
  test::TemporaryDirectory dir;
  const Data png = makeImage(BitmapFileType::PNG, 16, 9);
  const auto path = dir / "cover art.png";
  test::writeFile(path, std::string(png.view()));

  auto fromFile = AlbumArtwork::albumArtworkFromFile(path.string());
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(fromFile->originalFilename(), "cover art.png");
  EXPECT_EQ(fromFile->dimensions(), "16 x 9");

  const std::string folder = dir.path().string();
  auto fromURL = AlbumArtwork::albumArtworkFromURL("file://" + folder + "/cover%20art.png");
  ASSERT_TRUE(fromURL);
  EXPECT_EQ(fromURL->originalFilename(), "cover art.png");
  EXPECT_TRUE(AlbumArtwork::albumArtworkFromURL("FILE://localhost" + folder + "/cover%20art.png"));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromURL("http://example.com/cover.png"));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromURL("file://elsewhere" + folder + "/cover%20art.png"));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromURL("file://" + folder + "/cover%00.png"));

  // Missing files, folders and FIFOs give none, and a FIFO does not block.
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromFile((dir / "missing.png").string()));
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromFile(folder));
  ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  EXPECT_FALSE(AlbumArtwork::albumArtworkFromFile((dir / "fifo.png").string()));
}

TEST(AlbumArtworkTest, WritesBytesAndSavesOnlyWhereNothingExists) {
  test::TemporaryDirectory dir;
  const Data jpeg = makeImage(BitmapFileType::JPEG, 20, 10);
  auto artwork = AlbumArtwork::albumArtworkFromData(jpeg, "a.jpg");
  ASSERT_TRUE(artwork);

  const auto copy = dir / "copy.jpg";
  test::writeFile(copy, "old contents");
  ASSERT_TRUE(artwork->writeToFile(copy.string()));
  EXPECT_EQ(test::readFile(copy), std::string(jpeg.view()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  const auto png = dir / "converted.png";
  Error error;
  ASSERT_TRUE(artwork->saveAsType(BitmapFileType::PNG, png.string(), &error))
      << error.localizedDescription;
  auto converted = AlbumArtwork::albumArtworkFromFile(png.string());
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->mimeType(), "image/png");
  EXPECT_EQ(converted->dimensions(), "20 x 10");

  const auto existing = dir / "existing.gif";
  test::writeFile(existing, "keep me");
  EXPECT_FALSE(artwork->saveAsType(BitmapFileType::GIF, existing.string(), &error));
  EXPECT_EQ(error.code, 516);
  EXPECT_EQ(test::readFile(existing), "keep me");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.tiff");
  EXPECT_FALSE(artwork->saveAsType(BitmapFileType::TIFF, (dir / "dangling.tiff").string()));
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));

  EXPECT_FALSE(artwork->writeToFile((dir / "no-such-folder" / "x.jpg").string(), &error));
  EXPECT_EQ(error.code, 4);  // no such file
}

TEST(AlbumArtworkTest, ArchiveRoundTripAndHostileArchives) {
  const Data gif = makeImage(BitmapFileType::GIF, 7, 5);
  auto artwork = AlbumArtwork::albumArtworkFromData(gif, "cover.gif");
  ASSERT_TRUE(artwork);
  artwork->setArtworkType(4);
  artwork->setComments("Back – côté");
  artwork->setMimeType("image/x-stored");  // derived: not archived

  Error error;
  auto restored = AlbumArtwork::fromArchivedData(artwork->archivedData(), &error);
  ASSERT_TRUE(restored) << error.localizedDescription;
  EXPECT_EQ(restored->artworkType(), 4u);
  EXPECT_EQ(restored->comments(), "Back – côté");
  EXPECT_EQ(restored->originalFilename(), "cover.gif");
  EXPECT_EQ(restored->data(), gif);
  EXPECT_EQ(restored->mimeType(), "image/gif");
  EXPECT_EQ(restored->dimensions(), "7 x 5");
  EXPECT_EQ(restored->md5(), artwork->md5());

  artwork->setComments(std::nullopt);
  artwork->setOriginalFilename(std::nullopt);
  restored = AlbumArtwork::fromArchivedData(artwork->archivedData());
  ASSERT_TRUE(restored);
  EXPECT_FALSE(restored->comments());
  EXPECT_FALSE(restored->originalFilename());

  auto archiveWith = [&](KeyedArchive::Value type, KeyedArchive::Value data,
                         KeyedArchive::Value name, const char* className = "AlbumArtwork") {
    KeyedArchive::Object object{className, {}, {}};
    object.fields = {{"artworkType", type}, {"data", data}, {"originalFilename", name}};
    return KeyedArchive::archive(object);
  };
  const KeyedArchive::Value none;
  EXPECT_TRUE(AlbumArtwork::fromArchivedData(archiveWith(std::int64_t{5}, gif, none)));
  for (const Data& hostile : {
           archiveWith(std::int64_t{-1}, gif, none),
           archiveWith(std::int64_t{1} << 32, gif, none),
           archiveWith(std::int64_t{3}, std::string("not bytes"), none),
           archiveWith(std::int64_t{3}, none, none),
           archiveWith(std::int64_t{3}, Data(), none),
           archiveWith(std::int64_t{3}, gif, std::int64_t{7}),
           archiveWith(std::int64_t{3}, gif, none, "NSObject"),
           Data::fromString("bplist00garbage"),
           Data(gif.bytes(), gif.size()),
       }) {
    error = {};
    EXPECT_FALSE(AlbumArtwork::fromArchivedData(hostile, &error));
    EXPECT_EQ(error.code, KeyedArchive::kReadCorruptError);
    EXPECT_EQ(error.domain, kQuorvelErrorDomain);
  }
}

TEST(AlbumArtworkTest, InterningSharesOneBufferAcrossThreads) {
  const std::vector<Data> covers = {makeImage(BitmapFileType::JPEG, 30, 30),
                                    makeImage(BitmapFileType::PNG, 31, 30),
                                    makeImage(BitmapFileType::GIF, 32, 30)};
  const std::size_t before = ArtworkDataCache::liveEntryCount();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 30;
  std::vector<std::vector<AlbumArtworkPtr>> made(kThreads);
  {
    std::vector<std::jthread> readers;
    for (int t = 0; t < kThreads; ++t) {
      readers.emplace_back([&, t] {
        for (int i = 0; i < kPerThread; ++i) {
          // Each read pulls its own copy out of its file, as a tag reader does.
          auto artwork = std::make_shared<AlbumArtwork>();
          artwork->setData(AlbumArtwork::internedData(copyOf(covers[(i + t) % covers.size()])));
          made[t].push_back(artwork);
        }
      });
    }
  }
  std::vector<const void*> identities(covers.size(), nullptr);
  for (const auto& list : made) {
    for (const auto& artwork : list) {
      const std::size_t which = static_cast<std::size_t>(
          std::find(covers.begin(), covers.end(), artwork->data()) - covers.begin());
      ASSERT_LT(which, covers.size());
      if (!identities[which]) {
        identities[which] = artwork->data().identity();
      }
      EXPECT_EQ(artwork->data().identity(), identities[which]);
      EXPECT_EQ(artwork->md5(), md5Hex(covers[which]));
    }
  }
  EXPECT_EQ(ArtworkDataCache::liveEntryCount(), before + covers.size());

  // Different bytes stay apart.
  auto other = AlbumArtwork::albumArtworkFromData(makeImage(BitmapFileType::JPEG, 30, 31), "o");
  ASSERT_TRUE(other);
  EXPECT_NE(other->data().identity(), identities[0]);

  // Entries expire with the last artwork that holds them.
  made.clear();
  other.reset();
  EXPECT_EQ(ArtworkDataCache::liveEntryCount(), before);
}

}  // namespace
}  // namespace quorvel
