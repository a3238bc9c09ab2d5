#include "platform/ImageCodec.h"

#include "platform/ImageCodecModule.h"
#include "platform/ImageHeaderReader.h"
#include "platform/LoadableModule.h"

namespace quorvel {

namespace {

#ifdef QUORVEL_IMAGE_MODULE_LINKED
// Built into the program (sanitizer builds): no loading.
LoadableModule::Result<ImageCodecModule> loadImageModule() {
  return {quorvel_image_codec_module(), {}};
}
#else
LoadableModule::Result<ImageCodecModule> loadImageModule() {
  return LoadableModule::load<ImageCodecModule>(ImageCodecModule::kFileName,
                                                ImageCodecModule::kEntryPoint);
}
#endif

// The module's entry points, or null (with why) when it cannot be loaded.
const ImageCodecModule* imageModule(Error* error) {
  static const LoadableModule::Result<ImageCodecModule> loaded = loadImageModule();
  if (!loaded.entries || loaded.entries->version != ImageCodecModule::kVersion) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kDecodeError,
             "The image library is not available: " +
                 (loaded.entries ? std::string("the image module is of another version")
                                 : loaded.failure) +
                 ".");
    return nullptr;
  }
  return loaded.entries;
}

}  // namespace

std::optional<ImageCodec::Header> ImageCodec::readHeader(const Data& bytes, Error* error) {
  // The common cover formats need no image library at all.
  if (auto header = ImageHeaderReader::read(bytes.view())) {
    return header;
  }
  if (bytes.empty()) {
    setError(error, kErrorDomain, kNotAnImageError, "No image data.");
    return std::nullopt;
  }
  const ImageCodecModule* module = imageModule(error);
  return module ? module->readHeader(bytes, error) : std::nullopt;
}

std::optional<ImageCodec::Image> ImageCodec::decode(const Data& bytes, Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->decode(bytes, error) : std::nullopt;
}

std::optional<ImageCodec::Image> ImageCodec::scaleToSize(const Image& image, std::int64_t width,
                                                         std::int64_t height, Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->scaleToSize(image, width, height, error) : std::nullopt;
}

std::optional<ImageCodec::Image> ImageCodec::render(const Image& image, Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->render(image, error) : std::nullopt;
}

Data ImageCodec::encode(const Image& image, BitmapFileType type, float jpegCompression,
                        Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->encode(image, type, jpegCompression, error) : Data();
}

std::optional<ImageCodec::Image> ImageCodec::fromBitmap(const Bitmap& bitmap, Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->fromBitmap(bitmap, error) : std::nullopt;
}

std::optional<ImageCodec::Bitmap> ImageCodec::bitmap(const Image& image, Error* error) {
  const ImageCodecModule* module = imageModule(error);
  return module ? module->bitmap(image, error) : std::nullopt;
}

Data ImageCodec::convert(const Data& bytes, BitmapFileType type, float jpegCompression,
                         Error* error) {
  auto image = decode(bytes, error);
  if (!image) {
    return {};
  }
  auto rendered = render(*image, error);
  if (!rendered) {
    return {};
  }
  return encode(*rendered, type, jpegCompression, error);
}

}  // namespace quorvel
