#include "exchange/MetadataExchange.h"

#include "exchange/AudioMetadataExporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "exchange/ImportCountAlert.h"

namespace quorvel {

namespace {

// Passes the exchange layer's progress messages to the controller's delegate.
class Forwarder final : public AudioMetadataExporterDelegate, public AudioMetadataImporterDelegate {
 public:
  explicit Forwarder(MetadataExchangeDelegate* delegate) : delegate_(delegate) {}
  void exportProgressDidUpdateWithPercentComplete(double percent, std::size_t index,
                                                  std::size_t total) override {
    if (delegate_) {
      delegate_->exportProgressDidUpdateWithPercentComplete(percent, index, total);
    }
  }
  void importProgressDidUpdateWithPercentComplete(double percent, std::size_t index,
                                                  std::size_t total) override {
    if (delegate_) {
      delegate_->importProgressDidUpdateWithPercentComplete(percent, index, total);
    }
  }

 private:
  MetadataExchangeDelegate* delegate_;
};

// Publishes the running object for cancel() for the length of a run.
template <typename T>
class Running {
 public:
  Running(std::mutex& mutex, T*& slot, T* object) : mutex_(mutex), slot_(slot) {
    std::lock_guard lock(mutex_);
    slot_ = object;
  }
  ~Running() {
    std::lock_guard lock(mutex_);
    slot_ = nullptr;
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  std::mutex& mutex_;
  T*& slot_;
};

}  // namespace

bool MetadataExchange::exportMetadatas(const std::vector<std::shared_ptr<AudioMetadata>>& records,
                                       const std::string& path, bool includingArtwork, int type,
                                       MetadataExchangeDelegate* delegate, Error* error) {
  auto exporter = AudioMetadataExporter::exporterForType(
      type == kExportTypeCSV ? AudioMetadataExporter::kTypeCSV : AudioMetadataExporter::kTypeXML);
  Forwarder forwarder(delegate);
  exporter->setDelegate(&forwarder);
  Running<AudioMetadataExporter> running(mutex_, runningExporter_, exporter.get());
  return exporter->exportMetadatas(records, path, includingArtwork, error);
}

std::optional<std::vector<PlistDict>> MetadataExchange::arrayOfMetadataDictionariesFromURL(
    const std::string& path) {
  return AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(path);
}

std::optional<bool> MetadataExchange::applyToAllForCounts(std::size_t dictionaryCount,
                                                          std::size_t recordCount, UIHost& host) {
  return ImportCountAlert::applyToAllForCounts(dictionaryCount, recordCount, host);
}

std::size_t MetadataExchange::importMetadataFromDictionaries(
    std::vector<PlistDict> dictionaries, const std::vector<std::shared_ptr<AudioMetadata>>& records,
    bool applyToAll, ZRUndoManager* undoManager, MetadataExchangeDelegate* delegate,
    const std::function<void()>& saveAfterChange) {
  AudioMetadataImporter importer;
  Forwarder forwarder(delegate);
  importer.setDelegate(&forwarder);
  Running<AudioMetadataImporter> running(mutex_, runningImporter_, &importer);
  return importer.importMetadataInUndoGroup(std::move(dictionaries), records, applyToAll,
                                            undoManager, saveAfterChange);
}

void MetadataExchange::cancel() {
  std::lock_guard lock(mutex_);
  if (runningExporter_) {
    runningExporter_->cancel();
  }
  if (runningImporter_) {
    runningImporter_->cancel();
  }
}

}  // namespace quorvel
