#pragma once

#include <string>

#include "cli/JsonWriter.h"

namespace quorvel {
class AudioMetadata;
}

namespace quorvel::cli {

// The CLI's JSON form of a record:
// {"path", "tags": {KEY: {"type", "values"}}, "artworks": [...], "properties": {...},
//  "digest", "needsSaving"}. Text values are strings, numbers numbers, data
// {"base64": ...}; absent properties null; dates ISO 8601 UTC.
// Written as one value into `out`.
void writeRecordJson(JsonWriter& out, const AudioMetadata& record);
// {"path", "error"}: a file that could not be read or saved.
void writeErrorJson(JsonWriter& out, const std::string& path, const std::string& message);

// A readable listing of the same content.
std::string recordToText(const AudioMetadata& record);

}  // namespace quorvel::cli
