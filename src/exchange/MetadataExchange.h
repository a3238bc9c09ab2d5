#pragma once

#include <mutex>

#include "document/MetadataExchangeInterface.h"

namespace quorvel {

class AudioMetadataExporter;
class AudioMetadataImporter;

// The exchange layer's side of MetadataExchangeInterface: the CSV and XML
// exporters, the readers, the count alert and the importer, with one cancel
// for whichever of them is running. Install one at start:
//
//   MetadataExchangeInterface::install(std::make_shared<MetadataExchange>());
//
// Thread-safe as the interface says.
class MetadataExchange final : public MetadataExchangeInterface {
 public:
  bool exportMetadatas(const std::vector<std::shared_ptr<AudioMetadata>>& records,
                       const std::string& path, bool includingArtwork, int type,
                       MetadataExchangeDelegate* delegate, Error* error) override;
  std::optional<std::vector<PlistDict>> arrayOfMetadataDictionariesFromURL(
      const std::string& path) override;
  std::optional<bool> applyToAllForCounts(std::size_t dictionaryCount, std::size_t recordCount,
                                          UIHost& host) override;
  std::size_t importMetadataFromDictionaries(
      std::vector<PlistDict> dictionaries,
      const std::vector<std::shared_ptr<AudioMetadata>>& records, bool applyToAll,
      ZRUndoManager* undoManager, MetadataExchangeDelegate* delegate,
      const std::function<void()>& saveAfterChange) override;
  void cancel() override;

 private:
  std::mutex mutex_;
  AudioMetadataExporter* runningExporter_ = nullptr;  // not owned; set while running
  AudioMetadataImporter* runningImporter_ = nullptr;
};

}  // namespace quorvel
