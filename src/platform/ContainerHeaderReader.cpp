#include "platform/ContainerHeaderReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/AudioFormatTables.h"
#include "platform/FileOperations.h"

namespace quorvel {

namespace {

// The demuxer describes a stream's time in units of 1/rate and converts to
// seconds by multiplying with the reciprocal; doing the same keeps the
// doubles bit-identical.
double seconds(std::int64_t units, std::int64_t rate) {
  return static_cast<double>(units) * (1.0 / static_cast<double>(rate));
}

// a * b / c rounded to nearest, halves away from zero, as the demuxer
// rescales edit durations. Operands are positive and a * b fits.
std::int64_t rescaleNear(std::int64_t a, std::int64_t b, std::int64_t c) {
  return (a * b + c / 2) / c;
}

// Sizes and times beyond these are refused rather than computed with care
// for overflow: no real file comes near them.
constexpr std::int64_t kMaxDataSize = std::int64_t{1} << 40;
constexpr std::int64_t kMaxSegment = std::int64_t{1} << 31;
constexpr std::int64_t kMaxTableDuration = std::int64_t{1} << 62;

std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
std::uint64_t be64(const std::uint8_t* p) { return std::uint64_t{be32(p)} << 32 | be32(p + 4); }
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }
std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}
bool tagIs(const std::uint8_t* p, const char (&tag)[5]) { return std::memcmp(p, tag, 4) == 0; }

// A regular file opened for positioned reads; closed with the object.
class InputFile {
 public:
  explicit InputFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))) close();
    if (fd_ >= 0) size_ = status.st_size;
  }
  ~InputFile() { close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  std::int64_t size() const { return size_; }

  // Fills `count` bytes from `offset`; false when the file ends first.
  bool readAt(std::int64_t offset, void* into, std::size_t count) const {
    if (offset < 0 || offset > size_ || static_cast<std::int64_t>(count) > size_ - offset) {
      return false;
    }
    return quorvel::readAt(fd_, into, count, offset) == static_cast<std::int64_t>(count);
  }

 private:
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
  std::int64_t size_ = 0;
};

// Bounds on what a header may make us do: the movie header loaded whole, the
// chunks walked, the tables summed.
constexpr std::int64_t kMaxMovieHeader = 16 << 20;
constexpr int kMaxChunks = 4096;

// The description of uncompressed samples, as the demuxers give it.
struct PCMFormat {
  int bits = 0;  // bits per sample of the codec
  bool isFloat = false;
  bool isSigned = true;
  bool bigEndian = false;
};

std::unique_ptr<AudioFileInfo> pcmInfo(const PCMFormat& format, std::uint32_t channels,
                                       std::uint32_t sampleRate) {
  auto info = std::make_unique<AudioFileInfo>();
  AudioStreamDescription& d = info->streamDescription;
  d.sampleRate = sampleRate;
  d.formatID = "lpcm";
  d.formatFlags = linearPCMFlags(format.isFloat, format.isSigned, format.bigEndian);
  d.bitsPerChannel = static_cast<std::uint32_t>(format.bits);
  d.bytesPerPacket = d.bitsPerChannel / 8 * channels;
  d.framesPerPacket = 1;
  d.channelsPerFrame = channels;
  info->dataFormatName = formatName(d.formatID);
  return info;
}

// --- WAVE -----------------------------------------------------------------

// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its first two bytes.
constexpr std::uint8_t kExtensibleGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::unique_ptr<AudioFileInfo> readWave(const InputFile& file) {
  std::uint8_t head[12];
  if (!file.readAt(0, head, sizeof head) || !tagIs(head, "RIFF") || !tagIs(head + 8, "WAVE")) {
    return nullptr;
  }
  // The demuxer walks every chunk to the end of the file, whatever the RIFF
  // size says; chunks are padded to even sizes.
  std::optional<std::array<std::uint8_t, 40>> fmt;
  std::size_t fmtSize = 0;
  std::int64_t dataStart = -1;
  std::int64_t dataSize = 0;
  std::int64_t position = 12;
  for (int chunks = 0; position + 8 <= file.size(); ++chunks) {
    if (chunks == kMaxChunks) return nullptr;
    std::uint8_t header[8];
    if (!file.readAt(position, header, sizeof header)) return nullptr;
    const std::int64_t size = le32(header + 4);
    const std::int64_t body = position + 8;
    if (tagIs(header, "fmt ")) {
      if (fmt) return nullptr;  // which one counts is not worth guessing
      fmtSize = static_cast<std::size_t>(std::min<std::int64_t>(size, 40));
      fmt.emplace();
      fmt->fill(0);
      if (fmtSize < 16 || !file.readAt(body, fmt->data(), fmtSize)) return nullptr;
    } else if (tagIs(header, "data")) {
      if (!fmt || dataStart >= 0) return nullptr;
      // Size 0 or past the end: the demuxer guesses the length from the file.
      if (size == 0 || body + size > file.size()) return nullptr;
      dataStart = body;
      dataSize = size;
    } else if (tagIs(header, "ds64") || tagIs(header, "CHAN")) {
      return nullptr;
    }
    const std::int64_t next = body + size;
    if (next >= file.size()) break;
    position = next + (next & 1);
  }
  if (!fmt || dataStart < 0) return nullptr;

  const std::uint8_t* f = fmt->data();
  std::uint16_t tag = le16(f);
  const std::uint32_t channels = le16(f + 2);
  const std::uint32_t sampleRate = le32(f + 4);
  const std::int64_t byteRate = le32(f + 8);
  int bits = le16(f + 14);
  std::optional<std::uint64_t> mask;
  if (tag == 0xFFFE) {
    if (fmtSize < 40 || le16(f + 16) < 22) return nullptr;
    const int validBits = le16(f + 18);
    if (validBits != 0 && validBits != bits) return nullptr;
    mask = le32(f + 20);
    if (std::memcmp(f + 26, kExtensibleGuidTail, sizeof kExtensibleGuidTail) != 0) return nullptr;
    tag = le16(f + 24);
  }
  PCMFormat format;
  format.bits = bits;
  if (tag == 1) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
    format.isSigned = bits != 8;
  } else if (tag == 3) {
    if (bits != 32 && bits != 64) return nullptr;
    format.isFloat = true;
  } else {
    return nullptr;
  }
  if (channels == 0 || sampleRate == 0 || sampleRate > 0x7FFFFFFF || byteRate == 0) {
    return nullptr;
  }
  // A mask names the speakers, and so the channel count; one that disagrees
  // with the format's count is resolved by rules of the demuxer's own.
  if (mask && *mask != 0 && static_cast<std::uint32_t>(std::popcount(*mask)) != channels) {
    return nullptr;
  }
  const std::int64_t frames = dataSize * 8 / (static_cast<std::int64_t>(channels) * bits);
  if (frames <= 0) return nullptr;

  auto info = pcmInfo(format, channels, sampleRate);
  info->fileTypeName = waveFileTypeName(false);
  info->estimatedDuration = seconds(frames, sampleRate);
  info->bitRate = byteRate * 8;
  info->channelLayoutTag = mask && *mask != 0 ? maskLayout(*mask) : undeclaredLayout(channels);
  return info;
}

// --- AIFF -----------------------------------------------------------------

// The 80-bit extended sample rate, rounded to an integer as the demuxer
// does; 0 when out of range.
std::int64_t extendedRate(const std::uint8_t* p) {
  const int exponent = static_cast<int>(be16(p)) - 16383 - 63;
  const std::uint64_t mantissa = be64(p + 2);
  if (exponent < -63 || exponent >= 0) return 0;  // rates of 2^63 and more are not audio
  const int shift = -exponent;
  const std::uint64_t rounded = (mantissa + (std::uint64_t{1} << (shift - 1))) >> shift;
  return static_cast<std::int64_t>(rounded);
}

