#include "exchange/AudioMetadataXMLImporter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <utility>

#include "exchange/PlistXMLReader.h"

namespace quorvel {

namespace {

// The whole file in one buffer of its size; none when it cannot be read.
std::optional<ByteBuffer> readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat info {};
  ByteBuffer bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  }
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
    // Property lists stop at 4 GiB; reading on would only fill memory.
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromURL(
    const std::string& path) {
  auto bytes = readWholeFile(path);
  if (!bytes) {
    return std::nullopt;
  }
  return metadataArrayFromData(Data(std::move(*bytes)));
}

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromData(
    const Data& bytes) {
  // Exports read without the general parser's node tree; anything the quick
  // reader declines is the general parser's to judge.
  auto root = PlistXMLReader::read(bytes.view());
  if (!root) {
    root = plist::parse(bytes);
  }
  if (!root) {
    return std::nullopt;
  }
  return metadataArrayFromPropertyList(std::move(*root));
}

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromPropertyList(
    PlistValue root) {
  auto* array = root.get<PlistArray>();
  if (!array) {
    return std::nullopt;
  }
  std::vector<PlistDict> dictionaries;
  dictionaries.reserve(array->size());
  for (PlistValue& element : *array) {
    if (auto* dictionary = element.get<PlistDict>()) {
      dictionaries.push_back(std::move(*dictionary));
    }
  }
  if (dictionaries.empty()) {
    return std::nullopt;
  }
  return dictionaries;
}

}  // namespace quorvel
