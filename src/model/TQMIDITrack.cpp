#include "model/TQMIDITrack.h"

#include <array>
#include <cstring>
#include <limits>

namespace quorvel {

namespace {

// Tonic of the major key of a signature with 0 to 10 sharps, and with 1 to 10
// flats.
constexpr std::array<const char*, 11> kMajorTonicsBySharps{"C",  "G",  "D",  "A",  "E", "B",
                                                           "F#", "C#", "G#", "D#", "A#"};
constexpr std::array<const char*, 11> kMajorTonicsByFlats{nullptr, "F",  "Bb", "Eb",  "Ab", "Db",
                                                          "Gb",    "Cb", "Fb", "Bbb", "Ebb"};
// A minor signature names its own tonic, the relative minor a minor third
// below the major tonic of the same signature (two sharps: B minor, not D).
constexpr std::array<const char*, 11> kMinorTonicsBySharps{"A",  "E",  "B",  "F#", "C#", "G#",
                                                           "D#", "A#", "E#", "B#", "F##"};
constexpr std::array<const char*, 11> kMinorTonicsByFlats{nullptr, "D",  "G",  "C",  "F", "Bb",
                                                          "Eb",    "Ab", "Db", "Gb", "Cb"};

// Reads a variable-length quantity at `pos`. Returns false when it runs past
// the end. Values too large for any real length saturate instead of
// overflowing, so the caller's bounds check rejects them.
bool readVariableLength(std::span<const std::uint8_t> bytes, std::size_t& pos,
                        std::uint64_t& value) {
  constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();
  value = 0;
  while (pos < bytes.size()) {
    const std::uint8_t byte = bytes[pos++];
    value = value >= (std::uint64_t{1} << 56) ? kSaturated : (value << 7) | (byte & 0x7Fu);
    if ((byte & 0x80u) == 0) {
      return true;
    }
  }
  return false;
}

// Data bytes that follow a status byte other than system exclusive and meta
// events, as the MIDI standard counts them.
std::size_t dataLengthForStatus(std::uint8_t status) {
  switch (status & 0xF0u) {
    case 0x80:  // note off
    case 0x90:  // note on
    case 0xA0:  // polyphonic pressure
    case 0xB0:  // control change
    case 0xE0:  // pitch bend
      return 2;
    case 0xC0:  // program change
    case 0xD0:  // channel pressure
      return 1;
    default:
      break;
  }
  switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
      return 1;
    case 0xF2:  // song position
      return 2;
    default:
      return 0;  // no running status yet, tune request, real-time messages
  }
}

}  // namespace

std::optional<std::string> TQMIDITrack::keyForSignature(int sf, bool minor) {
  const char* tonic = nullptr;
  if (sf >= 0 && sf <= 10) {
    tonic = (minor ? kMinorTonicsBySharps : kMajorTonicsBySharps)[static_cast<std::size_t>(sf)];
  } else if (sf < 0 && sf >= -10) {
    tonic = (minor ? kMinorTonicsByFlats : kMajorTonicsByFlats)[static_cast<std::size_t>(-sf)];
  }
  if (!tonic) {
    return std::nullopt;
  }
  return std::string(tonic) + (minor ? " Minor" : " Major");
}

std::optional<TQMIDITrack> TQMIDITrack::initWithData(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || std::memcmp(bytes.data(), "MTrk", 4) != 0) {
    return std::nullopt;
  }
  TQMIDITrack track;
  const std::size_t end = bytes.size();
  std::size_t pos = 8;  // after the chunk id and its length
  std::uint8_t runningStatus = 0;
  // Every pass consumes at least the last byte of a delta time, so the loop
  // ends within `end` passes whatever the bytes are.
  while (pos < end) {
    // Only the order of events matters here, so delta times are skipped, not
    // summed; an absurdly long one is just more bytes to step over.
    while (pos < end && (bytes[pos] & 0x80u) != 0) {
      ++pos;
    }
    if (pos >= end) {
      break;
    }
    ++pos;
    if (pos >= end) {
      break;
    }

    std::uint8_t status = runningStatus;
    if ((bytes[pos] & 0x80u) != 0) {
      status = bytes[pos++];
      if (status < 0xF0) {
        runningStatus = status;
      } else if (status <= 0xF7 || status == 0xFF) {
        // System exclusive, system common and meta events cancel running
        // status; real-time messages (0xF8 to 0xFE) leave it alone.
        runningStatus = 0;
      }
    }

    if (status == 0xF0 || status == 0xF7) {
      std::uint64_t length = 0;
      if (!readVariableLength(bytes, pos, length) || length > end - pos) {
        break;
      }
      pos += static_cast<std::size_t>(length);
    } else if (status == 0xFF) {
      if (pos >= end) {
        break;
      }
      const std::uint8_t type = bytes[pos++];
      std::uint64_t length = 0;
      if (!readVariableLength(bytes, pos, length) || length > end - pos) {
        break;
      }
      const std::span<const std::uint8_t> data =
          bytes.subspan(pos, static_cast<std::size_t>(length));
      pos += data.size();
      if (type == 0x59 && data.size() >= 2) {
        const int sf = static_cast<std::int8_t>(data[0]);
        if (auto key = keyForSignature(sf, data[1] != 0)) {
          track.key_ = std::move(key);
        }
      } else if (type == 0x51 && data.size() >= 3) {
        const std::uint32_t microsecondsPerQuarter =
            (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2];
        if (microsecondsPerQuarter != 0) {
          track.bpm_ = 60000000u / microsecondsPerQuarter;
        }
      }
    } else {
      const std::size_t length = dataLengthForStatus(status);
      if (length > end - pos) {
        break;
      }
      pos += length;
    }
  }
  return track;
}

}  // namespace quorvel
