#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "model/AlbumArtwork.h"
#include "platform/ImageCodec.h"
#include "support/Error.h"

namespace quorvel {

// Scales an artwork to an exact pixel size and re-encodes it. One resizer
// serves one thread at a time.
class AlbumArtworkResizer {
 public:
  // Error domain and codes of resizing.
  static constexpr const char* kErrorDomain = "org.quorvel.Quorvel.errordomain.albumartworkresizer";
  static constexpr int kScaleError = 200;
  static constexpr int kBitmapError = 201;
  static constexpr int kEncodeError = 202;

  AlbumArtworkResizer() = default;

  // The source artwork (shared; may be null).
  const std::shared_ptr<AlbumArtwork>& albumArtwork() const { return albumArtwork_; }
  // Keeps `artwork` and prepares its bytes for decoding (header only). An
  // artwork whose bytes are not a decodable image leaves no image, and every
  // resize then fails with error 200.
  void setAlbumArtwork(std::shared_ptr<AlbumArtwork> artwork);

  // A new artwork holding the image scaled to exactly `width` x `height`
  // (stretched, not letterboxed) and encoded as `imageFormat`;
  // `jpegCompression` (0 to 1) is the JPEG quality factor. It carries the
  // source's picture type and comments, not its file name. None on failure,
  // with `error` in kErrorDomain: 200 "Unable to scale CIImage." (no image,
  // or a size outside 1..ImageCodec::kMaxPixels pixels), 201 "Unable to
  // create bitmap representation of scaled image." (the pixels cannot be
  // decoded), 202 "Unable to create image from bitmap representation" (the
  // encoder failed). Decodes and scales on the calling thread.
  std::shared_ptr<AlbumArtwork> resizedAlbumArtworkWithSize(std::int64_t width, std::int64_t height,
                                                            BitmapFileType imageFormat,
                                                            float jpegCompression,
                                                            Error* error = nullptr) const;

 private:
  std::shared_ptr<AlbumArtwork> albumArtwork_;
  std::optional<ImageCodec::Image> image_;
};

}  // namespace quorvel
