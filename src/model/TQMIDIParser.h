#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/TQMIDITrack.h"
#include "support/Value.h"

namespace quorvel {

// A Standard MIDI File read far enough to find each track's tempo and key
// signature. Some loops and instrument files carry one in a "midi" user-data
// chunk; the platform metadata reader takes "BPM" and "KEY" from the first
// track:
//
//   if (auto midi = TQMIDIParser::initWithData(chunkBytes); midi && !midi->tracks().empty()) {
//     std::to_string(midi->tracks().front().bpm());   // "BPM", 0 included
//     midi->tracks().front().key();                    // "KEY", may be none
//   }
//
// Parses an in-memory buffer only. A plain value type; any thread.
class TQMIDIParser {
 public:
  // Parses the header and every announced track chunk. Returns none when the
  // bytes are 5 or fewer or do not begin with "MThd". Header fields whose bytes
  // are missing read as 0. Track chunks follow the 14-byte header one after
  // another; a chunk that would run past the end stops the walk (the tracks
  // found so far stay), and a chunk that is not "MTrk" is left out. Hostile
  // input is bounded: nothing is allocated from a length in the data, and the
  // work is linear in the size of the bytes.
  static std::optional<TQMIDIParser> initWithData(std::span<const std::uint8_t> bytes);
  static std::optional<TQMIDIParser> initWithData(const Data& data) {
    return initWithData(std::span<const std::uint8_t>(data.bytes(), data.size()));
  }

  std::uint32_t headerChunkSize() const { return headerChunkSize_; }
  std::uint32_t format() const { return format_; }          // 0, 1 or 2
  std::uint32_t trackCount() const { return trackCount_; }  // as announced
  std::int32_t timeFormat() const { return timeFormat_; }   // 0 ticks per beat, 1 SMPTE
  std::uint16_t ticksPerBeat() const { return ticksPerBeat_; }
  std::uint16_t framesPerSecond() const { return framesPerSecond_; }
  std::uint16_t ticksPerFrame() const { return ticksPerFrame_; }
  // The tracks that parsed, in file order.
  const std::vector<TQMIDITrack>& tracks() const { return tracks_; }

 private:
  std::uint32_t headerChunkSize_ = 0;
  std::uint32_t format_ = 0;
  std::uint32_t trackCount_ = 0;
  std::int32_t timeFormat_ = 0;
  std::uint16_t ticksPerBeat_ = 0;
  std::uint16_t framesPerSecond_ = 0;
  std::uint16_t ticksPerFrame_ = 0;
  std::vector<TQMIDITrack> tracks_;
};

}  // namespace quorvel
