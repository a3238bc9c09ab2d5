#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quorvel {
class AudioMetadata;
}

namespace quorvel::cli {

// The CLI's JSON form of a record:
// {"path", "tags": {KEY: {"type", "values"}}, "artworks": [...], "properties": {...},
//  "digest", "needsSaving"}. Text values are strings, numbers numbers, data
// {"base64": ...}; absent properties null; dates ISO 8601 UTC.
nlohmann::ordered_json recordToJson(const AudioMetadata& record);
nlohmann::ordered_json errorToJson(const std::string& path, const std::string& message);

// A readable listing of the same content.
std::string recordToText(const AudioMetadata& record);

// Serialises without failing on invalid UTF-8 (replaced with U+FFFD).
std::string dumpJson(const nlohmann::ordered_json& json);

}  // namespace quorvel::cli
