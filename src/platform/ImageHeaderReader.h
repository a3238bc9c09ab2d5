#pragma once

#include <optional>
#include <string_view>

#include "platform/ImageCodec.h"

namespace quorvel {

// The size of a JPEG or PNG picture read straight from its first bytes,
// without starting the image library. Covers are nearly always one of the
// two, and a library of thousands of albums asks for every cover's size while
// it loads.
class ImageHeaderReader {
 public:
  // The header of `bytes` when they are a baseline, extended or progressive
  // 8-bit JPEG or a PNG whose header chunk is well formed; none for anything
  // else (other formats, other JPEG processes, damage), which the image
  // library must then judge. `decodable` applies the same size limits as
  // ImageCodec. Any thread.
  static std::optional<ImageCodec::Header> read(std::string_view bytes);
};

}  // namespace quorvel
