#pragma once

// Records, pictures and stand-ins shared by the export and import tests.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/AudioMetadataExporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "model/AlbumArtwork.h"
#include "model/AudioMetadata.h"
#include "platform/ImageCodec.h"
#include "platform/UIHost.h"

namespace quorvel::test {

using Strings = std::vector<std::string>;

// A small picture in `type`, its colour set by `shade` so pictures differ.
inline Data makePicture(BitmapFileType type, std::uint8_t shade) {
  ImageCodec::Bitmap bitmap{4, 4, 3, std::vector<std::uint8_t>(4 * 4 * 3, shade)};
  auto image = ImageCodec::fromBitmap(bitmap);
  EXPECT_TRUE(image);
  return image ? ImageCodec::encode(*image, type, 0.9f, nullptr) : Data();
}

inline AlbumArtworkPtr makeArtwork(std::uint8_t shade, std::uint32_t type,
                                   std::optional<std::string> comments) {
  auto artwork = AlbumArtwork::albumArtworkFromData(makePicture(BitmapFileType::PNG, shade),
                                                    "cover" + std::to_string(shade) + ".png");
  EXPECT_TRUE(artwork);
  if (artwork) {
    artwork->setArtworkType(type);
    artwork->setComments(std::move(comments));
  }
  return artwork;
}

// A record with the given tags (each key to its values in order).
inline AudioMetadataPtr makeRecord(const std::vector<std::pair<std::string, ObjectList>>& tags,
                                   const std::string& location = "") {
  auto record = std::make_shared<AudioMetadata>();
  for (const auto& [key, values] : tags) {
    record->setMetadataObjectValues(values, key);
  }
  if (!location.empty()) {
    record->setSourceLocation(location);
  }
  record->takeOriginalDigest();
  return record;
}

// Key -> values as text, the values a person sees; keys whose values are all
// empty are left out, since an empty value is no value to import.
inline std::map<std::string, std::vector<std::string>> tagTexts(const AudioMetadata& record) {
  std::map<std::string, std::vector<std::string>> tags;
  for (const std::string& key : record.allMetadataKeys()) {
    std::vector<std::string> texts;
    bool any = false;
    for (const Object& value : record.metadataObjectValuesForKey(key).value_or(ObjectList())) {
      texts.push_back(value.stringValue().value_or(
          "<data " + std::to_string(value.isData() ? value.data().size() : 0) + ">"));
      any = any || !value.hasZeroLength();
    }
    if (any) {
      tags[key] = texts;
    }
  }
  return tags;
}

inline std::vector<std::string> texts(const AudioMetadata& record, const std::string& key) {
  std::vector<std::string> out;
  for (const Object& value : record.metadataObjectValuesForKey(key).value_or(ObjectList())) {
    out.push_back(value.stringValue().value_or("?"));
  }
  return out;
}

// Keeps every progress report; cancels the run at report number `cancelAt`
// (counted from 1; 0 never) through `cancel`.
struct RecordingDelegate : AudioMetadataExporterDelegate, AudioMetadataImporterDelegate {
  struct Report {
    double percent;
    std::size_t index;
    std::size_t total;
  };
  std::vector<Report> reports;
  std::size_t cancelAt = 0;
  std::function<void()> cancel;

  void record(double percent, std::size_t index, std::size_t total) {
    reports.push_back({percent, index, total});
    if (cancelAt != 0 && reports.size() == cancelAt && cancel) {
      cancel();
    }
  }
  void exportProgressDidUpdateWithPercentComplete(double percent, std::size_t index,
                                                  std::size_t total) override {
    record(percent, index, total);
  }
  void importProgressDidUpdateWithPercentComplete(double percent, std::size_t index,
                                                  std::size_t total) override {
    record(percent, index, total);
  }
};

// Answers every alert with a fixed button and keeps what it was shown.
class ScriptedHost : public UIHost {
 public:
  explicit ScriptedHost(int answer) : answer_(answer) {}
  int runAlert(const std::string& heading, const std::string& text,
               const std::vector<std::string>& buttons) override {
    ++alerts;
    lastHeading = heading;
    lastText = text;
    lastButtons = buttons;
    return answer_;
  }
  std::optional<std::string> chooseFolder(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  int alerts = 0;
  std::string lastHeading;
  std::string lastText;
  std::vector<std::string> lastButtons;

 private:
  int answer_;
};

}  // namespace quorvel::test
