#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/Value.h"

namespace quorvel {

// MD5 of the bytes as 32 lower-case hexadecimal digits ("%02x" per byte).
// Never fails; any thread.
std::string md5Hex(const void* bytes, std::size_t size);
std::string md5Hex(std::string_view bytes);
std::string md5Hex(const Data& data);

}  // namespace quorvel
