// MIDI data comes from user-data chunks of audio files and may be damaged or
// hostile. Parsing must stay inside the bytes, end, and keep its promises:
// every kept track is one of the announced ones, and a key is always one of
// the texts the reader produces.
//
// Run: fuzz_midi -max_len=4096 fuzz/corpus/midi

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "model/TQMIDIParser.h"

namespace {

bool isKnownKey(const std::string& key) {
  for (int sf = -10; sf <= 10; ++sf) {
    for (bool minor : {false, true}) {
      if (quorvel::TQMIDITrack::keyForSignature(sf, minor) == key) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  const std::span<const std::uint8_t> data(bytes, size);
  if (auto parser = TQMIDIParser::initWithData(data)) {
    if (parser->tracks().size() > parser->trackCount()) {
      std::fprintf(stderr, "more tracks than announced\n");
      std::abort();
    }
    for (const TQMIDITrack& track : parser->tracks()) {
      if (track.key() && !isKnownKey(*track.key())) {
        std::fprintf(stderr, "unexpected key text %s\n", track.key()->c_str());
        std::abort();
      }
    }
  }
  // The track reader on its own, as if the input were one chunk.
  if (auto track = TQMIDITrack::initWithData(data)) {
    if (track->key() && !isKnownKey(*track->key())) {
      std::abort();
    }
  }
  return 0;
}
