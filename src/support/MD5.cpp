#include "support/MD5.h"

#include <openssl/evp.h>

namespace quorvel {

std::string md5Hex(const void* bytes, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  static constexpr unsigned char kEmpty = 0;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // EVP_Digest wants a valid pointer even for no bytes.
  EVP_Digest(size == 0 ? &kEmpty : bytes, size, digest, &length, EVP_md5(), nullptr);
  std::string hex(static_cast<std::size_t>(length) * 2, '0');
  for (unsigned int i = 0; i < length; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return hex;
}

std::string md5Hex(std::string_view bytes) { return md5Hex(bytes.data(), bytes.size()); }

std::string md5Hex(const Data& data) { return md5Hex(data.bytes(), data.size()); }

}  // namespace quorvel
