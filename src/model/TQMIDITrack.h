#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvel {

// The two facts the tag reader wants from one track chunk of a Standard MIDI
// File: the tempo of its last set-tempo event and the key of its last
// key-signature event. A plain value type; any thread.
class TQMIDITrack {
 public:
  TQMIDITrack() = default;

  // Parses one track chunk, its "MTrk" header included. Returns none when the
  // bytes do not begin with "MTrk". Events are read from byte 8 to the end of
  // the bytes (the chunk's own length field is not consulted); an event that
  // would run past the end stops the parse and what was found so far stands.
  // Never reads outside `bytes`, and runs in time linear in its size.
  static std::optional<TQMIDITrack> initWithData(std::span<const std::uint8_t> bytes);

  // Beats per minute from the last set-tempo event (integer division of
  // 60000000 by microseconds per quarter note); 0 when there was none.
  std::uint32_t bpm() const { return bpm_; }
  void setBpm(std::uint32_t bpm) { bpm_ = bpm; }

  // The key from the last key-signature event, e.g. "D Major" or "B Minor";
  // none when there was none.
  const std::optional<std::string>& key() const { return key_; }
  void setKey(std::optional<std::string> key) { key_ = std::move(key); }

  // The key text for a signature of `sf` sharps (positive) or flats
  // (negative), `minor` false for a major key. None for counts beyond ten.
  static std::optional<std::string> keyForSignature(int sf, bool minor);

 private:
  std::uint32_t bpm_ = 0;
  std::optional<std::string> key_;
};

}  // namespace quorvel
