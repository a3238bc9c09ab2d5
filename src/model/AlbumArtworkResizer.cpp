#include "model/AlbumArtworkResizer.h"

#include <utility>

namespace quorvel {

void AlbumArtworkResizer::setAlbumArtwork(std::shared_ptr<AlbumArtwork> artwork) {
  albumArtwork_ = std::move(artwork);
  image_.reset();
  if (albumArtwork_) {
    image_ = ImageCodec::decode(albumArtwork_->data());
  }
}

std::shared_ptr<AlbumArtwork> AlbumArtworkResizer::resizedAlbumArtworkWithSize(
    std::int64_t width, std::int64_t height, BitmapFileType imageFormat, float jpegCompression,
    Error* error) const {
  std::optional<ImageCodec::Image> scaled;
  if (image_) {
    scaled = ImageCodec::scaleToSize(*image_, width, height);
  }
  if (!scaled) {
    setError(error, kErrorDomain, kScaleError, "Unable to scale CIImage.");
    return nullptr;
  }
  auto bitmap = ImageCodec::render(*scaled);
  if (!bitmap) {
    setError(error, kErrorDomain, kBitmapError,
             "Unable to create bitmap representation of scaled image.");
    return nullptr;
  }
  Data encoded = ImageCodec::encode(*bitmap, imageFormat, jpegCompression);
  if (encoded.empty()) {
    setError(error, kErrorDomain, kEncodeError,
             "Unable to create image from bitmap representation");
    return nullptr;
  }
  auto resized = std::make_shared<AlbumArtwork>();
  resized->setData(encoded);
  resized->setArtworkType(albumArtwork_->artworkType());
  resized->setComments(albumArtwork_->comments());
  return resized;
}

}  // namespace quorvel
