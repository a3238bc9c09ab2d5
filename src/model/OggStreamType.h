#pragma once

#include <string>

#include "support/Error.h"

namespace quorvel {

// The codec of an Ogg file, told from the first packet of its first stream.
enum class OggStreamType : int { Unknown = 1, Vorbis = 2, FLAC = 3, Speex = 4 };

// Error codes of oggStreamType (domain kQuorvelErrorDomain), one per step
// that can fail.
inline constexpr int kOggOpenFailedError = -110;       // "Opening Input File Failed: %s."
inline constexpr int kOggReadFailedError = -111;       // "Reading Input File Failed: (%s)."
inline constexpr int kOggSyncWroteFailedError = -112;  // "ogg_sync_wrote Failed."
inline constexpr int kOggNotOggError = -113;  // "Input does not appear to be an Ogg bitstream."
inline constexpr int kOggFirstPageError =
    -114;  // "Error reading first page of Ogg bitstream data."
inline constexpr int kOggHeaderPacketError = -115;  // "Error reading initial header packet."
inline constexpr int kOggCloseFailedError = -116;   // "Closing Input File Failed: %s."

// Reads at most the first 4096 bytes of the file at `path` and classifies the
// first packet of its first page: Vorbis, Speex, FLAC or Unknown (any other
// codec, e.g. Opus). The first page must be complete within those bytes.
// On failure returns Unknown and fills `error` (domain kQuorvelErrorDomain,
// one of the codes above); `error` is left untouched on success, so a caller
// that must tell failure from Unknown passes an Error and checks it.
// Any thread; no shared state.
OggStreamType oggStreamType(const std::string& path, Error* error = nullptr);

}  // namespace quorvel
