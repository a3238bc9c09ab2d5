#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/Value.h"

namespace quorvel {

// Small codecs the tag readers and writers share.

// Each byte taken as an ISO 8859-1 character, written as UTF-8.
std::string latin1BytesToUtf8(std::string_view bytes);
// True when every byte is 7-bit ASCII.
bool isAscii(std::string_view text);
// Decodes Base64, skipping every character outside the alphabet (spaces,
// new lines and padding included), so joined or wrapped texts still decode.
std::string decodeBase64Lenient(std::string_view text);
std::string encodeBase64(std::string_view bytes);
// The fields of an ID3v2 text frame's body: an encoding byte (0 ISO 8859-1,
// 1 UTF-16 with BOM, 2 UTF-16BE, 3 UTF-8), then texts separated by NUL. A
// trailing terminator does not make an empty last field.
std::vector<std::string> decodeID3v2TextFields(const Data& body);

}  // namespace quorvel
