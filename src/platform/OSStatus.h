#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Failures of the audio file services carry a status code in this domain,
// numbered as the platform they stand in for numbered them, so a status in
// the error log means the same on every system.
inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

// The four-character code `code` ("typ?") as the 32-bit number the platform
// uses for it.
constexpr int fourCharCode(const char (&code)[5]) {
  return static_cast<int>((static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])));
}

namespace osstatus {
inline constexpr int kIOError = -36;           // read or write failed
inline constexpr int kFileNotOpenError = -38;  // kAudioFileNotOpenError
inline constexpr int kFileNotFoundError = -43;
inline constexpr int kUnspecifiedError = fourCharCode("wht?");
inline constexpr int kUnsupportedFileTypeError = fourCharCode("typ?");
inline constexpr int kUnsupportedDataFormatError = fourCharCode("fmt?");
inline constexpr int kUnsupportedPropertyError = fourCharCode("pty?");
inline constexpr int kPermissionsError = fourCharCode("prm?");
inline constexpr int kInvalidFileError = fourCharCode("dta?");
inline constexpr int kOperationNotSupportedError = fourCharCode("op??");
}  // namespace osstatus

}  // namespace quorvel
