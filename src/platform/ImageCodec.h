#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// Bitmap file types, numbered as the desktop's bitmap image classes number them.
enum class BitmapFileType : int { TIFF = 0, BMP = 1, GIF = 2, JPEG = 3, PNG = 4 };

// Decoding, scaling and encoding of artwork images, on libvips. Nothing else in
// the core touches the image library. It lives in a module of its own
// (quorvel-image.so, see platform/modules/) that is loaded the first time an
// image needs more than its header: libvips and the dozens of libraries it
// brings cost a noticeable part of a second to load, and reading a library
// of files rarely needs them (JPEG and PNG sizes are read directly). The
// library is set up once, with its operation cache off (artwork is decoded
// once and dropped) and its warnings silenced (failures come back as Error
// values instead). When the module cannot be loaded every call fails with
// kDecodeError saying so.
//
// Hostile input is expected: only the common picture formats are accepted
// (JPEG, PNG, GIF, TIFF, WebP, HEIF, and BMP), and an image whose header
// declares more than kMaxPixels pixels is never decoded.
class ImageCodec {
 public:
  // Error domain and codes of this layer (callers usually map them to their own).
  static constexpr const char* kErrorDomain = "org.quorvel.Quorvel.errordomain.imagecodec";
  static constexpr int kNotAnImageError = 1;
  static constexpr int kTooLargeError = 2;
  static constexpr int kDecodeError = 3;
  static constexpr int kEncodeError = 4;

  // Largest pixel count decoded (16384 x 16384); larger images are refused.
  static constexpr std::int64_t kMaxPixels = std::int64_t{16384} * 16384;

  // What the header of an encoded image says.
  struct Header {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // True when the image is within the decoding limits.
    bool decodable = false;
  };

  // An image ready to be scaled, materialised or encoded. Holds the bytes it
  // came from (shared, not copied); pixel work happens lazily in the calls
  // below, so copies are cheap and any thread may use its own copy.
  class Image {
   public:
    // What the image module keeps to make the pixels; opaque outside it.
    struct Pipeline;
    Image(std::shared_ptr<const Pipeline> pipeline, std::int64_t width, std::int64_t height)
        : pipeline_(std::move(pipeline)), width_(width), height_(height) {}

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    const std::shared_ptr<const Pipeline>& pipeline() const { return pipeline_; }

   private:
    std::shared_ptr<const Pipeline> pipeline_;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
  };

  // Reads only the header of `bytes`: no pixel is decoded. None when the bytes
  // are empty or not in an accepted format, or the header cannot be read
  // (`error` says which). An oversized image returns its declared size with
  // decodable = false. Thread: any.
  static std::optional<Header> readHeader(const Data& bytes, Error* error = nullptr);

  // Prepares `bytes` for pixel work (reads the header only). None, with
  // `error`, when readHeader fails or the image is oversized. Thread: any.
  static std::optional<Image> decode(const Data& bytes, Error* error = nullptr);

  // An image exactly `width` x `height`: the edges are extended without limit,
  // the result is scaled by width / w and height / h independently (Lanczos 3
  // when reducing) and cropped from the origin. Nothing is decoded yet. None
  // for a size outside 1..kMaxPixels. Thread: any.
  static std::optional<Image> scaleToSize(const Image& image, std::int64_t width,
                                          std::int64_t height, Error* error = nullptr);

  // Decodes and processes the pixels into memory as 8-bit sRGB (alpha kept):
  // the bitmap the encoders read. None, with `error`, when the pixels cannot
  // be decoded; damaged or truncated image data counts as undecodable rather
  // than being filled in. Thread: any.
  static std::optional<Image> render(const Image& image, Error* error = nullptr);

  // Encodes in `type` without metadata; JPEG takes quality
  // round(jpegCompression * 100) clamped to 1..100. Empty Data, with `error`,
  // on failure. Thread: any.
  static Data encode(const Image& image, BitmapFileType type, float jpegCompression,
                     Error* error = nullptr);

  // Raw 8-bit samples of an image, rows top to bottom, `bands` per pixel
  // (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA).
  struct Bitmap {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bands = 0;
    ByteBuffer samples;
  };

  // An image made from raw samples (the samples are copied). None when the
  // size is outside the limits, `bands` is not 1 to 4, or the buffer does not
  // hold width * height * bands bytes. Thread: any.
  static std::optional<Image> fromBitmap(const Bitmap& bitmap, Error* error = nullptr);

  // The samples of the image after render(). None, with `error`, when the
  // pixels cannot be decoded. Thread: any.
  static std::optional<Bitmap> bitmap(const Image& image, Error* error = nullptr);

  // Decodes `bytes` and re-encodes them in `type` (decode, render, encode).
  // Empty Data with `error` on failure. Thread: any.
  static Data convert(const Data& bytes, BitmapFileType type, float jpegCompression,
                      Error* error = nullptr);
};

}  // namespace quorvel
