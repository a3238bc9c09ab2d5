#include "exchange/AudioMetadataCSVImporter.h"

#include <sstream>
#include <unordered_map>
#include <utility>

#include "exchange/CHCSVAggregator.h"

namespace quorvel {

namespace {

// Fields with quotes removed and doubled quotes resolved; no escapes,
// comments or trimming, so a cell reads back exactly as it was exported.
constexpr CHCSVParserOptions kOptions = kCHCSVParserOptionsSanitizesFields;

std::optional<std::vector<PlistDict>> parse(CHCSVParser& parser) {
  parser.setOptions(kOptions);
  CHCSVAggregator aggregator;
  parser.setDelegate(&aggregator);
  parser.parse();
  std::optional<CSVRecords> records = aggregator.takeLines();
  if (!records) {
    return std::nullopt;
  }
  return AudioMetadataCSVImporter::metadataArrayFromRecords(std::move(*records));
}

}  // namespace

std::optional<std::vector<PlistDict>> AudioMetadataCSVImporter::metadataArrayFromURL(
    const std::string& path) {
  auto parser = CHCSVParser::parserWithContentsOfCSVFile(path);
  return parse(*parser);
}

std::optional<std::vector<PlistDict>> AudioMetadataCSVImporter::metadataArrayFromData(
    const Data& bytes) {
  auto stream = std::make_unique<std::istringstream>(std::string(bytes.view()));
  std::string encoding;  // detected, as for a file
  CHCSVParser parser(std::move(stream), &encoding, u',');
  return parse(parser);
}

std::optional<std::vector<PlistDict>> AudioMetadataCSVImporter::metadataArrayFromRecords(
    CSVRecords records) {
  if (records.empty()) {
    return std::nullopt;
  }
  const std::vector<std::string>& header = records.front();

  // Each name once, in the order of its first column, with all its columns.
  struct Column {
    const std::string* name;
    std::vector<std::size_t> indexes;
  };
  std::vector<Column> columns;
  std::unordered_map<std::string_view, std::size_t> byName;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i].empty()) {
      continue;
    }
    auto [it, inserted] = byName.try_emplace(header[i], columns.size());
    if (inserted) {
      columns.push_back({&header[i], {}});
    }
    columns[it->second].indexes.push_back(i);
  }

  std::vector<PlistDict> dictionaries;
  dictionaries.reserve(records.size() - 1);
  for (std::size_t r = 1; r < records.size(); ++r) {
    std::vector<std::string>& fields = records[r];
    if (fields.size() != header.size()) {
      continue;
    }
    PlistDict dictionary;
    for (const Column& column : columns) {
      if (column.indexes.size() == 1) {
        std::string& field = fields[column.indexes.front()];
        if (!field.empty()) {
          dictionary.emplace_hint(dictionary.end(), *column.name, std::move(field));
        }
        continue;
      }
      PlistArray values;
      for (std::size_t index : column.indexes) {
        if (!fields[index].empty()) {
          values.emplace_back(std::move(fields[index]));
        }
      }
      dictionary.emplace_hint(dictionary.end(), *column.name, std::move(values));
    }
    if (!dictionary.empty()) {
      dictionaries.push_back(std::move(dictionary));
    }
  }
  if (dictionaries.empty()) {
    return std::nullopt;
  }
  return dictionaries;
}

}  // namespace quorvel
