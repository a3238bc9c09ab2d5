#pragma once

#include <cstdint>
#include <optional>

#include "platform/ImageCodec.h"

namespace quorvel {

// What the image module (quorvel-image.so) hands the program: the pixel work
// of ImageCodec, each entry with the contract of the ImageCodec function of
// the same name. Module and program are built together from one tree, so the
// types are shared as they are; kVersion only guards against a stale module
// left next to a newer program.
struct ImageCodecModule {
  static constexpr int kVersion = 1;
  static constexpr const char* kEntryPoint = "quorvel_image_codec_module";
  static constexpr const char* kFileName = "quorvel-image.so";

  int version = kVersion;
  std::optional<ImageCodec::Header> (*readHeader)(const Data& bytes, Error* error) = nullptr;
  std::optional<ImageCodec::Image> (*decode)(const Data& bytes, Error* error) = nullptr;
  std::optional<ImageCodec::Image> (*scaleToSize)(const ImageCodec::Image& image,
                                                  std::int64_t width, std::int64_t height,
                                                  Error* error) = nullptr;
  std::optional<ImageCodec::Image> (*render)(const ImageCodec::Image& image,
                                             Error* error) = nullptr;
  Data (*encode)(const ImageCodec::Image& image, BitmapFileType type, float jpegCompression,
                 Error* error) = nullptr;
  std::optional<ImageCodec::Image> (*fromBitmap)(const ImageCodec::Bitmap& bitmap,
                                                 Error* error) = nullptr;
  std::optional<ImageCodec::Bitmap> (*bitmap)(const ImageCodec::Image& image,
                                              Error* error) = nullptr;
};

// The module's one exported symbol, named by ImageCodecModule::kEntryPoint.
using ImageCodecModuleEntry = const ImageCodecModule* (*)();

}  // namespace quorvel

// The entry point itself, for builds that link the module's code in.
extern "C" const quorvel::ImageCodecModule* quorvel_image_codec_module();
