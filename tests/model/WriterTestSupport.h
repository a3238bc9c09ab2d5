#pragma once

// Helpers shared by the tests of the tag writer.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/AlbumArtwork.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "testsupport/FixtureManifest.h"
#include "testsupport/TestSupport.h"

namespace quorvel::test {

using ScopedSetting = SettingOverride;

// A fixture copied into a fresh folder, so it can be written.
inline std::filesystem::path copyOfFixture(const TemporaryDirectory& dir, const std::string& name,
                                           const std::string& as = "") {
  const auto source = fixture(name);
  const auto target = dir / (as.empty() ? std::filesystem::path(name).filename().string() : as);
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  return target;
}

inline std::shared_ptr<AudioMetadata> readRecord(const std::filesystem::path& path) {
  Error error;
  auto record = AudioFileReader::metadataFromFile(path.string(), &error);
  EXPECT_TRUE(record) << path << ": " << error.localizedDescription;
  return record;
}

inline AlbumArtworkPtr imageArtwork(const std::string& image, std::uint32_t type,
                                    std::optional<std::string> comments = std::nullopt,
                                    std::optional<std::string> name = std::nullopt) {
  auto artwork = AlbumArtwork::albumArtworkFromFile(fixture("images/" + image).string());
  EXPECT_TRUE(artwork) << image;
  if (!artwork) return nullptr;
  artwork->setArtworkType(type);
  artwork->setComments(std::move(comments));
  artwork->setOriginalFilename(std::move(name));
  return artwork;
}

// What a record holds, in a form that compares and prints: each key's values
// as text (bytes as "hex:..."), keys without values left out, and each
// artwork's digest, type and comments.
struct RecordSnapshot {
  std::map<std::string, std::vector<std::string>> tags;
  std::vector<std::tuple<std::string, std::uint32_t, std::string>> artworks;
  bool operator==(const RecordSnapshot&) const = default;
};

inline std::string hexOf(const Data& data) {
  static const char* digits = "0123456789abcdef";
  std::string hex = "hex:";
  for (std::size_t i = 0; i < data.size(); ++i) {
    hex += digits[data.bytes()[i] >> 4];
    hex += digits[data.bytes()[i] & 15];
  }
  return hex;
}

inline RecordSnapshot snapshotOf(const AudioMetadata& record) {
  RecordSnapshot snapshot;
  for (const auto& key : record.allMetadataKeys()) {
    std::vector<std::string> values;
    for (const Object& value : record.metadataValueForKey(key)->allValues()) {
      values.push_back(value.isData() ? hexOf(value.data()) : value.stringValue().value_or(""));
    }
    if (!values.empty()) snapshot.tags[key] = values;
  }
  for (const auto& artwork : record.artworks()) {
    snapshot.artworks.emplace_back(artwork->md5(), artwork->artworkType(),
                                   artwork->comments().value_or(""));
  }
  return snapshot;
}

inline void PrintTo(const RecordSnapshot& snapshot, std::ostream* out) {
  for (const auto& [key, values] : snapshot.tags) {
    *out << "\n  " << key << " =";
    for (const auto& value : values) *out << " [" << value.substr(0, 60) << "]";
  }
  for (const auto& [md5, type, comments] : snapshot.artworks) {
    *out << "\n  artwork " << md5 << " type " << type << " \"" << comments << "\"";
  }
}

// The file as mutagen (tests/model/mutagen_dump.py) reads it; none, after
// a skip message, when Debian's python3 with mutagen is not there.
inline std::optional<nlohmann::json> mutagenDump(const std::filesystem::path& file) {
  static const bool available =
      std::system("/usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") == 0;
  if (!available) return std::nullopt;
  const std::string script = std::string(QUORVEL_TEST_SOURCE_DIR) + "/model/mutagen_dump.py";
  const std::string command = "/usr/bin/python3 '" + script + "' '" + file.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return std::nullopt;
  std::string output;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
    output.append(buffer, got);
  }
  auto json = nlohmann::json::parse(output, nullptr, false);
  EXPECT_FALSE(json.is_discarded()) << "mutagen_dump.py gave no JSON for " << file;
  return json;
}

#define QUORVEL_MUTAGEN_OR_SKIP(dump, file)            \
  auto dump = ::quorvel::test::mutagenDump(file);      \
  if (!dump) {                                         \
    GTEST_SKIP() << "/usr/bin/python3 has no mutagen"; \
  }

}  // namespace quorvel::test
