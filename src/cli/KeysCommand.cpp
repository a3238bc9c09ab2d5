#include "cli/Commands.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/TagKeys.h"
#include "model/TagMappings.h"

namespace quorvel::cli {

namespace {

// One column per table, in output order: the JSON field name and the text label.
struct FormatColumn {
  const char* field;
  const char* label;
  TagFormat format;
  int id3v2MajorVersion;
};

constexpr FormatColumn kColumns[] = {
    {"id3v2.3", "ID3v2.3", TagFormat::ID3v2, 3}, {"id3v2.4", "ID3v2.4", TagFormat::ID3v2, 4},
    {"mp4", "MP4", TagFormat::MP4, 4},           {"vorbis", "Vorbis", TagFormat::Vorbis, 4},
    {"ape", "APE", TagFormat::APE, 4},           {"asf", "ASF", TagFormat::ASF, 4},
    {"info", "INFO", TagFormat::INFO, 4},
};

std::vector<std::string> namesFor(const TagMappingTable& table, const std::string& key) {
  auto it = table.find(key);
  return it == table.end() ? std::vector<std::string>{} : it->second;
}

int printJSON(std::ostream& out, const std::vector<TagMappingSnapshot>& tables) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const auto& key : allTagKeys()) {
    nlohmann::ordered_json entry;
    entry["key"] = key;
    entry["displayName"] = tagDisplayName(key);
    entry["description"] = tagDescription(key);
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
      entry[kColumns[i].field] = namesFor(*tables[i], key);
    }
    keys.push_back(std::move(entry));
  }
  nlohmann::ordered_json document;
  document["keys"] = std::move(keys);
  document["sourceKeys"] = allSourceKeys();
  // An override may hold bytes that are not UTF-8; show them replaced rather
  // than fail the whole listing.
  out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  return 0;
}

int printText(std::ostream& out, const std::vector<TagMappingSnapshot>& tables) {
  std::size_t keyWidth = 0;
  for (const auto& key : allTagKeys()) {
    keyWidth = std::max(keyWidth, key.size());
  }
  std::size_t labelWidth = 0;
  for (const auto& column : kColumns) {
    labelWidth = std::max(labelWidth, std::string(column.label).size());
  }
  const std::string indent(4, ' ');
  for (const auto& key : allTagKeys()) {
    out << key << std::string(keyWidth - key.size() + 2, ' ') << tagDisplayName(key) << "\n";
    out << indent << tagDescription(key) << "\n";
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
      std::string label = kColumns[i].label;
      out << indent << label << std::string(labelWidth - label.size() + 2, ' ');
      auto names = namesFor(*tables[i], key);
      if (names.empty()) {
        out << "—";
      }
      for (std::size_t n = 0; n < names.size(); ++n) {
        out << (n ? ", " : "") << names[n];
      }
      out << "\n";
    }
    out << "\n";
  }
  out << "Source keys:\n";
  for (const auto& key : allSourceKeys()) {
    out << indent << key << "\n";
  }
  return 0;
}

}  // namespace

int keysCommand(CommandContext& context) {
  bool json = false;
  for (const auto& arg : context.args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "-h" || arg == "--help") {
      context.out << "usage: quorvel-cli [-s KEY=VALUE]... keys [--json]\n";
      return 0;
    } else if (arg.starts_with("-")) {
      return usageError(context, "keys", "unknown option \"" + arg + "\"");
    } else {
      return usageError(context, "keys", "unexpected argument \"" + arg + "\"");
    }
  }
  // Settings given with -s arrive after the tables may have been built in this
  // process, so take them in before listing.
  for (TagFormat format : {TagFormat::ID3v2, TagFormat::MP4, TagFormat::ASF, TagFormat::APE,
                           TagFormat::Vorbis, TagFormat::INFO}) {
    tagMappingsDidChange(format);
  }
  std::vector<TagMappingSnapshot> tables;
  for (const auto& column : kColumns) {
    tables.push_back(tagMappings(column.format, column.id3v2MajorVersion));
  }
  return json ? printJSON(context.out, tables) : printText(context.out, tables);
}

}  // namespace quorvel::cli
