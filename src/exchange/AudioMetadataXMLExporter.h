#pragma once

#include "exchange/AudioMetadataExporter.h"

namespace quorvel {

// Exports records as an XML property list: a root array with one dictionary
// per record. Each tag key maps to its value, or to the list of its values
// when it has several; "ARTWORK", when artwork is included, holds the keyed
// archive of the record's one artwork or the list of archives of several;
// the file-information columns follow as texts, left out when empty.
class AudioMetadataXMLExporter final : public AudioMetadataExporter {
 public:
  // Progress: 0-100 while building the dictionaries. The file is written
  // atomically once all are built.
  bool exportMetadatas(const std::vector<AudioMetadataPtr>& metadatas, const std::string& path,
                       bool withAlbumArtwork, Error* error = nullptr) override;

  // The exchange dictionary of one record, as exportMetadatas writes it.
  // Thread of the record.
  static PlistDict dictionaryForMetadata(const AudioMetadata& record, bool withAlbumArtwork);
};

}  // namespace quorvel
