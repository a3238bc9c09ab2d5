#include "exchange/AudioMetadataXMLImporter.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "exchange/PlistXMLReader.h"
#include "platform/FileOperations.h"

namespace quorvel {

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromURL(
    const std::string& path) {
  // Property lists stop at 4 GiB; reading on would only fill memory.
  auto bytes = readRegularFile(path, std::numeric_limits<std::uint32_t>::max());
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
