#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/InfoDictionary.h"
#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// The audio file services of the system: properties, info dictionary and
// user data of containers that TagLib does not handle (CAF, AIFF-C, AMR,
// 3GPP, AU, MPEG audio, ...), read through libavformat and, for CAF, through
// our own chunk reader. Errors use kOSStatusErrorDomain (platform/OSStatus.h).

// The stream description of the file's first audio stream.
struct AudioStreamDescription {
  double sampleRate = 0;
  // Four characters: "lpcm", "aac ", "alac", "ima4", "samr", ".mp3", ...;
  // empty for a codec that has none.
  std::string formatID;
  // For "lpcm": 1 float, 2 big-endian, 4 signed integer, 8 packed. For
  // "alac": 1..4 for 16, 20, 24 and 32-bit source data. For AAC the object
  // type (2 = LC).
  std::uint32_t formatFlags = 0;
  std::uint32_t bytesPerPacket = 0;  // 0 for variable-size packets
  std::uint32_t framesPerPacket = 0;
  std::uint32_t channelsPerFrame = 0;
  std::uint32_t bitsPerChannel = 0;  // 0 for compressed formats
};

// The channel layouts the system names; every other declared layout is
// Other. A file that declares none is Mono with one channel, Stereo with
// two, else None.
enum class ChannelLayoutTag {
  None,
  Mono,
  Stereo,
  StereoHeadphones,
  MatrixStereo,
  MidSide,
  XY,
  Binaural,
  AmbisonicB,
  Quadraphonic,
  Pentagonal,
  Hexagonal,
  Octagonal,
  Cube,
  Other,
};

// "Mono", "Stereo", "Stereo Headphones", "Matrix Stereo", "Mid-Side", "XY",
// "Binaural", "Ambisonic B", "Quadraphonic", "Pentagonal", "Hexagonal",
// "Octagonal", "Cube"; empty for None and Other.
std::string channelLayoutName(ChannelLayoutTag tag);

// What the services tell about one audio file. A plain value; any thread.
struct AudioFileInfo {
  // Display name of the file type: "CAF file", "AIFF-C file", "WAVE file",
  // "Apple MPEG-4 Audio file", "3GPP file", "AMR file", "AU file", ...
  std::string fileTypeName;
  AudioStreamDescription streamDescription;
  // Display name of the data format: "Linear PCM", "AAC", "Apple Lossless",
  // "IMA 4:1", "AMR Narrowband", ...
  std::string dataFormatName;
  double estimatedDuration = 0;  // seconds; 0 when unknown
  std::int64_t bitRate = 0;      // bits per second; 0 when unknown
  ChannelLayoutTag channelLayoutTag = ChannelLayoutTag::None;
  // Keys as the platform names them: "artist", "album", "title", "genre",
  // "year", "composer", "lyricist", "comments", "copyright", "track number",
  // "tempo", "key signature", "ISRC", "encoding application". For CAF the
  // file's info chunk exactly, in its order.
  InfoDictionary infoDictionary;
  // CAF only: every chunk but the audio, type and body, in file order (chunks
  // too large to load have no body).
  std::vector<std::pair<std::string, std::optional<Data>>> userData;

  // The body of the `index`th user-data chunk of `type` ("midi", "uuid"),
  // counting from 0; none when there is no such chunk (always for files that
  // are not CAF).
  std::optional<Data> userDataChunk(const std::string& type, std::size_t index) const;
};

// Opens the file at `path` for reading and gathers its AudioFileInfo, or
// returns null (filling `error`: kFileNotFoundError, kPermissionsError,
// kUnsupportedFileTypeError, kInvalidFileError) when the services cannot
// open it: no such file, not an audio container they read, or no audio
// stream. Only local files and the audio containers of the platform are
// opened. Thread-safe: every call has its own demuxer state.
std::unique_ptr<AudioFileInfo> openAudioFile(const std::string& path, Error* error = nullptr);

// Replaces the info dictionary of the file at `path` with `info` (entries not
// in `info` are removed: pass the file's dictionary with changes to keep
// them). CAF files only, rewritten crash-safely (CafFile); any other
// container fails with kUnsupportedFileTypeError, a missing file with
// kFileNotFoundError. Returns false with `error` on failure. One writer per
// file at a time.
bool writeInfoDictionary(const std::string& path, const InfoDictionary& info,
                         Error* error = nullptr);

}  // namespace quorvel
