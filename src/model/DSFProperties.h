#pragma once

#include <taglib/audioproperties.h>
#include <taglib/tbytevector.h>

#include <cstdint>

namespace quorvel {

// Audio properties of a DSF file, taken from its "fmt " chunk.
class DSFProperties : public TagLib::AudioProperties {
 public:
  // Size of the "fmt " chunk body this class reads (the chunk is 52 bytes
  // with its 12-byte header).
  static constexpr unsigned kFormatBodySize = 40;

  // Parses the body of a "fmt " chunk (everything after its id and size);
  // fields missing from a short body stay 0. Never fails.
  DSFProperties(const TagLib::ByteVector& formatBody, ReadStyle style);
  ~DSFProperties() override;
  DSFProperties(const DSFProperties&) = delete;
  DSFProperties& operator=(const DSFProperties&) = delete;

  // Length in whole seconds (rounded down) and in milliseconds. These hide
  // TagLib's non-virtual base versions; through a base pointer TagLib 1.13
  // falls back to length(), which is the same number of seconds.
  int length() const override;
  int lengthInSeconds() const;
  int lengthInMilliseconds() const;
  // Kilobits per second: sample rate x channels x bits per sample / 1000.
  int bitrate() const override;
  int sampleRate() const override;
  int channels() const override;
  int bitsPerSample() const;

  int formatVersion() const { return formatVersion_; }
  int formatID() const { return formatID_; }
  int channelType() const { return channelType_; }
  std::uint64_t sampleCount() const { return sampleCount_; }
  int blockSizePerChannel() const { return blockSize_; }

 private:
  int formatVersion_ = 0;
  int formatID_ = 0;
  int channelType_ = 0;
  int channels_ = 0;
  int sampleRate_ = 0;
  int bitsPerSample_ = 0;
  std::uint64_t sampleCount_ = 0;
  int blockSize_ = 0;
};

}  // namespace quorvel
