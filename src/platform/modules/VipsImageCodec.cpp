// The image module: ImageCodec's pixel work on libvips, built as its own
// shared object (quorvel-image.so) so that the program loads libvips only
// when an image is actually decoded. Only the entry point is exported.

#include <vips/vips8>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <string_view>

#include "platform/ImageCodecModule.h"

namespace quorvel {

// An image is a recipe that builds a fresh libvips pipeline on demand. Loaders
// run with sequential access, whose output can be read only once, so every
// pixel pass (each scale, render or encode) starts from its own loader; a
// rendered image lives in memory and can be read any number of times.
struct ImageCodec::Image::Pipeline {
  std::function<vips::VImage()> open;
};

namespace {

using Image = ImageCodec::Image;
using Bitmap = ImageCodec::Bitmap;

Image makeImage(std::function<vips::VImage()> open, std::int64_t width, std::int64_t height) {
  return Image(std::make_shared<const Image::Pipeline>(Image::Pipeline{std::move(open)}), width,
               height);
}

using vips::VImage;

// Once per process; thread-safe. The operation cache would keep decoded
// artwork alive for nothing, and warnings about damaged files go to stderr
// where nobody reads them, while the failures themselves come back as errors.
bool vipsReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    ready = VIPS_INIT("quorvel") == 0;
    if (ready) {
      vips_cache_set_max(0);
      vips_cache_set_max_mem(0);
      g_log_set_handler(
          "VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
          [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    }
  });
  return ready;
}

// The message libvips left for the failed call, consumed so that it does not
// prefix the next failure.
std::string takeVipsMessage(const char* fallback) {
  std::string message = vips_error_buffer();
  vips_error_clear();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? std::string(fallback) : message;
}

std::string describe(const vips::VError& e, const char* fallback) {
  std::string message = e.what();
  vips_error_clear();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? std::string(fallback) : message;
}

// Formats a cover may come in. Everything else libvips can open (PDF, SVG,
// raw camera files through ImageMagick, ...) is refused: those loaders are not
// hardened against hostile input and no tag stores such pictures.
bool isAcceptedLoader(std::string_view loader, const Data& bytes) {
  // libvips names the loader by its type name.
  static constexpr std::array<std::string_view, 6> kLoaders = {
      "VipsForeignLoadJpegBuffer", "VipsForeignLoadPngBuffer",  "VipsForeignLoadNsgifBuffer",
      "VipsForeignLoadTiffBuffer", "VipsForeignLoadWebpBuffer", "VipsForeignLoadHeifBuffer"};
  if (std::find(kLoaders.begin(), kLoaders.end(), loader) != kLoaders.end()) {
    return true;
  }
  // ImageMagick is only trusted with Windows bitmaps, recognised by their signature.
  return (loader == "VipsForeignLoadMagickBuffer" || loader == "VipsForeignLoadMagick7Buffer") &&
         bytes.size() >= 2 && bytes.bytes()[0] == 'B' && bytes.bytes()[1] == 'M';
}

struct BlobUnref {
  void operator()(VipsBlob* blob) const { vips_area_unref(VIPS_AREA(blob)); }
};

// Opens `bytes` with `loader`, reading the header only. The bytes are not
// copied; the caller keeps them alive as long as the image.
//
// For pixel work the loader is strict: damaged or truncated image data fails
// instead of being filled in with grey, since whatever is made from the pixels
// (a scaled cover, a converted file) would carry the damage as if it were
// picture. Merely reading the size stays lenient.
VImage openWith(const std::string& loader, const Data& bytes, bool strict) {
  // Released also when the loader throws.
  std::unique_ptr<VipsBlob, BlobUnref> blob(vips_blob_new(nullptr, bytes.bytes(), bytes.size()));
  VImage out;
  VImage::call(loader.c_str(),
               VImage::option()
                   ->set("buffer", blob.get())
                   ->set("out", &out)
                   ->set("access", VIPS_ACCESS_SEQUENTIAL)
                   ->set("fail_on", strict ? VIPS_FAIL_ON_ERROR : VIPS_FAIL_ON_NONE));
  return out;
}

// A 16384 x 16384 image is fine, but so many bands or such wide samples that
// one row takes gigabytes is not.
bool withinLimits(std::int64_t width, std::int64_t height, std::int64_t bands,
                  std::int64_t bytesPerSample) {
  if (width <= 0 || height <= 0 || width > ImageCodec::kMaxPixels ||
      height > ImageCodec::kMaxPixels) {
    return false;
  }
  return width * height <= ImageCodec::kMaxPixels && bands >= 1 && bands <= 16 &&
         bytesPerSample * bands <= 64;
}

struct Opened {
  ImageCodec::Header header;
  std::string loader;
};

std::optional<Opened> openBytes(const Data& bytes, Error* error) {
  if (bytes.empty()) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kNotAnImageError, "No image data.");
    return std::nullopt;
  }
  if (!vipsReady()) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kDecodeError,
             takeVipsMessage("The image library could not be initialised."));
    return std::nullopt;
  }
  const char* found = vips_foreign_find_load_buffer(bytes.bytes(), bytes.size());
  if (!found || !isAcceptedLoader(found, bytes)) {
    vips_error_clear();
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kNotAnImageError,
             "The data is not in a known image format.");
    return std::nullopt;
  }
  Opened opened;
  opened.loader = found;
  try {
    VImage image = openWith(opened.loader, bytes, false);
    opened.header.width = image.width();
    opened.header.height = image.height();
    opened.header.decodable =
        withinLimits(image.width(), image.height(), image.bands(),
                     static_cast<std::int64_t>(vips_format_sizeof(image.format())));
  } catch (const vips::VError& e) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kNotAnImageError,
             describe(e, "The image header could not be read."));
    return std::nullopt;
  }
  return opened;
}

