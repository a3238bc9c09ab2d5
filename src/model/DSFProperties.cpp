#include "model/DSFProperties.h"

#include <limits>

namespace quorvel {

namespace {

// DSF stores every number little-endian. Counts that do not fit an int (only
// a hostile file has them) are clamped so arithmetic below cannot overflow.
int readInt(const TagLib::ByteVector& data, unsigned offset) {
  if (data.size() < offset + 4) return 0;
  const unsigned value = data.toUInt(offset, false);
  return value > static_cast<unsigned>(std::numeric_limits<int>::max()) ? 0
                                                                        : static_cast<int>(value);
}

}  // namespace

DSFProperties::DSFProperties(const TagLib::ByteVector& body, ReadStyle style)
    : TagLib::AudioProperties(style) {
  formatVersion_ = readInt(body, 0);
  formatID_ = readInt(body, 4);
  channelType_ = readInt(body, 8);
  channels_ = readInt(body, 12);
  sampleRate_ = readInt(body, 16);
  bitsPerSample_ = readInt(body, 20);
  if (body.size() >= 32) {
    sampleCount_ = static_cast<std::uint64_t>(body.toLongLong(24, false));
  }
  blockSize_ = readInt(body, 32);
}

DSFProperties::~DSFProperties() = default;

int DSFProperties::length() const { return lengthInSeconds(); }

int DSFProperties::lengthInSeconds() const {
  if (sampleRate_ <= 0) return 0;
  const std::uint64_t seconds = sampleCount_ / static_cast<std::uint64_t>(sampleRate_);
  return seconds > static_cast<std::uint64_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(seconds);
}

int DSFProperties::lengthInMilliseconds() const {
  if (sampleRate_ <= 0) return 0;
  // Whole seconds first, so a huge sample count cannot overflow the product.
  const std::uint64_t rate = static_cast<std::uint64_t>(sampleRate_);
  const std::uint64_t ms = sampleCount_ / rate * 1000 + sampleCount_ % rate * 1000 / rate;
  return ms > static_cast<std::uint64_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(ms);
}

int DSFProperties::bitrate() const {
  // In floating point: three 31-bit factors from a hostile file overflow any integer.
  const double kbps = static_cast<double>(sampleRate_) * channels_ * bitsPerSample_ / 1000.0;
  return kbps >= static_cast<double>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(kbps);
}

int DSFProperties::sampleRate() const { return sampleRate_; }

int DSFProperties::channels() const { return channels_; }

int DSFProperties::bitsPerSample() const { return bitsPerSample_; }

}  // namespace quorvel
