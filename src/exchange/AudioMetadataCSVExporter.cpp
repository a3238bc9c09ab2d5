#include "exchange/AudioMetadataCSVExporter.h"

#include <algorithm>
#include <map>
#include <utility>

#include "exchange/AtomicOutputFile.h"
#include "exchange/CHCSVWriter.h"
#include "support/Text.h"

namespace quorvel {

namespace {

using ColumnCounts = std::map<std::string, std::size_t>;

// Keys in header order with their column counts; keys whose every record
// holds no value get no column.
std::vector<std::pair<std::string, std::size_t>> sortedColumns(const ColumnCounts& counts) {
  std::vector<std::pair<std::string, std::size_t>> columns;
  std::vector<std::string> sortKeys;
  for (const auto& [key, count] : counts) {
    if (count > 0) {
      columns.emplace_back(key, count);
    }
  }
  // Sorting the keys (not the repeated names) keeps each key's columns
  // together, as a stable sort of the repeated list would.
  std::vector<std::size_t> order(columns.size());
  sortKeys.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    order[i] = i;
    sortKeys.push_back(localizedCaseInsensitiveSortKey(columns[i].first));
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return sortKeys[a] < sortKeys[b]; });
  std::vector<std::pair<std::string, std::size_t>> sorted;
  sorted.reserve(columns.size());
  for (std::size_t i : order) {
    sorted.push_back(std::move(columns[i]));
  }
  return sorted;
}

void countColumns(const AudioMetadata& record, ColumnCounts& counts) {
  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    const std::size_t n = value ? value->allValues().size() : 0;
    std::size_t& count = counts[key];
    count = std::max(count, n);
  }
}

}  // namespace

std::vector<std::string> AudioMetadataCSVExporter::headerForMetadatas(
    const std::vector<AudioMetadataPtr>& metadatas) {
  ColumnCounts counts;
  for (const auto& record : metadatas) {
    if (record) {
      countColumns(*record, counts);
    }
  }
  std::vector<std::string> header;
  for (const auto& [key, count] : sortedColumns(counts)) {
    header.insert(header.end(), count, key);
  }
  for (const FileInfoColumn& column : fileInfoColumns()) {
    header.emplace_back(column.name);
  }
  return header;
}

bool AudioMetadataCSVExporter::exportMetadatas(const std::vector<AudioMetadataPtr>& metadatas,
                                               const std::string& path, bool /*withAlbumArtwork*/,
                                               Error* error) {
  resetProgress();
  const std::size_t total = metadatas.size();
  const double scale = total > 0 ? 50.0 / static_cast<double>(total) : 0.0;

  ColumnCounts counts;
  for (std::size_t i = 0; i < total; ++i) {
    if (!reportProgress(static_cast<double>(i) * scale, i, total)) {
      return false;
    }
    if (metadatas[i]) {
      countColumns(*metadatas[i], counts);
    }
  }
  const auto columns = sortedColumns(counts);

  // Rows go straight to a temporary file beside the destination, which
  // replaces it only once every row is written.
  AtomicOutputFile file;
  if (!file.open(path, error)) {
    return false;
  }
  CHCSVWriter writer(file.temporaryPath());
  for (const auto& [key, count] : columns) {
    for (std::size_t n = 0; n < count; ++n) {
      writer.writeField(key);
    }
  }
  for (const FileInfoColumn& column : fileInfoColumns()) {
    writer.writeField(column.name);
  }
  writer.finishLine();

  for (std::size_t i = 0; i < total; ++i) {
    if (!reportProgress(50.0 + static_cast<double>(i) * scale, i, total)) {
      return false;
    }
    const AudioMetadata* record = metadatas[i].get();
    if (!record) {
      continue;
    }
    for (const auto& [key, count] : columns) {
      auto value = record->metadataValueForKey(key);
      const ObjectList* values = value ? &value->allValues() : nullptr;
      for (std::size_t n = 0; n < count; ++n) {
        if (values && n < values->size()) {
          const Object& object = (*values)[n];
          if (object.isText()) {
            writer.writeField(object.text());
          } else {
            writer.writeField(object.stringValue().value_or(std::string()));
          }
        } else {
          writer.writeField(std::string_view());
        }
      }
    }
    for (const FileInfoColumn& column : fileInfoColumns()) {
      writer.writeField(fileInfoValue(*record, column).value_or(std::string()));
    }
    writer.finishLine();
  }
  if (!writer.closeStream(error) || cancelled()) {
    return false;
  }
  return file.commit(error);
}

}  // namespace quorvel
