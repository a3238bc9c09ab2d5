#include "exchange/AudioMetadataExporter.h"

#include <cstring>

#include "document/FileSizeFormatter.h"
#include "document/SecondsFormatter.h"
#include "exchange/AudioMetadataCSVExporter.h"
#include "exchange/AudioMetadataXMLExporter.h"

namespace quorvel {

std::unique_ptr<AudioMetadataExporter> AudioMetadataExporter::exporterForType(int type) {
  if (type == kTypeCSV) {
    return std::make_unique<AudioMetadataCSVExporter>();
  }
  return std::make_unique<AudioMetadataXMLExporter>();
}

const std::vector<AudioMetadataExporter::FileInfoColumn>& AudioMetadataExporter::fileInfoColumns() {
  // The import drops exactly these names, in this order.
  static const std::vector<FileInfoColumn> columns = {
      {"File Name", "sourceFilename", ""},
      {"File Path", "sourceLocation", ""},
      {"File Size", "sourceFileSize", "FileSizeFormatter"},
      {"File Kind", "sourceKind", ""},
      {"File Format", "sourceFormat", ""},
      {"Track Length", "sourceLength", "SecondsFormatter"},
  };
  return columns;
}

PlistDict AudioMetadataExporter::fileInfoDictionary() {
  PlistDict table;
  for (const FileInfoColumn& column : fileInfoColumns()) {
    PlistDict entry;
    entry["key"] = column.key;
    entry["formatter"] = *column.formatter ? PlistValue(column.formatter) : PlistValue();
    table[column.name] = std::move(entry);
  }
  return table;
}

namespace {

Object propertyValue(const AudioMetadata& record, const char* key) {
  auto text = [](const std::optional<std::string>& value) {
    return value ? Object(*value) : Object();
  };
  if (std::strcmp(key, "sourceFilename") == 0) {
    return text(record.sourceFilename());
  }
  if (std::strcmp(key, "sourceLocation") == 0) {
    return text(record.sourceLocation());
  }
  if (std::strcmp(key, "sourceFileSize") == 0) {
    return record.sourceFileSize() ? Object(*record.sourceFileSize()) : Object();
  }
  if (std::strcmp(key, "sourceKind") == 0) {
    return text(record.sourceKind());
  }
  if (std::strcmp(key, "sourceFormat") == 0) {
    return text(record.sourceFormat());
  }
  if (std::strcmp(key, "sourceLength") == 0) {
    return record.sourceLength() ? Object(Number(*record.sourceLength())) : Object();
  }
  return Object();
}

}  // namespace

std::optional<std::string> AudioMetadataExporter::fileInfoValue(const AudioMetadata& record,
                                                                const FileInfoColumn& column) {
  Object value = propertyValue(record, column.key);
  if (value.isNone()) {
    return std::nullopt;
  }
  std::string text;
  if (std::strcmp(column.formatter, "FileSizeFormatter") == 0) {
    text = FileSizeFormatter().stringForObjectValue(value);
  } else if (std::strcmp(column.formatter, "SecondsFormatter") == 0) {
    text = SecondsFormatter().stringForObjectValue(value);
  } else {
    text = value.stringValue().value_or(std::string());
  }
  if (text.empty()) {
    return std::nullopt;
  }
  return text;
}

bool AudioMetadataExporter::exportMetadatas(const std::vector<AudioMetadataPtr>& /*metadatas*/,
                                            const std::string& /*path*/, bool /*withAlbumArtwork*/,
                                            Error* /*error*/) {
  return false;
}

bool AudioMetadataExporter::reportProgress(double percent, std::size_t index, std::size_t total) {
  if (!throttle_.shouldReport()) {
    return true;
  }
  if (delegate_) {
    delegate_->exportProgressDidUpdateWithPercentComplete(percent, index, total);
  }
  return !cancelled();
}

}  // namespace quorvel
