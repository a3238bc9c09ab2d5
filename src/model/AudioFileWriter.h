#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "support/Error.h"

namespace TagLib {
class File;
namespace ID3v1 {
class Tag;
}
namespace ID3v2 {
class Tag;
}
namespace APE {
class Tag;
}
namespace ASF {
class Tag;
}
namespace MP4 {
class Tag;
}
namespace Ogg {
class XiphComment;
}
namespace RIFF::Info {
class Tag;
}
}  // namespace TagLib

namespace quorvel {

class AudioMetadata;

// Text encodings of ID3v2 frames.
enum class ID3v2TextEncoding { Latin1, UTF16, UTF8 };

// Writes records back into their files, and renames or copies the files of
// records.
//
// A write never edits the file in place: the file is copied beside itself,
// every tag the copy holds is removed, each tag that the container and the
// settings call for is built afresh from the record, and only when all of
// that succeeded does the copy replace the file (see FileReplacement). So a
// failure at any point, a crash included, leaves the file as it was.
//
// Every function may run on any thread, one call per file at a time; writes
// of ID3v2 tags are serialised among themselves (TagLib keeps their default
// text encoding process-wide). The record is used by the calling thread only.
class AudioFileWriter {
 public:
  // Error codes of writeToFile (domain kQuorvelErrorDomain).
  static constexpr int kFileNotFoundError = -100;  // "File Not Found"
  static constexpr int kInvalidFileError = -101;   // "Invalid File"
  static constexpr int kFileReadOnlyError = -102;  // "File Is Read Only"

  // The ID3v2 major version and text encoding for a value of the settings
  // "WriteMP3ID3v2TagVersion", "WriteAIFFID3v2TagVersion" and
  // "WriteWAVID3v2TagVersion": 1 (4, UTF-8), 2 (3, UTF-16), 3 (3, Latin-1),
  // 4 (4, UTF-16), 5 (4, Latin-1), anything else (4, UTF-8).
  struct ID3v2Format {
    int majorVersion = 4;
    ID3v2TextEncoding encoding = ID3v2TextEncoding::UTF8;
  };
  static ID3v2Format id3v2FormatForSetting(std::int64_t value);

  // Writes `record` into the file at `path` (normally its sourceLocation),
  // choosing the container by the lower-cased extension and reading the
  // writing settings afresh. On success the record takes the file's size and
  // dates, the list of tag formats now in the file ("ID3v2.4.0, ID3v1") and
  // both digests of its present content, so it no longer needs saving.
  // Fails (false) with, in kQuorvelErrorDomain, -100 "File Not Found", -101
  // "Invalid File" (TagLib cannot parse it), -102 "File Is Read Only" (the
  // file may not be written: nothing is touched), a file-operation error
  // (platform/FileOperations.h) when the copy cannot be made or put in
  // place, 512 when TagLib cannot save the tags; an Ogg stream that cannot be
  // told apart gives its detection error; other containers go through the
  // platform's audio file services and fail in kOSStatusErrorDomain where
  // those cannot write them (everything but CAF). A failed write leaves the
  // file and the record as they were. An Ogg file of another codec (Opus) is
  // left alone and the call succeeds.
  static bool writeToFile(AudioMetadata& record, const std::string& path, Error* error = nullptr);

  // True when TagLib parsed `file`; otherwise false with -101 "Invalid File".
  static bool validateFile(const TagLib::File& file, Error* error = nullptr);
  // True, with -102 "File Is Read Only", when TagLib opened `file` read-only;
  // false, leaving `error` alone, otherwise.
  static bool checkReadOnly(const TagLib::File& file, Error* error = nullptr);

  // Moves (or, with `copyInsteadOfMove` and another folder, copies) the
  // record's file to `destination`. The same path does nothing. A name that
  // differs by more than letter case and is taken gets " 2", " 3", ... before
  // its extension; a change of letter case only is done as asked. Missing
  // folders are created. A move sets the record's sourceLocation. False with
  // the file operation's error; the record's location is then unchanged.
  static bool renameFileTo(AudioMetadata& record, const std::string& destination,
                           bool copyInsteadOfMove, Error* error = nullptr);
  // The folder-access request (AudioFileReader::requestFolderAccess) for
  // `path`. Nothing happens when the nearest existing folder of `path` can
  // be read; otherwise the request runs at once on the main thread, or is
  // handed to the main run loop (which must be running) and waited for.
  static void punchHoleInFile(const std::string& path);
  // Removes the quarantine mark of downloaded files. This system has none,
  // so there is nothing to do; kept so callers read as on every platform.
  static void releaseFromQuarantine(const std::string& path);

  // Filling operations: each empties the tag, then fills it from the record
  // (keys in byte-wise order, then the artworks). A null tag does nothing.
  // Thread: the writing thread. fillOutID3v2Tag changes TagLib's
  // process-wide default text encoding: hold id3v2WriteMutex() around it
  // and the save that follows.
  static void fillOutID3v1Tag(const AudioMetadata& record, TagLib::ID3v1::Tag* tag);
  static void fillOutID3v2Tag(const AudioMetadata& record, TagLib::ID3v2::Tag* tag,
                              int majorVersion, ID3v2TextEncoding encoding);
  static void fillOutAPETag(const AudioMetadata& record, TagLib::APE::Tag* tag);
  static void fillOutXiphComment(const AudioMetadata& record, TagLib::Ogg::XiphComment* tag,
                                 bool writeArtwork);
  static void fillOutMP4Tag(const AudioMetadata& record, TagLib::MP4::Tag* tag);
  static void fillOutASFTag(const AudioMetadata& record, TagLib::ASF::Tag* tag);
  static void fillOutINFOTag(const AudioMetadata& record, TagLib::RIFF::Info::Tag* tag);

  // Serialises every ID3v2 write of the process (writeToFile takes it).
  static std::mutex& id3v2WriteMutex();
};

}  // namespace quorvel
