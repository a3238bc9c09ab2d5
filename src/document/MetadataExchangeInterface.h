#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PropertyList.h"
#include "support/Error.h"

namespace quorvel {

class AudioMetadata;
class UIHost;
class ZRUndoManager;

// Told of the progress of an export or an import (the application
// controller). Called on the worker thread, at most every 0.2 s: hand the
// work to the main thread without waiting. Both default to nothing.
class MetadataExchangeDelegate {
 public:
  virtual ~MetadataExchangeDelegate() = default;
  // `percent` 0-100, the record being exported and the number of records.
  virtual void exportProgressDidUpdateWithPercentComplete(double percent,
                                                          std::size_t currentMetadataIndex,
                                                          std::size_t totalMetadatas);
  // `percent` 0-100, the record being imported into and the number of records.
  virtual void importProgressDidUpdateWithPercentComplete(double percent,
                                                          std::size_t currentMetadataIndex,
                                                          std::size_t totalMetadatas);
};

// Export and import of metadata files as the application controller drives
// them. The exchange layer implements it (MetadataExchange) and the front end
// installs it at start, so the controller needs nothing from the layers
// above it. One export or import runs at a time.
class MetadataExchangeInterface {
 public:
  // The export types of the save panel's pop-up.
  static constexpr int kExportTypeXML = 1;
  static constexpr int kExportTypeCSV = 2;

  virtual ~MetadataExchangeInterface() = default;

  // Writes `records` in order to `path` as CSV (kExportTypeCSV) or as an XML
  // property list (any other type; `includingArtwork` adds the artwork).
  // The file is replaced only when the whole export succeeded. False with
  // `error` on a failed write, false alone when cancelled. Worker thread;
  // the records must not change meanwhile.
  virtual bool exportMetadatas(const std::vector<std::shared_ptr<AudioMetadata>>& records,
                               const std::string& path, bool includingArtwork, int type,
                               MetadataExchangeDelegate* delegate, Error* error) = 0;

  // The metadata dictionaries of a CSV or XML file (by its extension, any
  // case); none when there is nothing to import. Worker thread.
  virtual std::optional<std::vector<PlistDict>> arrayOfMetadataDictionariesFromURL(
      const std::string& path) = 0;

  // How to pair `dictionaryCount` dictionaries with `recordCount` selected
  // records: true at once for equal non-zero counts, else the answer to the
  // count alert shown on `host` (true: alternate button, false: other
  // button). None: import nothing. Main thread.
  virtual std::optional<bool> applyToAllForCounts(std::size_t dictionaryCount,
                                                  std::size_t recordCount, UIHost& host) = 0;

  // Replaces the tags of `records` with the dictionaries (applyToAll: every
  // record, dictionaries repeated in turn; else the first min(D, R)) inside
  // one undo group of `undoManager` named "Import Metadata", then calls
  // `saveAfterChange` when given and the setting "saveAfterChange" is on.
  // Returns the number of records imported into. Move the dictionaries in
  // to spare a copy. Worker thread, while the main thread accepts no edits.
  virtual std::size_t importMetadataFromDictionaries(
      std::vector<PlistDict> dictionaries,
      const std::vector<std::shared_ptr<AudioMetadata>>& records, bool applyToAll,
      ZRUndoManager* undoManager, MetadataExchangeDelegate* delegate,
      const std::function<void()>& saveAfterChange) = 0;

  // Stops the running export (nothing is written) or import (records done
  // so far keep their values) at its next progress report. Any thread.
  virtual void cancel() = 0;

  // The installed implementation; null until one is installed. Any thread.
  static std::shared_ptr<MetadataExchangeInterface> current();
  // Installs `exchange` (null removes it); returns the previous one. Any thread.
  static std::shared_ptr<MetadataExchangeInterface> install(
      std::shared_ptr<MetadataExchangeInterface> exchange);
};

}  // namespace quorvel