std::unique_ptr<AudioFileInfo> readAiff(const InputFile& file) {
  std::uint8_t head[12];
  if (!file.readAt(0, head, sizeof head) || !tagIs(head, "FORM")) return nullptr;
  const bool aifc = tagIs(head + 8, "AIFC");
  if (!aifc && !tagIs(head + 8, "AIFF")) return nullptr;
  // The demuxer walks the chunks the FORM size covers.
  std::int64_t remaining = static_cast<std::int64_t>(be32(head + 4)) - 4;
  std::optional<std::array<std::uint8_t, 22>> comm;
  std::int64_t commSize = 0;
  bool sound = false;
  std::int64_t position = 12;
  for (int chunks = 0; remaining > 0; ++chunks) {
    if (chunks == kMaxChunks) return nullptr;
    std::uint8_t header[8];
    if (!file.readAt(position, header, sizeof header)) break;
    std::int64_t size = be32(header + 4);
    if (size > 0x7FFFFFFF) size = 0x7FFFFFFF;
    remaining -= size + 8;
    if (tagIs(header, "COMM")) {
      if (comm || size < 18) return nullptr;
      comm.emplace();
      comm->fill(0);
      commSize = size;
      if (!file.readAt(position + 8, comm->data(),
                       static_cast<std::size_t>(std::min<std::int64_t>(size, 22)))) {
        return nullptr;
      }
    } else if (tagIs(header, "SSND")) {
      if (sound || size < 8) return nullptr;
      sound = true;
    } else if (tagIs(header, "CHAN") || tagIs(header, "wave")) {
      return nullptr;
    }
    position += 8 + size;
    if (size & 1) {
      ++position;
      --remaining;
    }
  }
  if (!comm || !sound) return nullptr;

  const std::uint8_t* c = comm->data();
  const std::uint32_t channels = be16(c);
  const std::int64_t frames = be32(c + 2);
  const int bits = be16(c + 6);
  const std::int64_t sampleRate = extendedRate(c + 8);
  PCMFormat format;
  format.bigEndian = true;
  const bool compressed = aifc && commSize >= 22;
  const std::uint8_t* compression = c + 18;
  if (!compressed || tagIs(compression, "NONE") || tagIs(compression, "twos")) {
    if (bits < 1 || bits > 32) return nullptr;
    format.bits = (bits + 7) / 8 * 8;
    format.bigEndian = format.bits > 8;  // single bytes have no order
  } else if (tagIs(compression, "sowt") && bits == 16) {
    format.bits = 16;
    format.bigEndian = false;
  } else if (tagIs(compression, "in24") && bits == 24) {
    format.bits = 24;
  } else if (tagIs(compression, "in32") && bits == 32) {
    format.bits = 32;
  } else if (tagIs(compression, "fl32") && bits == 32) {
    format.bits = 32;
    format.isFloat = true;
  } else if (tagIs(compression, "fl64") && bits == 64) {
    format.bits = 64;
    format.isFloat = true;
  } else {
    return nullptr;
  }
  if (channels == 0 || sampleRate <= 0 || sampleRate > 0x7FFFFFFF || frames == 0) return nullptr;

  auto info = pcmInfo(format, channels, static_cast<std::uint32_t>(sampleRate));
  info->fileTypeName = aiffFileTypeName(aifc);
  info->estimatedDuration = seconds(frames, sampleRate);
  info->bitRate = sampleRate * (format.bits * static_cast<std::int64_t>(channels) / 8) * 8;
  info->channelLayoutTag = undeclaredLayout(channels);
  return info;
}

// --- MPEG-4 ---------------------------------------------------------------

// A box inside a loaded buffer.
struct Box {
  const std::uint8_t* type;
  const std::uint8_t* body;
  std::size_t size;  // of the body
};

// The boxes directly inside `bytes`, or none when one overruns it.
std::optional<std::vector<Box>> children(const std::uint8_t* bytes, std::size_t size) {
  std::vector<Box> boxes;
  std::size_t position = 0;
  while (size - position >= 8) {
    std::uint64_t boxSize = be32(bytes + position);
    std::size_t header = 8;
    if (boxSize == 1) {
      if (size - position < 16) return std::nullopt;
      boxSize = be64(bytes + position + 8);
      header = 16;
    }
    // (A size of 0, "to the end", is only taken at the top level.)
    if (boxSize < header || boxSize > size - position) return std::nullopt;
    boxes.push_back({bytes + position + 4, bytes + position + header,
                     static_cast<std::size_t>(boxSize) - header});
    position += static_cast<std::size_t>(boxSize);
    if (boxes.size() > static_cast<std::size_t>(kMaxChunks)) return std::nullopt;
  }
  return boxes;
}

// The one child of `type`; none when it is missing or repeated.
std::optional<Box> onlyChild(const std::vector<Box>& boxes, const char (&type)[5]) {
  std::optional<Box> found;
  for (const Box& box : boxes) {
    if (!tagIs(box.type, type)) continue;
    if (found) return std::nullopt;
    found = box;
  }
  return found;
}