// Lanczos on premultiplied samples, so transparent pixels do not bleed their
// (meaningless) colour into the visible edge.
VImage scalePixels(const VImage& in, double sx, double sy) {
  // Extend the edges to the right and below, far enough that the scaled
  // image reaches past the requested size; the origin stays where it was.
  const int padX = std::max(2, static_cast<int>(std::ceil(2.0 / sx)));
  const int padY = std::max(2, static_cast<int>(std::ceil(2.0 / sy)));
  VImage clamped = in.embed(0, 0, in.width() + padX, in.height() + padY,
                            VImage::option()->set("extend", VIPS_EXTEND_COPY));
  const bool alpha = clamped.has_alpha();
  const VipsBandFormat format = clamped.format();
  VImage source = alpha ? clamped.premultiply() : clamped;
  VImage scaled =
      source.resize(sx, VImage::option()->set("vscale", sy)->set("kernel", VIPS_KERNEL_LANCZOS3));
  if (alpha) {
    scaled = scaled.unpremultiply().cast(format);
  }
  return scaled;
}

std::optional<ImageCodec::Header> readHeader(const Data& bytes, Error* error) {
  auto opened = openBytes(bytes, error);
  if (!opened) {
    return std::nullopt;
  }
  return opened->header;
}

std::optional<Image> decode(const Data& bytes, Error* error) {
  auto opened = openBytes(bytes, error);
  if (!opened) {
    return std::nullopt;
  }
  if (!opened->header.decodable) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kTooLargeError,
             "The image is too large (" + std::to_string(opened->header.width) + " x " +
                 std::to_string(opened->header.height) + ").");
    return std::nullopt;
  }
  return makeImage([loader = opened->loader, bytes] { return openWith(loader, bytes, true); },
                   opened->header.width, opened->header.height);
}

std::optional<Image> scaleToSize(const Image& image, std::int64_t width, std::int64_t height,
                                 Error* error) {
  if (!withinLimits(width, height, 1, 1)) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kTooLargeError,
             "Cannot scale to " + std::to_string(width) + " x " + std::to_string(height) + ".");
    return std::nullopt;
  }
  auto open = [source = image, width, height] {
    const double sx = static_cast<double>(width) / static_cast<double>(source.width());
    const double sy = static_cast<double>(height) / static_cast<double>(source.height());
    VImage scaled = scalePixels(source.pipeline()->open(), sx, sy);
    if (scaled.width() < width || scaled.height() < height) {
      vips_error("scaleToSize", "scaled image is smaller than requested");
      throw vips::VError();
    }
    return scaled.crop(0, 0, static_cast<int>(width), static_cast<int>(height));
  };
  return makeImage(std::move(open), width, height);
}

std::optional<Image> render(const Image& image, Error* error) {
  try {
    VImage pixels = image.pipeline()->open();
    if (pixels.interpretation() != VIPS_INTERPRETATION_sRGB) {
      pixels = pixels.colourspace(VIPS_INTERPRETATION_sRGB);
    }
    if (pixels.bands() > 4) {
      pixels = pixels.extract_band(0, VImage::option()->set("n", 4));
    }
    if (pixels.format() != VIPS_FORMAT_UCHAR) {
      pixels = pixels.cast(VIPS_FORMAT_UCHAR);
    }
    VImage memory = pixels.copy_memory();
    return makeImage([memory] { return memory; }, memory.width(), memory.height());
  } catch (const vips::VError& e) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kDecodeError,
             describe(e, "The image could not be decoded."));
    return std::nullopt;
  }
}

