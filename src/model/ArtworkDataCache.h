#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ImageCodec.h"
#include "support/Value.h"

namespace quorvel {

// Process-wide interning of artwork bytes. Albums repeat one cover in every
// track, and each reader pulls its own copy out of its file; interning makes
// all records that hold the same picture hold one buffer. Entries refer to the
// buffers weakly, so a picture leaves the cache when no artwork holds it.
class ArtworkDataCache {
 public:
  // The buffer already interned for bytes equal to `data`, or `data` itself
  // (which is then remembered). Candidates found by a content key are
  // compared in full, so a key collision never merges two different pictures.
  // When `md5Out` is given it receives the digest of the bytes (32 lower-case
  // hex digits); a buffer that is already interned is not hashed again.
  // Empty data is returned as is. Thread: any.
  static Data intern(const Data& data, std::string* md5Out = nullptr);
  // As above for bytes not yet in a buffer (a tag library's own copy): equal
  // bytes already held are shared without copying these; other bytes are
  // copied into a new buffer, which is remembered. Thread: any.
  static Data intern(std::string_view bytes, std::string* md5Out = nullptr);

  // ImageCodec::readHeader of `data`, read once per interned buffer and
  // remembered while the buffer lives: a cover repeated across an album is
  // parsed once. Bytes that were not interned are read every time. Thread: any.
  static std::optional<ImageCodec::Header> headerOf(const Data& data);

  // Number of distinct live buffers held (expired entries are swept first).
  // For tests and benchmarks. Thread: any.
  static std::size_t liveEntryCount();
};

}  // namespace quorvel
