#include "model/TQMIDIParser.h"

#include <cstring>

namespace quorvel {

namespace {

constexpr std::size_t kHeaderSize = 14;      // "MThd", length, format, tracks, division
constexpr std::size_t kChunkHeaderSize = 8;  // id and 32-bit length

std::uint32_t readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset,
                            std::size_t width) {
  if (offset + width > bytes.size()) {
    return 0;
  }
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value = (value << 8) | bytes[offset + i];
  }
  return value;
}

}  // namespace

std::optional<TQMIDIParser> TQMIDIParser::initWithData(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= 5 || std::memcmp(bytes.data(), "MThd", 4) != 0) {
    return std::nullopt;
  }
  TQMIDIParser parser;
  parser.headerChunkSize_ = readBigEndian(bytes, 4, 4);
  parser.format_ = readBigEndian(bytes, 8, 2);
  parser.trackCount_ = readBigEndian(bytes, 10, 2);
  const std::uint32_t division = readBigEndian(bytes, 12, 2);
  if ((division & 0x8000u) == 0) {
    parser.timeFormat_ = 0;
    parser.ticksPerBeat_ = static_cast<std::uint16_t>(division);
  } else {
    // SMPTE time: the high byte is the frame rate negated (-24, -25, -29,
    // -30), the low byte the ticks per frame.
    parser.timeFormat_ = 1;
    parser.ticksPerFrame_ = static_cast<std::uint16_t>(division & 0xFFu);
    const int negatedRate = static_cast<std::int8_t>(static_cast<std::uint8_t>(division >> 8));
    parser.framesPerSecond_ = static_cast<std::uint16_t>(-negatedRate);
  }

  // Track chunks follow the header directly. Each must lie wholly inside the
  // data, so the walk is bounded by the data, not by the announced count.
  std::size_t start = kHeaderSize;
  for (std::uint32_t i = 0; i < parser.trackCount_; ++i) {
    if (start > bytes.size() || bytes.size() - start < kChunkHeaderSize) {
      break;
    }
    const std::uint64_t length = readBigEndian(bytes, start + 4, 4);
    if (length > bytes.size() - start - kChunkHeaderSize) {
      break;
    }
    const std::size_t chunkSize = kChunkHeaderSize + static_cast<std::size_t>(length);
    if (auto track = TQMIDITrack::initWithData(bytes.subspan(start, chunkSize))) {
      parser.tracks_.push_back(std::move(*track));
    }
    start += chunkSize;
  }
  return parser;
}

}  // namespace quorvel
