#pragma once

#include "exchange/AudioMetadataExporter.h"

namespace quorvel {

// Exports records as one CSV table: a header row, then one row per record.
// Each tag key has as many columns as the most values any record holds for
// it; the header lists the keys ordered case-insensitively in the current
// locale, each repeated for its columns, then the six file-information
// columns. Cells hold each value's text, empty where a record has fewer
// values. UTF-8 without a byte-order mark, "\n" line ends.
class AudioMetadataCSVExporter final : public AudioMetadataExporter {
 public:
  // Progress: 0-50 while counting columns, 50-100 while writing rows.
  // `withAlbumArtwork` is ignored: a table has no place for images.
  bool exportMetadatas(const std::vector<AudioMetadataPtr>& metadatas, const std::string& path,
                       bool withAlbumArtwork, Error* error = nullptr) override;

  // The header columns for `metadatas`: each key once per column, sorted,
  // then the file-information names. Thread of the records.
  static std::vector<std::string> headerForMetadatas(
      const std::vector<AudioMetadataPtr>& metadatas);
};

}  // namespace quorvel
