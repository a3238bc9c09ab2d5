#include "exchange/AudioMetadataXMLImporter.h"

#include <utility>

namespace quorvel {

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromURL(
    const std::string& path) {
  auto root = plist::readFile(path);
  if (!root) {
    return std::nullopt;
  }
  return metadataArrayFromPropertyList(std::move(*root));
}

std::optional<std::vector<PlistDict>> AudioMetadataXMLImporter::metadataArrayFromData(
    const Data& bytes) {
  auto root = plist::parse(bytes);
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
