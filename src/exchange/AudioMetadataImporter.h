#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exchange/ProgressThrottle.h"
#include "model/AudioMetadata.h"
#include "platform/PropertyList.h"

namespace quorvel {

class ZRUndoManager;

// Told of an import's progress (the application controller). Called on the
// importing thread: hand the work to the main thread, never wait for it.
class AudioMetadataImporterDelegate {
 public:
  virtual ~AudioMetadataImporterDelegate() = default;
  // `percent` from 0 to 100; `currentMetadataIndex` of `totalMetadatas`
  // (the number of records given to the import).
  virtual void importProgressDidUpdateWithPercentComplete(double percent,
                                                          std::size_t currentMetadataIndex,
                                                          std::size_t totalMetadatas) = 0;
};

// Reads metadata files (CSV or XML, as the exports write them) into metadata
// dictionaries and imports dictionaries into records: each record's tags and
// artwork are replaced by one dictionary, through the record's own setters,
// so every change registers its inverse with the record's undo manager.
//
// An import runs on one thread (a worker, while the main thread accepts no
// edits) and holds the records for its duration. cancel() may come from any
// thread: the import stops at its next progress report; records already
// imported keep their new values.
class AudioMetadataImporter {
 public:
  AudioMetadataImporter() = default;
  AudioMetadataImporter(const AudioMetadataImporter&) = delete;
  AudioMetadataImporter& operator=(const AudioMetadataImporter&) = delete;

  // The file-information names the exports add, which are never imported:
  // "File Name", "File Path", "File Size", "File Kind", "File Format",
  // "Track Length". Any thread.
  static const std::vector<std::string>& fileInfoKeys();

  // The dictionaries of the file at `path`, read by its extension (any case):
  // "csv" with the CSV reader, "xml" with the XML reader. None for another
  // extension, an unreadable or unparsable file, or a file without any
  // dictionary. Any thread.
  static std::optional<std::vector<PlistDict>> arrayOfMetadataDictionariesFromURL(
      const std::string& path);

  // Imports into the records: with `applyToAll` every record i receives
  // dictionary i mod D (D dictionaries), else only the first min(D, R)
  // records receive the dictionary of their index. The file-information
  // names are left out. Clears the cancel flag first; reports progress at
  // most every 0.2 s (percent of the steps, index, number of records) and
  // stops there when cancelled. Returns the number of records imported into.
  // Thread: the one holding the records.
  std::size_t importMetadataFromDictionaries(const std::vector<PlistDict>& dictionaries,
                                             const std::vector<AudioMetadataPtr>& metadatas,
                                             bool applyToAll);
  // The same with dictionaries the import may consume: the file-information
  // names are removed in place instead of from a copy per record.
  std::size_t importMetadataFromDictionaries(std::vector<PlistDict>&& dictionaries,
                                             const std::vector<AudioMetadataPtr>& metadatas,
                                             bool applyToAll);

  // The whole import as the controller's worker runs it: one undo group on
  // `undoManager` (none: no group) named "Import Metadata" around
  // importMetadataFromDictionaries, then `saveAfterChange`, when given and
  // the setting "saveAfterChange" is on. Returns what the import returned.
  // Takes the dictionaries by value: move them in to spare a copy.
  std::size_t importMetadataInUndoGroup(std::vector<PlistDict> dictionaries,
                                        const std::vector<AudioMetadataPtr>& metadatas,
                                        bool applyToAll, ZRUndoManager* undoManager,
                                        const std::function<void()>& saveAfterChange = {});

  // Not owned; null: no one is told. Set before the import starts.
  void setDelegate(AudioMetadataImporterDelegate* delegate) { delegate_ = delegate; }
  AudioMetadataImporterDelegate* delegate() const { return delegate_; }
  // Stops a running import at its next progress report. Any thread.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  void setCancelled(bool cancelled) { cancelled_.store(cancelled, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  // The import loop. `owned`: the same dictionaries, already without file
  // information, which the import may consume; null: they are only read.
  std::size_t run(const std::vector<PlistDict>& dictionaries, std::vector<PlistDict>* owned,
                  const std::vector<AudioMetadataPtr>& metadatas, bool applyToAll);

  // Imports of at least this many records inside an undo group are spread
  // over two threads: the records are independent, and a library's import
  // is otherwise bound by one core.
  static constexpr std::size_t kParallelSteps = 4096;

  AudioMetadataImporterDelegate* delegate_ = nullptr;
  std::atomic<bool> cancelled_{false};
  bool parallel_ = false;
  ProgressThrottle throttle_;
};

}  // namespace quorvel
