#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/InfoDictionary.h"
#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// The chunks of a Core Audio Format file: "caff" header (version 1), then
// chunks of a four-character type and a 64-bit big-endian size; the last
// chunk, "data", may have size -1, meaning "to the end of the file". The
// small chunks are loaded (the audio description, the info dictionary, the
// channel layout, the packet table header and any other chunk up to
// kMaxLoadedChunkSize, as user data); the audio itself is only located.
//
// Hostile input is bounded: no size read from the file is allocated unless
// the bytes are really there and below the limits. Errors use
// kOSStatusErrorDomain (platform/OSStatus.h). A value type; any thread.
class CafFile {
 public:
  static constexpr std::uint64_t kMaxLoadedChunkSize = 16u << 20;
  static constexpr std::uint64_t kMaxLoadedTotalSize = 64u << 20;
  static constexpr std::size_t kMaxChunkCount = 100000;

  struct Chunk {
    std::string type;               // four characters
    std::uint64_t offset = 0;       // of the chunk header in the file
    std::int64_t declaredSize = 0;  // as stored: -1 for a data chunk to the end
    std::uint64_t bodySize = 0;     // bytes of the body actually in the file
  };

  // The "desc" chunk.
  struct AudioDescription {
    double sampleRate = 0;
    std::uint32_t formatID = 0;  // four-character code, e.g. 'lpcm', 'aac ', 'alac'
    std::uint32_t formatFlags = 0;
    std::uint32_t bytesPerPacket = 0;
    std::uint32_t framesPerPacket = 0;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bitsPerChannel = 0;
  };

  // The fixed part of the "chan" chunk.
  struct ChannelLayout {
    std::uint32_t tag = 0;  // kAudioChannelLayoutTag_* (0: use descriptions, 0x10000: bitmap)
    std::uint32_t bitmap = 0;
    std::uint32_t numberChannelDescriptions = 0;
  };

  // The fixed part of the "pakt" chunk.
  struct PacketTableHeader {
    std::int64_t numberPackets = 0;
    std::int64_t numberValidFrames = 0;
    std::int32_t primingFrames = 0;
    std::int32_t remainderFrames = 0;
  };

  // Parses a CAF file from `in` (read from its start; seekable). Returns none
  // and fills `error` for anything that is not a well-formed CAF file:
  // kUnsupportedFileTypeError when it is not CAF at all, kInvalidFileError
  // for a wrong version, a missing or short "desc" chunk (which must come
  // first), no "data" chunk, a negative size, a chunk other than "data"
  // running past the end, or too many chunks. A "data" chunk cut short is
  // accepted with the bytes that are there.
  static std::optional<CafFile> read(std::istream& in, Error* error = nullptr);
  // The same for the file at `path`; kFileNotFoundError or kPermissionsError
  // when it cannot be opened.
  static std::optional<CafFile> readFile(const std::string& path, Error* error = nullptr);

  const std::vector<Chunk>& chunks() const { return chunks_; }
  const AudioDescription& description() const { return description_; }
  // The "info" chunk's entries (the first "info" chunk); entries that are not
  // UTF-8 are left out. Empty when the file has none.
  const InfoDictionary& infoDictionary() const { return info_; }
  bool hasInfoChunk() const { return hasInfo_; }
  const std::optional<ChannelLayout>& channelLayout() const { return layout_; }
  const std::optional<PacketTableHeader>& packetTable() const { return packetTable_; }
  // Bytes of audio in the "data" chunk (its body less the 4-byte edit count).
  std::uint64_t audioDataSize() const { return audioDataSize_; }
  // Seconds, from the packet table's valid frames when there is one, else
  // from the data size for constant-size packets; 0 when neither tells.
  double estimatedDuration() const;
  // The body of the `index`th chunk of `type` (counting from 0 among chunks
  // of that type), or none when there are fewer such chunks or that one was
  // too large to load. Never the "data" chunk.
  std::optional<Data> userDataChunk(const std::string& type, std::size_t index) const;

  // The body of an "info" chunk holding `info`: entry count, then each key
  // and value as NUL-terminated UTF-8 (a NUL inside a text ends it there).
  static std::string encodeInfoChunk(const InfoDictionary& info);
  // Copies the CAF file `in` to `out` with its (first) "info" chunk replaced
  // by one holding `info`, or, when it has none, a new "info" chunk added
  // just before the "data" chunk. Every other byte is copied unchanged, in
  // order. Fails (false, `error`) when `in` is not a CAF file `read` accepts
  // or when reading or writing fails.
  static bool rewriteWithInfoDictionary(std::istream& in, std::ostream& out,
                                        const InfoDictionary& info, Error* error = nullptr);
  // Replaces the info dictionary of the CAF file at `path` (following a
  // symbolic link to its target). The new file is written to a temporary
  // file in the same folder, flushed to disk and renamed over the old one,
  // so a failure at any point leaves the old file whole. Keeps the file's
  // permission bits. Returns false with `error` (kOSStatusErrorDomain) on
  // failure.
  static bool writeInfoDictionary(const std::string& path, const InfoDictionary& info,
                                  Error* error = nullptr);

 private:
  CafFile() = default;

  struct LoadedChunk {
    std::string type;
    std::optional<Data> body;
  };

  std::vector<Chunk> chunks_;
  std::vector<LoadedChunk> loaded_;  // every chunk but "data", in file order
  AudioDescription description_;
  InfoDictionary info_;
  bool hasInfo_ = false;
  std::optional<ChannelLayout> layout_;
  std::optional<PacketTableHeader> packetTable_;
  std::uint64_t audioDataSize_ = 0;
  std::uint64_t trailingOffset_ = 0;  // where bytes after the last chunk begin
  std::uint64_t fileSize_ = 0;
};

}  // namespace quorvel
