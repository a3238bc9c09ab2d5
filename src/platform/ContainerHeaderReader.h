#pragma once

#include <memory>
#include <string>

#include "platform/AudioFileServices.h"

namespace quorvel {

// Reads the stream properties of the common audio containers (WAVE, AIFF and
// AIFF-C, the MPEG-4 family) from their headers alone, without starting a
// demuxer. It describes a file exactly as openAudioFile would, or not at all:
// anything it is not sure about (other codecs, fragmented movies, several
// edits, odd chunk layouts) is left to openAudioFile.
class ContainerHeaderReader {
 public:
  // The properties of the file at `path`: every field of AudioFileInfo but
  // the info dictionary and the user data (left empty), equal to what
  // openAudioFile gives for the file. Null when the file is not one this
  // reader describes for sure, cannot be read, or is damaged; the caller
  // then asks openAudioFile. Reads only header bytes (a movie header of at
  // most 16 MB). Thread-safe.
  static std::unique_ptr<AudioFileInfo> read(const std::string& path);
};

}  // namespace quorvel
