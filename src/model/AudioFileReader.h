#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/Error.h"

namespace quorvel {

class AudioMetadata;

// Turns the path of an audio file into a record: the container is chosen by
// the extension (Ogg by its first packet), its tags are read in the
// container's order of precedence as the settings allow, the audio
// properties filled, then file attributes, an artwork image file beside the
// audio file and a title from the file name are added.
//
// Every function may be called from any thread, for different files at once;
// each reads the settings and the shared mapping tables and touches no record
// but its own. The returned record has no undo manager.
class AudioFileReader {
 public:
  // The record, or none when the file cannot be read. `error`, when given,
  // says why.
  static std::shared_ptr<AudioMetadata> metadataFromFile(const std::string& path,
                                                         Error* error = nullptr);

  // The readers of the containers; each gives none when TagLib reports the
  // file as not valid.
  static std::shared_ptr<AudioMetadata> metadataFromFLACFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromOggFLACFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromOggVorbisFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromOggSpeexFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromWMAFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromMP3File(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromMP4File(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromAIFFFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromWAVEFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromDSDFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromMonkeysAudioFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromTrueAudioFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromWavPackFile(const std::string& path);
  static std::shared_ptr<AudioMetadata> metadataFromMusepackFile(const std::string& path);

  // Audio properties and tag values through the platform's audio file
  // services; each does nothing when the file cannot be opened.
  static void getCoreAudioInfoFromFile(const std::string& path, AudioMetadata& record);
  static void getCoreAudioMetadataFromFile(const std::string& path, AudioMetadata& record);

  // Adds the first image in the folder of `pathPattern` whose name matches its
  // last component ("*" and "?" wildcards, ignoring case and diacritics).
  static void readAlbumArtworkFromFilename(const std::string& pathPattern, AudioMetadata* record);

  // Makes sure the folder holding `path` can be read, asking the person
  // through the UI host when it cannot. Returns whether it is readable now.
  static bool requestFolderAccess(const std::string& path);

  // True when `name` matches `pattern` with "*" and "?" wildcards, ignoring
  // case and diacritics.
  static bool filenameMatchesPattern(std::string_view name, std::string_view pattern);
};

}  // namespace quorvel
