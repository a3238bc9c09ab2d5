#include "cli/RecordJson.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "model/AudioMetadata.h"
#include "model/TagTextCodec.h"

namespace quorvel::cli {

namespace {

void writeValue(JsonWriter& out, const Object& value) {
  if (value.isText()) {
    out.string(value.text());
  } else if (value.isNumber()) {
    const Number& n = value.number();
    if (n.isInteger()) {
      out.integer(n.int64Value());
    } else {
      out.number(n.doubleValue());
    }
  } else if (value.isData()) {
    out.beginObject();
    out.key("base64");
    out.string(encodeBase64(value.data().view()));
    out.endObject();
  } else {
    out.null();
  }
}

void writeText(JsonWriter& out, const std::optional<std::string>& text) {
  if (text) {
    out.string(*text);
  } else {
    out.null();
  }
}

void writeNumber(JsonWriter& out, const std::optional<Number>& number) {
  if (number) {
    writeValue(out, Object(*number));
  } else {
    out.null();
  }
}

void writeDate(JsonWriter& out, const std::optional<std::chrono::system_clock::time_point>& value) {
  if (!value) {
    out.null();
    return;
  }
  std::time_t seconds = std::chrono::system_clock::to_time_t(*value);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  out.string(buffer);
}

}  // namespace

void writeRecordJson(JsonWriter& out, const AudioMetadata& record) {
  out.beginObject();
  out.key("path");
  out.string(record.sourceLocation().value_or(""));

  out.key("tags");
  out.beginObject();
  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value) {
      continue;
    }
    out.key(key);
    out.beginObject();
    out.key("type");
    out.integer(value->type());
    out.key("values");
    out.beginArray();
    for (const Object& v : value->allValues()) {
      writeValue(out, v);
    }
    out.endArray();
    out.endObject();
  }
  out.endObject();

  out.key("artworks");
  out.beginArray();
  for (const auto& artwork : record.artworks()) {
    out.beginObject();
    out.key("type");
    out.integer(artwork->artworkType());
    out.key("mimeType");
    out.string(artwork->mimeType());
    out.key("comments");
    writeText(out, artwork->comments());
    out.key("originalFilename");
    writeText(out, artwork->originalFilename());
    out.key("md5");
    out.string(artwork->md5());
    out.key("width");
    out.integer(artwork->width());
    out.key("height");
    out.integer(artwork->height());
    out.key("size");
    out.integer(static_cast<std::int64_t>(artwork->dataSize()));
    out.endObject();
  }
  out.endArray();

  out.key("properties");
  out.beginObject();
  out.key("kind");
  writeText(out, record.sourceKind());
  out.key("format");
  writeText(out, record.sourceFormat());
  out.key("length");
  if (record.sourceLength()) {
    out.number(*record.sourceLength());
  } else {
    out.null();
  }
  out.key("bitrate");
  writeNumber(out, record.sourceBitrate());
  out.key("bitrateMode");
  writeText(out, record.sourceBitrateMode());
  out.key("sampleRate");
  writeNumber(out, record.sourceSampleRate());
  out.key("sampleSize");
  writeNumber(out, record.sourceSampleSize());
  out.key("channels");
  writeNumber(out, record.sourceChannels());
  out.key("channelMode");
  writeText(out, record.sourceChannelMode());
  out.key("tagFormat");
  writeText(out, record.sourceTagFormat());
  out.key("encodedWith");
  writeText(out, record.sourceEncodedWith());
  out.key("fileSize");
  writeNumber(out, record.sourceFileSize());
  out.key("dateModified");
  writeDate(out, record.sourceDateModified());
  out.key("dateCreated");
  writeDate(out, record.sourceDateCreated());
  out.endObject();

  out.key("digest");
  out.string(record.currentMetadataMD5());
  out.key("needsSaving");
  out.boolean(record.metadataNeedsSaving());
  out.endObject();
}

void writeErrorJson(JsonWriter& out, const std::string& path, const std::string& message) {
  out.beginObject();
  out.key("path");
  out.string(path);
  out.key("error");
  out.string(message);
  out.endObject();
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

}  // namespace quorvel::cli
