#pragma once

// Pictures made at test time for the artwork tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ImageCodec.h"
#include "support/Value.h"

namespace quorvel::test {

// A width x height RGB picture, left half red and right half blue, with
// a little noise so that encoders have something to compress.
inline Data makeImage(BitmapFileType type, int width, int height, float quality = 0.9f,
                      bool noise = false) {
  ImageCodec::Bitmap bitmap{width, height, 3, {}};
  bitmap.samples.resize(static_cast<std::size_t>(width) * height * 3);
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto* p = &bitmap.samples[(static_cast<std::size_t>(y) * width + x) * 3];
      const bool left = x < width / 2;
      seed = seed * 1103515245u + 12345u;
      const int n = noise ? static_cast<int>((seed >> 16) % 64) - 32 : 0;
      p[0] = static_cast<std::uint8_t>(std::clamp((left ? 220 : 20) + n, 0, 255));
      p[1] = static_cast<std::uint8_t>(std::clamp(20 + n, 0, 255));
      p[2] = static_cast<std::uint8_t>(std::clamp((left ? 20 : 220) + n, 0, 255));
    }
  }
  auto image = ImageCodec::fromBitmap(bitmap);
  EXPECT_TRUE(image);
  if (!image) {
    return {};
  }
  Error error;
  Data encoded = ImageCodec::encode(*image, type, quality, &error);
  EXPECT_FALSE(encoded.empty()) << error.localizedDescription;
  return encoded;
}

inline void appendBigEndian32(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

inline std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

inline void appendPngChunk(std::string& out, const std::string& type, const std::string& body) {
  appendBigEndian32(out, static_cast<std::uint32_t>(body.size()));
  out += type + body;
  appendBigEndian32(out, crc32(type + body));
}

// A well-formed PNG header declaring width x height RGB pixels, followed by a
// tiny image stream: what a decompression bomb looks like before decoding.
inline Data craftedPng(std::uint32_t width, std::uint32_t height) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  appendBigEndian32(ihdr, width);
  appendBigEndian32(ihdr, height);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  appendPngChunk(png, "IHDR", ihdr);
  appendPngChunk(png, "IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9));
  appendPngChunk(png, "IEND", "");
  return Data::fromString(png);
}

// A 2 x 2 Windows bitmap (24-bit, bottom-up rows padded to 4 bytes).
inline Data makeBmp() {
  std::string bmp = "BM";
  auto le32 = [&bmp](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp += static_cast<char>(v >> (8 * i));
  };
  auto le16 = [&bmp](std::uint16_t v) {
    bmp += static_cast<char>(v);
    bmp += static_cast<char>(v >> 8);
  };
  // File size, reserved, pixel offset; info header size, width, height.
  for (std::uint32_t v : {70u, 0u, 54u, 40u, 2u, 2u}) le32(v);
  le16(1);   // planes
  le16(24);  // bits per pixel
  // No compression, pixel bytes, resolution, palette.
  for (std::uint32_t v : {0u, 16u, 2835u, 2835u, 0u, 0u}) le32(v);
  for (int row = 0; row < 2; ++row) {
    bmp += std::string("\x00\x00\xff\x00\xff\x00\x00\x00", 8);
  }
  return Data::fromString(bmp);
}

}  // namespace quorvel::test