Data encode(const Image& image, BitmapFileType type, float jpegCompression, Error* error) {
  try {
    VImage pixels = image.pipeline()->open();
    std::unique_ptr<VipsBlob, BlobUnref> blob;
    switch (type) {
      case BitmapFileType::JPEG: {
        const double factor = std::isnan(jpegCompression) ? 0.0 : jpegCompression;
        const int quality = std::clamp(static_cast<int>(std::lround(factor * 100.0)), 1, 100);
        blob.reset(pixels.jpegsave_buffer(VImage::option()->set("Q", quality)->set("strip", true)));
        break;
      }
      case BitmapFileType::PNG:
        blob.reset(pixels.pngsave_buffer(VImage::option()->set("strip", true)));
        break;
      case BitmapFileType::GIF:
        blob.reset(pixels.gifsave_buffer(VImage::option()->set("strip", true)));
        break;
      case BitmapFileType::TIFF:
        blob.reset(pixels.tiffsave_buffer(VImage::option()->set("strip", true)));
        break;
      case BitmapFileType::BMP:
        blob.reset(
            pixels.magicksave_buffer(VImage::option()->set("format", "BMP")->set("strip", true)));
        break;
      default:
        setError(error, ImageCodec::kErrorDomain, ImageCodec::kEncodeError,
                 "Unknown bitmap file type.");
        return {};
    }
    size_t length = 0;
    const void* bytes = blob ? vips_blob_get(blob.get(), &length) : nullptr;
    if (!bytes || length == 0) {
      setError(error, ImageCodec::kErrorDomain, ImageCodec::kEncodeError,
               "The encoder produced no data.");
      return {};
    }
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    return Data(std::make_shared<const ByteBuffer>(begin, begin + length));
  } catch (const vips::VError& e) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kEncodeError,
             describe(e, "The image could not be encoded."));
    return {};
  }
}

std::optional<Image> fromBitmap(const Bitmap& bitmap, Error* error) {
  if (!vipsReady() || !withinLimits(bitmap.width, bitmap.height, 1, 1) || bitmap.bands < 1 ||
      bitmap.bands > 4 ||
      bitmap.samples.size() !=
          static_cast<std::size_t>(bitmap.width * bitmap.height * bitmap.bands)) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kDecodeError,
             "The bitmap does not match its size.");
    return std::nullopt;
  }
  auto samples = std::make_shared<const ByteBuffer>(bitmap.samples);
  auto open = [samples, width = static_cast<int>(bitmap.width),
               height = static_cast<int>(bitmap.height), bands = bitmap.bands] {
    // libvips only reads from the buffer; the closure keeps it alive.
    VImage image =
        VImage::new_from_memory(const_cast<std::uint8_t*>(samples->data()), samples->size(), width,
                                height, bands, VIPS_FORMAT_UCHAR);
    return image.copy(VImage::option()->set(
        "interpretation", bands < 3 ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB));
  };
  return makeImage(std::move(open), bitmap.width, bitmap.height);
}

std::optional<Bitmap> bitmap(const Image& image, Error* error) {
  auto rendered = render(image, error);
  if (!rendered) {
    return std::nullopt;
  }
  try {
    VImage pixels = rendered->pipeline()->open();
    size_t size = 0;
    std::unique_ptr<void, decltype(&g_free)> memory(pixels.write_to_memory(&size), &g_free);
    Bitmap result;
    result.width = pixels.width();
    result.height = pixels.height();
    result.bands = pixels.bands();
    const auto* bytes = static_cast<const std::uint8_t*>(memory.get());
    result.samples.assign(bytes, bytes + size);
    return result;
  } catch (const vips::VError& e) {
    setError(error, ImageCodec::kErrorDomain, ImageCodec::kDecodeError,
             describe(e, "The image could not be decoded."));
    return std::nullopt;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const ImageCodecModule*
quorvel_image_codec_module() {
  static const ImageCodecModule module = [] {
    ImageCodecModule m;
    m.readHeader = readHeader;
    m.decode = decode;
    m.scaleToSize = scaleToSize;
    m.render = render;
    m.encode = encode;
    m.fromBitmap = fromBitmap;
    m.bitmap = bitmap;
    return m;
  }();
  return &module;
}

}  // namespace quorvel
