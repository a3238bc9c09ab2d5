#include "support/MD5.h"

#include <openssl/evp.h>

#include <memory>

namespace quorvel {

namespace {

// Looking the algorithm up and making a context take locks and allocations
// that cost more than hashing a record's few hundred bytes, so the algorithm
// is fetched once and each thread keeps one context.
const EVP_MD* md5Algorithm() {
  static const EVP_MD* algorithm = [] {
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return fetched ? fetched : EVP_md5();
  }();
  return algorithm;
}

struct ContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

EVP_MD_CTX* threadContext() {
  thread_local std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
  return context.get();
}

}  // namespace

std::string md5Hex(const void* bytes, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  static constexpr unsigned char kEmpty = 0;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // The digest functions want a valid pointer even for no bytes.
  const void* input = size == 0 ? &kEmpty : bytes;
  EVP_MD_CTX* context = threadContext();
  if (!context || EVP_DigestInit_ex2(context, md5Algorithm(), nullptr) != 1 ||
      EVP_DigestUpdate(context, input, size) != 1 ||
      EVP_DigestFinal_ex(context, digest, &length) != 1) {
    EVP_Digest(input, size, digest, &length, EVP_md5(), nullptr);
  }
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
