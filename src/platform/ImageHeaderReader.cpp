#include "platform/ImageHeaderReader.h"

#include <array>
#include <cstdint>

namespace quorvel {

namespace {

std::uint32_t byteAt(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]);
}

std::uint32_t bigEndian16(std::string_view bytes, std::size_t at) {
  return byteAt(bytes, at) << 8 | byteAt(bytes, at + 1);
}

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
  return bigEndian16(bytes, at) << 16 | bigEndian16(bytes, at + 2);
}

ImageCodec::Header makeHeader(std::int64_t width, std::int64_t height) {
  ImageCodec::Header header;
  header.width = width;
  header.height = height;
  header.decodable = width > 0 && height > 0 && width <= ImageCodec::kMaxPixels &&
                     height <= ImageCodec::kMaxPixels && width * height <= ImageCodec::kMaxPixels;
  return header;
}

// Walks the marker segments up to the first frame header. Only the processes
// every JPEG decoder handles are answered here (baseline, extended sequential
// and progressive Huffman, 8 bits, 1, 3 or 4 components); a frame that gives
// its height later (0 here) is left to the library too.
std::optional<ImageCodec::Header> readJPEG(std::string_view bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (byteAt(bytes, at) != 0xFF) {
      return std::nullopt;
    }
    const std::uint32_t marker = byteAt(bytes, at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) {
      return std::nullopt;  // image data or an end before any frame
    }
    const std::size_t length = bigEndian16(bytes, at + 2);
    if (length < 2 || at + 2 + length > bytes.size()) {
      return std::nullopt;
    }
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (marker > 0xC2 || length < 8) {
        return std::nullopt;
      }
      const std::uint32_t precision = byteAt(bytes, at + 4);
      const std::int64_t height = bigEndian16(bytes, at + 5);
      const std::int64_t width = bigEndian16(bytes, at + 7);
      const std::uint32_t components = byteAt(bytes, at + 9);
      if (precision != 8 || height == 0 || width == 0 ||
          (components != 1 && components != 3 && components != 4) || length != 8 + 3 * components) {
        return std::nullopt;
      }
      return makeHeader(width, height);
    }
    at += 2 + length;
  }
  return std::nullopt;
}

std::uint32_t crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc = table[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

// The signature and a well-formed header chunk with a matching checksum:
// what a PNG decoder checks before it reports a size.
std::optional<ImageCodec::Header> readPNG(std::string_view bytes) {
  constexpr std::size_t kChunk = 8;
  if (bytes.size() < kChunk + 25 || bigEndian32(bytes, kChunk) != 13 ||
      bytes.substr(kChunk + 4, 4) != "IHDR" ||
      crc32(bytes.substr(kChunk + 4, 17)) != bigEndian32(bytes, kChunk + 21)) {
    return std::nullopt;
  }
  const std::int64_t width = bigEndian32(bytes, kChunk + 8);
  const std::int64_t height = bigEndian32(bytes, kChunk + 12);
  const std::uint32_t depth = byteAt(bytes, kChunk + 16);
  const std::uint32_t colour = byteAt(bytes, kChunk + 17);
  const bool depthFits = colour == 0
                             ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                         : colour == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                         : (colour == 2 || colour == 4 || colour == 6) ? (depth == 8 || depth == 16)
                                                                       : false;
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || !depthFits ||
      byteAt(bytes, kChunk + 18) != 0 || byteAt(bytes, kChunk + 19) != 0 ||
      byteAt(bytes, kChunk + 20) > 1) {
    return std::nullopt;
  }
  return makeHeader(width, height);
}

}  // namespace

std::optional<ImageCodec::Header> ImageHeaderReader::read(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xFF\xD8\xFF") {
    return readJPEG(bytes);
  }
  if (bytes.size() >= 8 && bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") {
    return readPNG(bytes);
  }
  return std::nullopt;
}

}  // namespace quorvel
