#include "exchange/AudioMetadataXMLExporter.h"

namespace quorvel {

namespace {

constexpr const char* kArtworkKey = "ARTWORK";

PlistValue plistFromObject(const Object& value) {
  if (value.isText()) {
    return PlistValue(value.text());
  }
  if (value.isNumber()) {
    const Number& number = value.number();
    return number.isInteger() ? PlistValue(number.int64Value()) : PlistValue(number.doubleValue());
  }
  if (value.isData()) {
    return PlistValue(value.data());
  }
  return PlistValue();
}

}  // namespace

PlistDict AudioMetadataXMLExporter::dictionaryForMetadata(const AudioMetadata& record,
                                                          bool withAlbumArtwork) {
  PlistDict dictionary;
  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value) {
      continue;
    }
    const ObjectList& values = value->allValues();
    if (values.size() == 1) {
      dictionary[key] = plistFromObject(values.front());
      continue;
    }
    PlistArray list;
    list.reserve(values.size());
    for (const Object& object : values) {
      list.push_back(plistFromObject(object));
    }
    dictionary[key] = std::move(list);
  }
  if (withAlbumArtwork && record.metadataHasArtwork()) {
    const auto& artworks = record.artworks();
    if (artworks.size() == 1) {
      dictionary[kArtworkKey] = artworks.front()->archivedData();
    } else {
      PlistArray archives;
      archives.reserve(artworks.size());
      for (const AlbumArtworkPtr& artwork : artworks) {
        archives.emplace_back(artwork->archivedData());
      }
      dictionary[kArtworkKey] = std::move(archives);
    }
  }
  for (const FileInfoColumn& column : fileInfoColumns()) {
    if (auto text = fileInfoValue(record, column)) {
      dictionary[column.name] = std::move(*text);
    }
  }
  return dictionary;
}

bool AudioMetadataXMLExporter::exportMetadatas(const std::vector<AudioMetadataPtr>& metadatas,
                                               const std::string& path, bool withAlbumArtwork,
                                               Error* error) {
  resetProgress();
  const std::size_t total = metadatas.size();
  PlistArray dictionaries;
  dictionaries.reserve(total);
  for (std::size_t i = 0; i < total; ++i) {
    const double percent =
        total > 0 ? static_cast<double>(i) / static_cast<double>(total) * 100.0 : 0.0;
    if (!reportProgress(percent, i, total)) {
      return false;
    }
    if (metadatas[i]) {
      dictionaries.emplace_back(dictionaryForMetadata(*metadatas[i], withAlbumArtwork));
    }
  }
  if (cancelled()) {
    return false;
  }
  return plist::writeFile(PlistValue(std::move(dictionaries)), path, false, error);
}

}  // namespace quorvel