std::optional<Box> path(const Box& from, std::initializer_list<const char*> types) {
  Box box = from;
  for (const char* type : types) {
    auto inside = children(box.body, box.size);
    if (!inside) return std::nullopt;
    std::optional<Box> next;
    for (const Box& child : *inside) {
      if (std::memcmp(child.type, type, 4) != 0) continue;
      if (next) return std::nullopt;
      next = child;
    }
    if (!next) return std::nullopt;
    box = *next;
  }
  return box;
}

// An MPEG-4 descriptor length: up to four bytes of seven bits.
bool descriptorLength(const std::uint8_t*& p, const std::uint8_t* end, std::size_t& length) {
  length = 0;
  for (int i = 0; i < 4; ++i) {
    if (p == end) return false;
    const std::uint8_t byte = *p++;
    length = length << 7 | (byte & 0x7F);
    if (!(byte & 0x80)) break;
  }
  return length <= static_cast<std::size_t>(end - p);
}

// The decoder configuration (AudioSpecificConfig) of an "esds" box with an
// MPEG-4 audio stream; none for anything else.
std::optional<std::vector<std::uint8_t>> audioSpecificConfig(const Box& esds) {
  if (esds.size < 4) return std::nullopt;
  const std::uint8_t* p = esds.body + 4;  // version and flags
  const std::uint8_t* end = esds.body + esds.size;
  std::size_t length = 0;
  if (p == end || *p++ != 0x03 || !descriptorLength(p, end, length)) return std::nullopt;
  end = p + length;
  if (end - p < 3) return std::nullopt;
  const std::uint8_t flags = p[2];
  p += 3;
  auto skip = [&](std::size_t count) {
    if (count > static_cast<std::size_t>(end - p)) return false;
    p += count;
    return true;
  };
  if ((flags & 0x80) && !skip(2)) return std::nullopt;  // depends on another stream
  if ((flags & 0x40) && (p == end || !skip(std::size_t{1} + *p))) return std::nullopt;  // URL
  if ((flags & 0x20) && !skip(2)) return std::nullopt;  // OCR stream
  if (p >= end || *p++ != 0x04 || !descriptorLength(p, end, length) || length < 13) {
    return std::nullopt;
  }
  const std::uint8_t* configEnd = p + length;
  if (p[0] != 0x40) return std::nullopt;  // MPEG-4 audio
  p += 13;
  if (p >= configEnd || *p++ != 0x05 || !descriptorLength(p, configEnd, length) || length == 0) {
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(p, p + length);
}

// What an AudioSpecificConfig says about the stream, read the way the
// demuxer reads it. None for configurations it would treat specially.
struct AACConfig {
  std::uint32_t objectType = 0;
  std::int64_t sampleRate = 0;
  std::int64_t extensionSampleRate = 0;
  std::uint32_t channelConfiguration = 0;
};

class Bits {
 public:
  Bits(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  std::uint32_t read(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | bit(position_++);
    return value;
  }
  std::uint32_t peek(int count) const {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | bit(position_ + i);
    return value;
  }
  std::int64_t left() const {
    return static_cast<std::int64_t>(bytes_.size()) * 8 - static_cast<std::int64_t>(position_);
  }

 private:
  std::uint32_t bit(std::size_t at) const {
    return at < bytes_.size() * 8 ? (bytes_[at / 8] >> (7 - at % 8)) & 1u : 0u;
  }
  const std::vector<std::uint8_t>& bytes_;
  std::size_t position_ = 0;
};

std::optional<AACConfig> readAACConfig(const std::vector<std::uint8_t>& bytes) {
  static constexpr std::int64_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                            22050, 16000, 12000, 11025, 8000,  7350};
  Bits bits(bytes);
  auto objectType = [&] {
    const std::uint32_t type = bits.read(5);
    return type == 31 ? 32 + bits.read(6) : type;
  };
  auto rate = [&]() -> std::int64_t {
    const std::uint32_t index = bits.read(4);
    if (index == 15) return bits.read(24);
    return index < std::size(kRates) ? kRates[index] : 0;
  };
  AACConfig config;
  config.objectType = objectType();
  config.sampleRate = rate();
  config.channelConfiguration = bits.read(4);
  if (config.channelConfiguration == 0 || config.channelConfiguration > 7) return std::nullopt;
  if (config.objectType == 5 || config.objectType == 29) {
    if (config.objectType == 29 && (bits.peek(3) & 0x03) && !(bits.peek(9) & 0x3F)) {
      return std::nullopt;  // an old draft's MP3 in MP4
    }
    config.extensionSampleRate = rate();
    config.objectType = objectType();
  } else {
    // Backward-compatible signalling: the demuxer looks for the sync word
    // anywhere after the object type.
    while (bits.left() > 15) {
      if (bits.peek(11) == 0x2B7) {
        bits.read(11);
        if (objectType() == 5 && bits.read(1)) config.extensionSampleRate = rate();
        break;
      }
      bits.read(1);
    }
  }
  if (bits.left() < 0 || config.objectType < 1 || config.objectType > 4) return std::nullopt;
  if (config.sampleRate <= 0) return std::nullopt;
  return config;
}

// The track timing the demuxer derives: the media duration (the shorter of
// the media header's and the sample table's), and the presentation length
// after a single edit.
struct TrackTiming {
  std::int64_t timescale = 0;
  std::int64_t mediaDuration = 0;
  std::int64_t presentedDuration = 0;
  std::int64_t dataSize = 0;
};

std::optional<TrackTiming> trackTiming(const Box& trak, const Box& mdhd, const Box& stbl,
                                       std::int64_t movieTimescale) {
  TrackTiming timing;
  if (mdhd.size < 24) return std::nullopt;
  const bool longTimes = mdhd.body[0] == 1;
  if (longTimes && mdhd.size < 36) return std::nullopt;
  timing.timescale = be32(mdhd.body + (longTimes ? 20 : 12));
  const std::uint64_t declared = longTimes ? be64(mdhd.body + 24) : be32(mdhd.body + 16);
  if (timing.timescale <= 0 || timing.timescale > 0x7FFFFFFF || declared == 0 ||
      declared >= (std::uint64_t{1} << 62) || (!longTimes && declared == 0xFFFFFFFF)) {
    return std::nullopt;
  }

  auto stblBoxes = children(stbl.body, stbl.size);
  if (!stblBoxes) return std::nullopt;
  auto stts = onlyChild(*stblBoxes, "stts");
  auto stsz = onlyChild(*stblBoxes, "stsz");
  auto stsc = onlyChild(*stblBoxes, "stsc");
  auto stco = onlyChild(*stblBoxes, "stco");
  auto co64 = onlyChild(*stblBoxes, "co64");
  if (!stts || !stsz || !stsc || (stco.has_value() == co64.has_value())) return std::nullopt;

  // Sample durations.
  if (stts->size < 8) return std::nullopt;
  const std::uint32_t timeEntries = be32(stts->body + 4);
  if (timeEntries == 0 || timeEntries > (stts->size - 8) / 8) return std::nullopt;
  std::int64_t samples = 0;
  std::int64_t tableDuration = 0;
  for (std::uint32_t i = 0; i < timeEntries; ++i) {
    const std::int64_t count = be32(stts->body + 8 + 8 * i);
    const std::int64_t delta = be32(stts->body + 12 + 8 * i);
    if (delta == 0 || delta > 0x7FFFFFFF) return std::nullopt;
    samples += count;
    tableDuration += count * delta;
    if (tableDuration > kMaxTableDuration) return std::nullopt;
  }
  // One tick per sample is uncompressed audio, which the demuxer reads in
  // chunks of its own.
  if (timeEntries == 1 && be32(stts->body + 12) == 1) return std::nullopt;

  // Sample sizes: the data the bit rate is counted from.
  if (stsz->size < 12) return std::nullopt;
  const std::uint32_t fixedSize = be32(stsz->body + 4);
  const std::uint32_t sizeCount = be32(stsz->body + 8);
  if (sizeCount != samples || samples == 0) return std::nullopt;
  if (fixedSize != 0) {
    if (fixedSize > kMaxDataSize / sizeCount) return std::nullopt;
    timing.dataSize = static_cast<std::int64_t>(fixedSize) * sizeCount;
  } else {
    if (sizeCount > (stsz->size - 12) / 4) return std::nullopt;
    for (std::uint32_t i = 0; i < sizeCount; ++i) timing.dataSize += be32(stsz->body + 12 + 4 * i);
  }

  // Chunks must hold exactly the samples the tables count, or the demuxer's
  // index (and its sums) would differ.
  const Box& offsets = stco ? *stco : *co64;
  if (offsets.size < 8 || stsc->size < 8) return std::nullopt;
  const std::int64_t chunkCount = be32(offsets.body + 4);
  if (chunkCount > static_cast<std::int64_t>((offsets.size - 8) / (stco ? 4 : 8))) {
    return std::nullopt;
  }
  const std::uint32_t runs = be32(stsc->body + 4);
  if (runs == 0 || runs > (stsc->size - 8) / 12) return std::nullopt;
  std::int64_t chunked = 0;
  for (std::uint32_t i = 0; i < runs; ++i) {
    const std::int64_t first = be32(stsc->body + 8 + 12 * i);
    const std::int64_t perChunk = be32(stsc->body + 12 + 12 * i);
    const std::int64_t last = i + 1 < runs ? be32(stsc->body + 20 + 12 * i) - 1 : chunkCount;
    if (first < 1 || last < first || last > chunkCount || perChunk == 0) return std::nullopt;
    chunked += (last - first + 1) * perChunk;
  }
  if (chunked != samples) return std::nullopt;

  timing.mediaDuration = std::min<std::int64_t>(static_cast<std::int64_t>(declared), tableDuration);
  timing.presentedDuration = timing.mediaDuration;

  // Edits: a single one that starts in the media at normal rate cuts the
  // presentation; anything else is the demuxer's to interpret.
  if (auto edts = path(trak, {"edts", "elst"})) {
    if (edts->size < 8) return std::nullopt;
    const bool longEntries = edts->body[0] == 1;
    const std::uint32_t entries = be32(edts->body + 4);
    const std::size_t entrySize = longEntries ? 20 : 12;
    if (entries != 1 || edts->size < 8 + entrySize) return std::nullopt;
    const std::uint8_t* e = edts->body + 8;
    const std::int64_t segment =
        longEntries ? static_cast<std::int64_t>(be64(e)) : static_cast<std::int64_t>(be32(e));
    const std::int64_t mediaTime = longEntries ? static_cast<std::int64_t>(be64(e + 8))
                                               : static_cast<std::int32_t>(be32(e + 4));
    const std::uint32_t rate = be32(e + (longEntries ? 16 : 8));
    if (segment <= 0 || segment >= kMaxSegment || mediaTime < 0 ||
        mediaTime >= timing.mediaDuration || rate != 0x00010000 || movieTimescale <= 0) {
      return std::nullopt;
    }
    timing.presentedDuration =
        std::min(timing.presentedDuration, rescaleNear(segment, timing.timescale, movieTimescale));
  }
  return timing;
}

// The channel count a "chan" box sets, with its layout; none for layouts
// this reader does not map.
std::optional<std::pair<std::uint32_t, ChannelLayoutTag>> channelBox(const Box& chan) {
  if (chan.size < 16) return std::nullopt;
  const std::uint32_t tag = be32(chan.body + 4);
  const std::uint32_t bitmap = be32(chan.body + 8);
  std::uint64_t mask = 0;
  if (tag == (100u << 16 | 1)) {
    mask = speaker::kFrontCenter;
  } else if (tag == (101u << 16 | 2)) {
    mask = speaker::kFrontLeft | speaker::kFrontRight;
  } else if (tag == (1u << 16) && bitmap != 0 && bitmap < (1u << 18)) {
    mask = bitmap;
  } else {
    return std::nullopt;
  }
  return std::make_pair(static_cast<std::uint32_t>(std::popcount(mask)), maskLayout(mask));
}

// Whether the track's boxes nest cleanly where the demuxer looks (it takes
// some boxes wherever they appear), and its data is in this file.
bool wellFormedTrack(const Box& trak) {
  auto trakBoxes = children(trak.body, trak.size);
  if (!trakBoxes || onlyChild(*trakBoxes, "elst")) return false;
  for (const Box& box : *trakBoxes) {
    if (tagIs(box.type, "edts") && !path(box, {"elst"})) return false;
  }
  auto mdia = path(trak, {"mdia"});
  auto minf = path(trak, {"mdia", "minf"});
  if (!mdia || !minf || !children(mdia->body, mdia->size)) return false;
  auto minfBoxes = children(minf->body, minf->size);
  if (!minfBoxes) return false;
  for (const Box& box : *minfBoxes) {
    if (!tagIs(box.type, "dinf")) continue;
    auto dref = path(box, {"dref"});
    if (!dref || dref->size < 8 || be32(dref->body + 4) == 0) return false;
    auto references = children(dref->body + 8, dref->size - 8);
    if (!references || references->size() != be32(dref->body + 4)) return false;
    for (const Box& reference : *references) {
      // Only "in this file" references; others name files elsewhere.
      if (!tagIs(reference.type, "url ") || reference.size < 4 || !(reference.body[3] & 1)) {
        return false;
      }
    }
  }
  return true;
}

std::unique_ptr<AudioFileInfo> describeAudioTrack(const Box& trak, std::int64_t movieTimescale,
                                                  const std::string& brand) {
  if (!wellFormedTrack(trak)) return nullptr;
  auto mdhd = path(trak, {"mdia", "mdhd"});
  auto stbl = path(trak, {"mdia", "minf", "stbl"});
  auto stsd = stbl ? path(*stbl, {"stsd"}) : std::nullopt;
  if (!mdhd || !stbl || !stsd || stsd->size < 8 || be32(stsd->body + 4) != 1) return nullptr;
  auto entries = children(stsd->body + 8, stsd->size - 8);
  if (!entries || entries->size() != 1) return nullptr;
  const Box& entry = entries->front();
  // Sample entry (8 bytes), then a version 0 sound description (20 bytes).
  if (entry.size < 28 || be16(entry.body + 8) != 0) return nullptr;
  std::uint32_t channels = be16(entry.body + 16);
  std::int64_t sampleRate = be32(entry.body + 24) >> 16;
  auto extensions = children(entry.body + 28, entry.size - 28);
  if (!extensions) return nullptr;

  auto info = std::make_unique<AudioFileInfo>();
  AudioStreamDescription& d = info->streamDescription;
  std::optional<std::pair<std::uint32_t, ChannelLayoutTag>> declared;
  bool configured = false;
  for (const Box& box : *extensions) {
    configured = configured || tagIs(box.type, "esds");
    if (tagIs(box.type, "chan")) {
      // A layout read before the decoder configuration may be overridden by
      // it, in ways not worth imitating.
      if (declared || (tagIs(entry.type, "mp4a") && !configured)) return nullptr;
      declared = channelBox(box);
      if (!declared) return nullptr;
    } else if (tagIs(box.type, "wave") || tagIs(box.type, "sinf")) {
      return nullptr;
    }
  }
  if (tagIs(entry.type, "mp4a")) {
    auto esds = onlyChild(*extensions, "esds");
    if (!esds) return nullptr;
    auto bytes = audioSpecificConfig(*esds);
    if (!bytes) return nullptr;
    auto config = readAACConfig(*bytes);
    const int profile = aacProfileFromConfig(bytes->data(), bytes->size());
    if (!config || profile == aacprofile::kUnknown) return nullptr;
    // The configuration, not the sample entry, says how many channels and
    // at what rate (the entry of many writers says 2 channels whatever the
    // stream).
    static constexpr std::uint32_t kChannels[] = {0, 1, 2, 3, 4, 5, 6, 8};
    channels = kChannels[config->channelConfiguration];
    sampleRate = config->extensionSampleRate ? config->extensionSampleRate : config->sampleRate;
    d.formatID = "aac ";
    describeAAC(profile, d);
  } else if (tagIs(entry.type, "alac")) {
    auto cookie = onlyChild(*extensions, "alac");
    if (!cookie || cookie->size != 28) return nullptr;
    const std::uint8_t* config = cookie->body + 4;  // after version and flags
    channels = config[9];
    sampleRate = be32(config + 20);
    d.formatID = "alac";
    d.formatFlags = alacFormatFlags(config[5]);
  } else {
    return nullptr;
  }
  if (declared) {
    if (declared->first != channels) return nullptr;
    info->channelLayoutTag = declared->second;
  } else {
    info->channelLayoutTag = undeclaredLayout(channels);
  }
  if (channels == 0 || sampleRate <= 0 || sampleRate > 0x7FFFFFFF) return nullptr;

  auto timing = trackTiming(trak, *mdhd, *stbl, movieTimescale);
  if (!timing) return nullptr;
  // Truncated, as the demuxer divides.
  if (timing->dataSize > kMaxDataSize) return nullptr;
  const std::int64_t bitRate = timing->dataSize * 8 * timing->timescale / timing->mediaDuration;
  if (bitRate <= 0) return nullptr;

  d.sampleRate = static_cast<double>(sampleRate);
  d.channelsPerFrame = channels;
  info->fileTypeName = mp4FileTypeName(brand);
  info->dataFormatName = formatName(d.formatID);
  info->estimatedDuration = seconds(timing->presentedDuration, timing->timescale);
  info->bitRate = bitRate;
  return info;
}

std::unique_ptr<AudioFileInfo> readMP4(const InputFile& file) {
  // Top-level boxes: the brand, the movie header; media data is skipped.
  std::string brand;
  bool typed = false;
  std::optional<std::vector<std::uint8_t>> movie;
  bool media = false;
  std::int64_t position = 0;
  for (int boxes = 0; position + 8 <= file.size() && !(movie && media); ++boxes) {
    if (boxes == kMaxChunks) return nullptr;
    std::uint8_t header[16];
    if (!file.readAt(position, header, 8)) return nullptr;
    std::int64_t size = be32(header);
    std::int64_t headerSize = 8;
    if (size == 1) {
      if (!file.readAt(position + 8, header + 8, 8)) return nullptr;
      const std::uint64_t large = be64(header + 8);
      if (large > static_cast<std::uint64_t>(file.size())) return nullptr;
      size = static_cast<std::int64_t>(large);
      headerSize = 16;
    } else if (size == 0) {
      size = file.size() - position;
    }
    if (size < headerSize || size > file.size() - position) return nullptr;
    const std::uint8_t* type = header + 4;
    if (tagIs(type, "ftyp")) {
      std::uint8_t major[4];
      if (typed || size < headerSize + 4 || !file.readAt(position + headerSize, major, 4)) {
        return nullptr;
      }
      typed = true;
      brand.assign(reinterpret_cast<const char*>(major), 4);
      brand.resize(std::strlen(brand.c_str()));
    } else if (tagIs(type, "moov")) {
      if (movie || size - headerSize > kMaxMovieHeader) return nullptr;
      movie.emplace(static_cast<std::size_t>(size - headerSize));
      if (!file.readAt(position + headerSize, movie->data(), movie->size())) return nullptr;
    } else if (tagIs(type, "mdat")) {
      media = true;
    } else if (tagIs(type, "moof") || tagIs(type, "mfra")) {
      return nullptr;
    }
    position += size;
  }
  if (!movie || !media) return nullptr;

  auto boxes = children(movie->data(), movie->size());
  if (!boxes) return nullptr;
  auto mvhd = onlyChild(*boxes, "mvhd");
  if (!mvhd || mvhd->size < 20) return nullptr;
  const bool longTimes = mvhd->body[0] == 1;
  if (longTimes && mvhd->size < 28) return nullptr;
  const std::int64_t movieTimescale = be32(mvhd->body + (longTimes ? 20 : 12));
  for (const Box& box : *boxes) {
    if (tagIs(box.type, "mvex")) return nullptr;  // fragments follow
  }
  // The demuxer's first audio stream is the first sound track.
  for (const Box& box : *boxes) {
    if (!tagIs(box.type, "trak")) continue;
    auto hdlr = path(box, {"mdia", "hdlr"});
    if (!hdlr || hdlr->size < 12) return nullptr;
    if (tagIs(hdlr->body + 8, "soun")) return describeAudioTrack(box, movieTimescale, brand);
  }
  return nullptr;
}

// Which reader the file's name calls for. The demuxer is chosen by the same
// names; a file named otherwise is probed by contents, which is not ours to
// imitate.
enum class Container { None, Wave, Aiff, MP4 };

Container containerForName(const std::string& path) {
  static constexpr std::pair<const char*, Container> kByExtension[] = {
      {"wav", Container::Wave},  {"wave", Container::Wave}, {"aif", Container::Aiff},
      {"aiff", Container::Aiff}, {"aifc", Container::Aiff}, {"m4a", Container::MP4},
      {"m4b", Container::MP4},   {"m4r", Container::MP4},   {"m4p", Container::MP4},
      {"mp4", Container::MP4},   {"mov", Container::MP4},   {"3gp", Container::MP4},
      {"3g2", Container::MP4}};
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return Container::None;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [suffix, container] : kByExtension) {
    if (extension == suffix) return container;
  }
  return Container::None;
}

}  // namespace

std::unique_ptr<AudioFileInfo> ContainerHeaderReader::read(const std::string& path) {
  const Container container = containerForName(path);
  if (container == Container::None) return nullptr;
  InputFile file(path);
  if (!file.isOpen()) return nullptr;
  switch (container) {
    case Container::Wave:
      return readWave(file);
    case Container::Aiff:
      return readAiff(file);
    case Container::MP4:
      return readMP4(file);
    case Container::None:
      break;
  }
  return nullptr;
}

}  // namespace quorvel
