#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/ProgressThrottle.h"
#include "model/AudioMetadata.h"
#include "platform/PropertyList.h"
#include "support/Error.h"

namespace quorvel {

// Told of an export's progress (the application controller). Called on the
// exporting thread: hand the work to the main thread, never wait for it.
class AudioMetadataExporterDelegate {
 public:
  virtual ~AudioMetadataExporterDelegate() = default;
  // `percent` from 0 to 100; `currentMetadataIndex` of `totalMetadatas` (0-based).
  virtual void exportProgressDidUpdateWithPercentComplete(double percent,
                                                          std::size_t currentMetadataIndex,
                                                          std::size_t totalMetadatas) = 0;
};

// Base of the exporters: writes the metadata of a list of records to one
// file. Subclasses: AudioMetadataCSVExporter, AudioMetadataXMLExporter.
//
// An export runs on one thread (a worker) and only reads the records, which
// must not change meanwhile. cancel() may come from any thread: the export
// stops at its next progress report and writes nothing.
class AudioMetadataExporter {
 public:
  // The export types of the save panel's pop-up.
  static constexpr int kTypeXML = 1;
  static constexpr int kTypeCSV = 2;

  // One of the six file-information columns: its name, the record property it
  // shows and the class name of the formatter that turns the value into text
  // (empty for none).
  struct FileInfoColumn {
    const char* name;
    const char* key;
    const char* formatter;
  };

  AudioMetadataExporter() = default;
  virtual ~AudioMetadataExporter() = default;
  AudioMetadataExporter(const AudioMetadataExporter&) = delete;
  AudioMetadataExporter& operator=(const AudioMetadataExporter&) = delete;

  // The exporter for a type of the pop-up: kTypeCSV gives the CSV exporter,
  // any other value the XML one. Any thread.
  static std::unique_ptr<AudioMetadataExporter> exporterForType(int type);

  // The six file-information columns in the fixed order every export uses:
  // "File Name", "File Path", "File Size", "File Kind", "File Format",
  // "Track Length". Any thread.
  static const std::vector<FileInfoColumn>& fileInfoColumns();
  // The same table as a dictionary: column name -> {"key": property name,
  // "formatter": formatter class name, or none}. Any thread.
  static PlistDict fileInfoDictionary();
  // The text of one file-information column for `record`: the property,
  // through the column's formatter when it has one. None when the record has
  // no such value (or the formatter gives no text). Thread of the record.
  static std::optional<std::string> fileInfoValue(const AudioMetadata& record,
                                                  const FileInfoColumn& column);

  // Writes the records, in order, to `path`. `withAlbumArtwork` is used by
  // the XML exporter only. The file is replaced only when the whole export
  // succeeded. Returns false with `error` on a failed write; false without
  // an error (error left as it was) when cancelled. The base writes nothing
  // and returns false.
  virtual bool exportMetadatas(const std::vector<AudioMetadataPtr>& metadatas,
                               const std::string& path, bool withAlbumArtwork,
                               Error* error = nullptr);

  // Not owned; null: no one is told. Set before the export starts.
  void setDelegate(AudioMetadataExporterDelegate* delegate) { delegate_ = delegate; }
  AudioMetadataExporterDelegate* delegate() const { return delegate_; }
  // Stops a running export at its next progress report. Any thread.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  void setCancelled(bool cancelled) { cancelled_.store(cancelled, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 protected:
  // Reports progress when 0.2 s have passed since the last report (the first
  // call of a run always reports), and then tests the cancel flag. Returns
  // false when the export must stop.
  bool reportProgress(double percent, std::size_t index, std::size_t total);
  // Starts a run: the next reportProgress() reports.
  void resetProgress() { throttle_.reset(); }

 private:
  AudioMetadataExporterDelegate* delegate_ = nullptr;
  std::atomic<bool> cancelled_{false};
  ProgressThrottle throttle_;
};

}  // namespace quorvel
