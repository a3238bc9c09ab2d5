#include "cli/RecordJson.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "model/AudioMetadata.h"
#include "model/TagTextCodec.h"

namespace quorvel::cli {

using nlohmann::ordered_json;

namespace {

ordered_json valueToJson(const Object& value) {
  if (value.isText()) {
    return value.text();
  }
  if (value.isNumber()) {
    const Number& n = value.number();
    if (n.isInteger()) {
      return n.int64Value();
    }
    return n.doubleValue();
  }
  if (value.isData()) {
    return ordered_json{{"base64", encodeBase64(value.data().view())}};
  }
  return nullptr;
}

template <typename T>
ordered_json optionalToJson(const std::optional<T>& value) {
  if (!value) {
    return nullptr;
  }
  return *value;
}

ordered_json numberToJson(const std::optional<Number>& value) {
  if (!value) {
    return nullptr;
  }
  return valueToJson(Object(*value));
}

std::string isoDate(std::chrono::system_clock::time_point time) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer;
}

ordered_json dateToJson(const std::optional<std::chrono::system_clock::time_point>& value) {
  if (!value) {
    return nullptr;
  }
  return isoDate(*value);
}

}  // namespace

ordered_json recordToJson(const AudioMetadata& record) {
  ordered_json json;
  json["path"] = record.sourceLocation().value_or("");

  ordered_json tags = ordered_json::object();
  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value) {
      continue;
    }
    ordered_json values = ordered_json::array();
    for (const Object& v : value->allValues()) {
      values.push_back(valueToJson(v));
    }
    tags[key] = ordered_json{{"type", value->type()}, {"values", std::move(values)}};
  }
  json["tags"] = std::move(tags);

  ordered_json artworks = ordered_json::array();
  for (const auto& artwork : record.artworks()) {
    artworks.push_back(
        ordered_json{{"type", artwork->artworkType()},
                     {"mimeType", artwork->mimeType()},
                     {"comments", optionalToJson(artwork->comments())},
                     {"originalFilename", optionalToJson(artwork->originalFilename())},
                     {"md5", artwork->md5()},
                     {"width", artwork->width()},
                     {"height", artwork->height()},
                     {"size", artwork->dataSize()}});
  }
  json["artworks"] = std::move(artworks);

  ordered_json properties;
  properties["kind"] = optionalToJson(record.sourceKind());
  properties["format"] = optionalToJson(record.sourceFormat());
  properties["length"] = optionalToJson(record.sourceLength());
  properties["bitrate"] = numberToJson(record.sourceBitrate());
  properties["bitrateMode"] = optionalToJson(record.sourceBitrateMode());
  properties["sampleRate"] = numberToJson(record.sourceSampleRate());
  properties["sampleSize"] = numberToJson(record.sourceSampleSize());
  properties["channels"] = numberToJson(record.sourceChannels());
  properties["channelMode"] = optionalToJson(record.sourceChannelMode());
  properties["tagFormat"] = optionalToJson(record.sourceTagFormat());
  properties["encodedWith"] = optionalToJson(record.sourceEncodedWith());
  properties["fileSize"] = numberToJson(record.sourceFileSize());
  properties["dateModified"] = dateToJson(record.sourceDateModified());
  properties["dateCreated"] = dateToJson(record.sourceDateCreated());
  json["properties"] = std::move(properties);

  json["digest"] = record.currentMetadataMD5();
  json["needsSaving"] = record.metadataNeedsSaving();
  return json;
}

ordered_json errorToJson(const std::string& path, const std::string& message) {
  return ordered_json{{"path", path}, {"error", message}};
}

std::string recordToText(const AudioMetadata& record) {
  std::ostringstream out;
  out << record.sourceLocation().value_or("") << "\n";
  auto property = [&](const char* name, const std::string& text) {
    if (!text.empty()) {
      out << "  " << name << ": " << text << "\n";
    }
  };
  auto numberText = [](const std::optional<Number>& n) {
    return n ? n->stringValue() : std::string();
  };
  property("Kind", record.sourceKind().value_or(""));
  property("Format", record.sourceFormat().value_or(""));
  if (record.sourceLength()) {
    property("Length", Number(*record.sourceLength()).stringValue() + " s");
  }
  std::string bitrate = numberText(record.sourceBitrate());
  if (!bitrate.empty()) {
    property("Bitrate",
             bitrate + " bit/s" +
                 (record.sourceBitrateMode() ? " (" + *record.sourceBitrateMode() + ")" : ""));
  }
  property("Sample rate", numberText(record.sourceSampleRate()));
  property("Sample size", numberText(record.sourceSampleSize()));
  property("Channels",
           numberText(record.sourceChannels()) +
               (record.sourceChannelMode() ? " (" + *record.sourceChannelMode() + ")" : ""));
  property("Tags", record.sourceTagFormat().value_or(""));
  property("Encoded with", record.sourceEncodedWith().value_or(""));
  property("File size", numberText(record.sourceFileSize()));

  std::size_t width = 0;
  const auto keys = record.allMetadataKeys();
  for (const auto& key : keys) {
    width = std::max(width, key.size());
  }
  for (const auto& key : keys) {
    auto value = record.metadataValueForKey(key);
    if (!value) {
      continue;
    }
    for (const Object& v : value->allValues()) {
      std::string text;
      if (v.isData()) {
        text = "<" + std::to_string(v.data().size()) + " bytes>";
      } else {
        text = v.stringValue().value_or("");
      }
      out << "  " << key << std::string(width - key.size(), ' ') << " = " << text << "\n";
    }
  }
  int index = 1;
  for (const auto& artwork : record.artworks()) {
    out << "  Artwork " << index++ << ": type " << artwork->artworkType() << ", "
        << artwork->mimeType() << ", " << artwork->dimensions() << ", " << artwork->dataSize()
        << " bytes";
    if (artwork->comments()) {
      out << ", \"" << *artwork->comments() << "\"";
    }
    out << "\n";
  }
  out << "  Digest: " << record.currentMetadataMD5()
      << (record.metadataNeedsSaving() ? " (changed)" : "") << "\n";
  return out.str();
}

std::string dumpJson(const ordered_json& json) {
  return json.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace quorvel::cli
