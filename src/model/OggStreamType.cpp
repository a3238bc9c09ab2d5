#include "model/OggStreamType.h"

#include <ogg/ogg.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quorvel {

namespace {

// Only this much of the file is looked at; a first page that does not fit is
// treated as "not Ogg", so a hostile file never makes us read more.
constexpr long kProbeSize = 4096;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class SyncState {
 public:
  SyncState() { ogg_sync_init(&state_); }
  ~SyncState() { ogg_sync_clear(&state_); }
  SyncState(const SyncState&) = delete;
  SyncState& operator=(const SyncState&) = delete;
  ogg_sync_state* get() { return &state_; }

 private:
  ogg_sync_state state_{};
};

class StreamState {
 public:
  explicit StreamState(int serial) { ogg_stream_init(&state_, serial); }
  ~StreamState() { ogg_stream_clear(&state_); }
  StreamState(const StreamState&) = delete;
  StreamState& operator=(const StreamState&) = delete;
  ogg_stream_state* get() { return &state_; }

 private:
  ogg_stream_state state_{};
};

std::string format(const char* pattern, const char* argument) {
  std::string text = pattern;
  auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

OggStreamType fail(Error* error, int code, std::string message) {
  setError(error, kQuorvelErrorDomain, code, std::move(message));
  return OggStreamType::Unknown;
}

bool hasBytes(const ogg_packet& packet, long offset, const char* text) {
  const long size = static_cast<long>(std::strlen(text));
  return packet.bytes >= offset + size && std::memcmp(packet.packet + offset, text, size) == 0;
}

OggStreamType classify(const ogg_packet& packet) {
  if (hasBytes(packet, 1, "vorbis")) return OggStreamType::Vorbis;
  if (hasBytes(packet, 0, "Speex   ")) return OggStreamType::Speex;
  if (packet.bytes >= 9 && hasBytes(packet, 1, "FLAC")) return OggStreamType::FLAC;
  return OggStreamType::Unknown;
}

}  // namespace

OggStreamType oggStreamType(const std::string& path, Error* error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return fail(error, kOggOpenFailedError,
                format("Opening Input File Failed: %s.", std::strerror(errno)));
  }

  SyncState sync;
  char* buffer = ogg_sync_buffer(sync.get(), kProbeSize);
  if (buffer == nullptr) {
    return fail(error, kOggSyncWroteFailedError, "ogg_sync_wrote Failed.");
  }
  errno = 0;
  const std::size_t bytes = std::fread(buffer, 1, kProbeSize, file.get());
  if (std::ferror(file.get())) {
    const int code = errno != 0 ? errno : EIO;
    return fail(error, kOggReadFailedError,
                format("Reading Input File Failed: (%s).", std::strerror(code)));
  }
  if (ogg_sync_wrote(sync.get(), static_cast<long>(bytes)) != 0) {
    return fail(error, kOggSyncWroteFailedError, "ogg_sync_wrote Failed.");
  }

  ogg_page page;
  if (ogg_sync_pageout(sync.get(), &page) != 1) {
    return fail(error, kOggNotOggError, "Input does not appear to be an Ogg bitstream.");
  }
  StreamState stream(ogg_page_serialno(&page));
  if (ogg_stream_pagein(stream.get(), &page) < 0) {
    return fail(error, kOggFirstPageError, "Error reading first page of Ogg bitstream data.");
  }
  ogg_packet packet;
  if (ogg_stream_packetout(stream.get(), &packet) != 1) {
    return fail(error, kOggHeaderPacketError, "Error reading initial header packet.");
  }
  const OggStreamType type = classify(packet);

  if (std::fclose(file.release()) != 0) {
    return fail(error, kOggCloseFailedError,
                format("Closing Input File Failed: %s.", std::strerror(errno)));
  }
  return type;
}

}  // namespace quorvel
