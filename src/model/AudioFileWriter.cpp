#include "model/AudioFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/podcastframe.h>
#include <taglib/popularimeterframe.h>
#include <taglib/speexfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/trueaudiofile.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "model/AlbumArtwork.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "model/DSFFile.h"
#include "model/MetadataValue.h"
#include "model/OggStreamType.h"
#include "model/TagMappings.h"
#include "platform/AudioFileServices.h"
#include "platform/FileOperations.h"
#include "platform/FileReplacement.h"
#include "platform/OSStatus.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/Text.h"

namespace quorvel {

namespace {

namespace fs = std::filesystem;

// The owner MusicBrainz publishes for its track-id UFID frames.
constexpr const char* kMusicBrainzUFIDOwner = "http://musicbrainz.org";
// APEv2, the only APE tag version TagLib writes.
constexpr const char* kAPETagName = "APE v2.0";
// Largest picture type the ID3v2, FLAC and ASF picture enums name.
constexpr std::uint32_t kLastPictureType = 0x14;

bool setting(const char* key) { return UserDefaults::standard().boolForKey(key); }
std::int64_t integerSetting(const char* key) { return UserDefaults::standard().integerForKey(key); }

TagLib::String utf8String(const std::string& text) {
  return TagLib::String(text, TagLib::String::UTF8);
}

TagLib::ByteVector bytesOf(const Data& data) {
  return TagLib::ByteVector(reinterpret_cast<const char*>(data.bytes()),
                            static_cast<unsigned int>(data.size()));
}

TagLib::ByteVector bytesOf(const std::string& text) {
  return TagLib::ByteVector(text.data(), static_cast<unsigned int>(text.size()));
}

bool isLatin1Representable(const std::string& text) {
  const std::u16string units = utf8ToUtf16(text);
  return std::all_of(units.begin(), units.end(), [](char16_t unit) { return unit <= 0xFF; });
}

TagLib::String::Type tagLibEncoding(ID3v2TextEncoding encoding) {
  switch (encoding) {
    case ID3v2TextEncoding::Latin1:
      return TagLib::String::Latin1;
    case ID3v2TextEncoding::UTF16:
      return TagLib::String::UTF16;
    case ID3v2TextEncoding::UTF8:
      break;
  }
  return TagLib::String::UTF8;
}

// Text for a frame in `encoding`. Latin-1 cannot hold every character; such
// text is written empty rather than mangled (TagLib would otherwise quietly
// switch the frame to UTF-16).
TagLib::String encodedText(const std::string& text, TagLib::String::Type encoding) {
  if (encoding == TagLib::String::Latin1 && !isLatin1Representable(text)) {
    return TagLib::String();
  }
  return utf8String(text);
}

TagLib::StringList encodedTexts(const std::vector<std::string>& texts,
                                TagLib::String::Type encoding) {
  TagLib::StringList list;
  for (const auto& text : texts) {
    list.append(encodedText(text, encoding));
  }
  return list;
}

// The values of a key as text: strings unchanged, numbers as decimal text,
// binary data skipped.
std::vector<std::string> textValues(const MetadataValue& value) {
  std::vector<std::string> texts;
  for (const Object& object : value.allValues()) {
    if (object.isText()) {
      texts.push_back(object.text());
    } else if (object.isNumber()) {
      texts.push_back(object.number().stringValue());
    }
  }
  return texts;
}

std::string stringValueOf(const AudioMetadata& record, const std::string& key) {
  auto value = record.metadataValueForKey(key);
  return value ? value->stringValue().value_or("") : std::string();
}

std::optional<Number> numberValueOf(const AudioMetadata& record, const std::string& key) {
  auto value = record.metadataValueForKey(key);
  return value ? value->numberValue() : std::nullopt;
}

// The leading integer of a text, as a person reading "12 of 14" would take
// it: white space skipped, an optional sign, digits up to the first other
// character; 0 when there are none. Saturates at the ends of int.
int leadingInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  long long value = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    value = std::min<long long>(value * 10 + (text[at] - '0'), 1LL << 32);
  }
  value = negative ? -value : value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// The integer of a key's first value: a number truncated, text by its
// leading integer, anything else 0.
std::int64_t integerOfFirstValue(const AudioMetadata& record, const std::string& key) {
  auto value = record.metadataValueForKey(key);
  if (!value || value->allValues().empty()) return 0;
  const Object& first = value->allValues().front();
  if (first.isNumber()) return first.number().int64Value();
  if (first.isText()) return leadingInteger(first.text());
  return 0;
}

std::int64_t integerOfNumberValue(const AudioMetadata& record, const std::string& key) {
  auto number = numberValueOf(record, key);
  return number ? number->int64Value() : 0;
}

unsigned int unsignedOf(std::int64_t value) {
  return static_cast<unsigned int>(std::clamp<std::int64_t>(value, 0, UINT_MAX));
}

// Picture types beyond the named ones are stored as "Other": the enums of
// TagLib cannot hold them.
std::uint32_t pictureType(const AlbumArtwork& artwork) {
  return artwork.artworkType() <= kLastPictureType ? artwork.artworkType() : 0;
}

bool nonEmpty(const std::optional<std::string>& text) { return text && !text->empty(); }

// Pictures come from the record's artwork list; a stray value under this key
// (an import, a paste) must not become a picture frame of text.
bool isArtworkKey(const std::string& key) { return key == "ARTWORK"; }

template <typename Frame>
void addFrame(TagLib::ID3v2::Tag& tag, std::unique_ptr<Frame> frame) {
  tag.addFrame(frame.release());  // the tag owns its frames
}

// --- Tag format names -------------------------------------------------------

class TagFormatNames {
 public:
  void addID3v2(const TagLib::ID3v2::Tag& tag) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "ID3v2.%i.%u",
                  static_cast<int>(tag.header()->majorVersion()), tag.header()->revisionNumber());
    names_.emplace_back(buffer);
  }
  void add(const char* name) { names_.emplace_back(name); }
  std::string joined() const {
    std::string text;
    for (const auto& name : names_) {
      text += text.empty() ? name : ", " + name;
    }
    return text;
  }

 private:
  std::vector<std::string> names_;
};

// --- One write --------------------------------------------------------------

// The copy that a container's writer changes. It is made on first request,
// so a writer that decides to write nothing (an Ogg stream of another codec)
// costs no copy; and it is refused for a file the user may not write.
class WriteSession {
 public:
  explicit WriteSession(std::string path) : path_(std::move(path)) {}

  const std::string& originalPath() const { return path_; }

  // The copy's path, or none with `error`.
  std::optional<std::string> copy(Error* error) {
    if (replacement_) return replacement_->temporaryPath();
    if (!isWritable()) {
      setError(error, kQuorvelErrorDomain, AudioFileWriter::kFileReadOnlyError,
               "File Is Read Only");
      return std::nullopt;
    }
    auto replacement = std::make_unique<FileReplacement>();
    if (!replacement->prepare(path_, error)) return std::nullopt;
    replacement_ = std::move(replacement);
    return replacement_->temporaryPath();
  }
  bool hasCopy() const { return replacement_ != nullptr; }
  bool commit(Error* error) { return replacement_ && replacement_->commit(error); }

 private:
  // The file itself must be writable: a writable folder would let us put a
  // new file in its place, but a file marked read-only stays as it is. The
  // write bits are checked as well, since a privileged process passes every
  // access test.
  bool isWritable() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return false;
    if (::access(path_.c_str(), W_OK) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  }

  std::string path_;
  std::unique_ptr<FileReplacement> replacement_;
};

bool saveFailed(const TagLib::File& file, const std::string& path, Error* error) {
  if (AudioFileWriter::checkReadOnly(file, error)) return false;
  return setError(error, kQuorvelErrorDomain, fileerror::kWriteUnknown,
                  "The tags of “" + fs::path(path).filename().string() + "” couldn’t be saved.");
}

TagLib::ID3v2::Version id3v2Version(int majorVersion) {
  return majorVersion == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
}

// Holds the ID3v2 write lock and puts TagLib's default text encoding back
// when the write is over.
class ID3v2WriteGuard {
 public:
  ID3v2WriteGuard()
      : lock_(AudioFileWriter::id3v2WriteMutex()),
        previous_(TagLib::ID3v2::FrameFactory::instance()->defaultTextEncoding()) {}
  ~ID3v2WriteGuard() { TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(previous_); }
  ID3v2WriteGuard(const ID3v2WriteGuard&) = delete;
  ID3v2WriteGuard& operator=(const ID3v2WriteGuard&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
  TagLib::String::Type previous_;
};

using Writer = bool (*)(AudioMetadata&, WriteSession&, TagFormatNames&, Error*);

// --- The containers ---------------------------------------------------------

bool writeFLAC(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  TagLib::FLAC::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  file.strip(TagLib::FLAC::File::AllTags);
  const auto artworkIn = integerSetting("writeFLACAlbumArtworkIn");
  AudioFileWriter::fillOutXiphComment(record, file.xiphComment(true), (artworkIn & 2) != 0);
  file.removePictures();
  if (artworkIn & 1) {
    // Picture blocks carry the front-cover type and no description, for the
    // players that show only a front cover from them.
    for (const auto& artwork : record.artworks()) {
      auto picture = std::make_unique<TagLib::FLAC::Picture>();
      picture->setType(TagLib::FLAC::Picture::FrontCover);
      picture->setMimeType(utf8String(artwork->mimeType()));
      picture->setData(bytesOf(artwork->data()));
      file.addPicture(picture.release());  // the file owns its pictures
    }
  }
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  names.add("Vorbis");
  return true;
}

bool writeMP3(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  ID3v2WriteGuard guard;
  TagLib::MPEG::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  if (!file.strip(TagLib::MPEG::File::AllTags)) {
    return saveFailed(file, session.originalPath(), error);
  }
  const bool id3v2 = setting("writeMP3ID3v2Tag");
  const bool ape = setting("writeMP3ApeTag");
  const bool id3v1 = setting("writeMP3ID3v1Tag");
  // Each tag is saved on its own, never copied into the others.
  constexpr auto keep = TagLib::File::StripNone;
  constexpr auto alone = TagLib::File::DoNotDuplicate;
  if (id3v2) {
    const auto format =
        AudioFileWriter::id3v2FormatForSetting(integerSetting("WriteMP3ID3v2TagVersion"));
    AudioFileWriter::fillOutID3v2Tag(record, file.ID3v2Tag(true), format.majorVersion,
                                     format.encoding);
    if (!file.save(TagLib::MPEG::File::ID3v2, keep, id3v2Version(format.majorVersion), alone)) {
      return saveFailed(file, session.originalPath(), error);
    }
    names.addID3v2(*file.ID3v2Tag(true));
  }
  if (ape) {
    AudioFileWriter::fillOutAPETag(record, file.APETag(true));
    if (!file.save(TagLib::MPEG::File::APE, keep, TagLib::ID3v2::v4, alone)) {
      return saveFailed(file, session.originalPath(), error);
    }
    names.add(kAPETagName);
  }
  if (id3v1) {
    AudioFileWriter::fillOutID3v1Tag(record, file.ID3v1Tag(true));
    if (!file.save(TagLib::MPEG::File::ID3v1, keep, TagLib::ID3v2::v4, alone)) {
      return saveFailed(file, session.originalPath(), error);
    }
    names.add("ID3v1");
  }
  return true;
}

bool writeMP4(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  TagLib::MP4::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  AudioFileWriter::fillOutMP4Tag(record, file.tag());
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  if (file.tag()) names.add("MP4 Metadata");
  return true;
}

bool writeAIFF(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  ID3v2WriteGuard guard;
  TagLib::RIFF::AIFF::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  const auto format =
      AudioFileWriter::id3v2FormatForSetting(integerSetting("WriteAIFFID3v2TagVersion"));
  AudioFileWriter::fillOutID3v2Tag(record, file.tag(), format.majorVersion, format.encoding);
  if (!file.save(id3v2Version(format.majorVersion))) {
    return saveFailed(file, session.originalPath(), error);
  }
  names.addID3v2(*file.tag());
  return true;
}

bool writeWAV(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  using WAV = TagLib::RIFF::WAV::File;
  auto path = session.copy(error);
  if (!path) return false;
  ID3v2WriteGuard guard;
  WAV file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  // Removes the ID3v2 and the INFO chunk alike.
  if (!file.save(WAV::NoTags, TagLib::File::StripOthers)) {
    return saveFailed(file, session.originalPath(), error);
  }
  const bool id3v2 = setting("writeWAVID3v2Tag");
  const bool info = setting("writeWAVInfoChunkTag");
  const auto format =
      AudioFileWriter::id3v2FormatForSetting(integerSetting("WriteWAVID3v2TagVersion"));
  int tags = WAV::NoTags;
  if (id3v2) {
    AudioFileWriter::fillOutID3v2Tag(record, file.ID3v2Tag(), format.majorVersion, format.encoding);
    tags |= WAV::ID3v2;
  }
  if (info) {
    AudioFileWriter::fillOutINFOTag(record, file.InfoTag());
    tags |= WAV::Info;
  }
  if (!file.save(static_cast<WAV::TagTypes>(tags), TagLib::File::StripOthers,
                 id3v2Version(format.majorVersion))) {
    return saveFailed(file, session.originalPath(), error);
  }
  if (id3v2) names.addID3v2(*file.ID3v2Tag());
  if (info) names.add("INFO Chunk");
  return true;
}

bool writeAPE(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  TagLib::APE::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  file.strip(TagLib::APE::File::AllTags);
  AudioFileWriter::fillOutAPETag(record, file.APETag(true));
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  if (file.hasAPETag()) names.add(kAPETagName);
  return true;
}

bool writeTrueAudio(AudioMetadata& record, WriteSession& session, TagFormatNames& names,
                    Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  ID3v2WriteGuard guard;
  TagLib::TrueAudio::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  file.strip(TagLib::TrueAudio::File::AllTags);
  const bool id3v2 = setting("writeTrueAudioID3v2Tag");
  const bool id3v1 = setting("writeTrueAudioID3v1Tag");
  if (id3v2) {
    AudioFileWriter::fillOutID3v2Tag(record, file.ID3v2Tag(true), 4, ID3v2TextEncoding::UTF8);
  }
  if (id3v1) {
    AudioFileWriter::fillOutID3v1Tag(record, file.ID3v1Tag(true));
  }
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  if (id3v2) names.addID3v2(*file.ID3v2Tag(true));
  if (id3v1) names.add("ID3v1");
  return true;
}

bool writeDSF(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  ID3v2WriteGuard guard;
  DSFFile file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  AudioFileWriter::fillOutID3v2Tag(record, file.ID3v2Tag(true), 4, ID3v2TextEncoding::UTF8);
  names.add("ID3v2.4.0");
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  return true;
}

template <typename OggFile>
bool writeXiphCommentOf(AudioMetadata& record, const std::string& path, WriteSession& session,
                        TagFormatNames& names, Error* error) {
  OggFile file(path.c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  TagLib::Ogg::XiphComment* tag = file.tag();
  AudioFileWriter::fillOutXiphComment(record, tag, true);
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  // TagLib keeps the pictures apart from the fields; either makes a tag.
  if (tag && (!tag->isEmpty() || !tag->pictureList().isEmpty())) names.add("Vorbis");
  return true;
}

bool writeOgg(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  Error detection;
  const OggStreamType type = oggStreamType(session.originalPath(), &detection);
  if (detection.code != 0) {
    if (error) *error = detection;
    return false;
  }
  if (type == OggStreamType::Unknown) {
    // Opus and other codecs: TagLib's Ogg classes here do not cover them,
    // so the file is left as it is and the write counts as done.
    return true;
  }
  auto path = session.copy(error);
  if (!path) return false;
  switch (type) {
    case OggStreamType::Vorbis:
      return writeXiphCommentOf<TagLib::Ogg::Vorbis::File>(record, *path, session, names, error);
    case OggStreamType::FLAC:
      return writeXiphCommentOf<TagLib::Ogg::FLAC::File>(record, *path, session, names, error);
    case OggStreamType::Speex:
      return writeXiphCommentOf<TagLib::Ogg::Speex::File>(record, *path, session, names, error);
    case OggStreamType::Unknown:
      break;
  }
  return true;
}

bool writeASF(AudioMetadata& record, WriteSession& session, TagFormatNames& names, Error* error) {
  auto path = session.copy(error);
  if (!path) return false;
  TagLib::ASF::File file(path->c_str(), false);
  if (!AudioFileWriter::validateFile(file, error)) return false;
  TagLib::ASF::Tag* tag = file.tag();
  AudioFileWriter::fillOutASFTag(record, tag);
  if (!file.save()) return saveFailed(file, session.originalPath(), error);
  if (tag && !tag->isEmpty()) names.add("ASF");
  return true;
}

// Record keys and the info dictionary keys of the platform's containers.
constexpr std::array<std::pair<const char*, const char*>, 13> kInfoDictionaryKeys = {{
    {"TRACKARTIST", "artist"},
    {"ALBUM", "album"},
    {"BPM", "tempo"},
    {"KEY", "key signature"},
    {"TRACKNUMBER", "track number"},
    {"YEAR", "year"},
    {"COMPOSER", "composer"},
    {"LYRICIST", "lyricist"},
    {"GENRE", "genre"},
    {"TRACKTITLE", "title"},
    {"COMMENTS", "comments"},
    {"COPYRIGHT", "copyright"},
    {"ISRC", "ISRC"},
}};

// An error of the audio file services: the status alone, described as the
// platform describes a bare status.
bool setOSStatusError(Error* error, int status) {
  return setError(
      error, kOSStatusErrorDomain, status,
      "The operation couldn’t be completed. (OSStatus error " + std::to_string(status) + ".)");
}

bool isCafFile(const std::string& path) {
  char magic[4] = {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return got == 4 && std::string_view(magic, 4) == "caff";
}

// Containers TagLib does not handle: the platform's audio file services,
// which on this system write the info dictionary of CAF files only.
bool writePlatform(AudioMetadata& record, WriteSession& session, TagFormatNames& /*names*/,
                   Error* error) {
  Error openError;
  auto info = openAudioFile(session.originalPath(), &openError);
  if (!info) {
    return setOSStatusError(error, openError.code);
  }
  if (!isCafFile(session.originalPath())) {
    // Opening for writing fails where the services cannot write the type.
    return setOSStatusError(error, osstatus::kUnsupportedFileTypeError);
  }
  InfoDictionary dictionary = info->infoDictionary;
  for (const auto& [key, infoKey] : kInfoDictionaryKeys) {
    auto value = record.metadataValueForKey(key);
    if (!value || value->allValues().empty()) continue;
    dictionary.set(infoKey, value->stringValue().value_or(""));
  }
  auto path = session.copy(error);
  if (!path) return false;
  Error writeError;
  if (!writeInfoDictionary(*path, dictionary, &writeError)) {
    return setOSStatusError(error, writeError.code);
  }
  return true;
}

struct ContainerRow {
  std::array<const char*, 5> extensions;
  Writer writer;
};

// Extension (lower case) to writer, as the containers are chosen for writing.
const std::array<ContainerRow, 11> kContainers = {{
    {{"flac"}, writeFLAC},
    {{"mp3"}, writeMP3},
    {{"mp4", "m4a", "aac", "m4b", "m4v"}, writeMP4},
    {{"aiff", "aif"}, writeAIFF},
    {{"wave", "wav"}, writeWAV},
    {{"ape"}, writeAPE},
    {{"tta"}, writeTrueAudio},
    {{"dsf"}, writeDSF},
    {{"ogg", "oga", "oggflac", "spx"}, writeOgg},
    {{"wma", "wmv", "asf"}, writeASF},
    {{}, writePlatform},
}};

Writer writerForPath(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& row : kContainers) {
    for (const char* candidate : row.extensions) {
      if (candidate && extension == candidate) return row.writer;
    }
  }
  return writePlatform;
}

void takeFileAttributes(const std::string& path, AudioMetadata& record) {
  struct statx st {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &st) != 0) {
    return;
  }
  auto toTime = [](const struct statx_timestamp& t) {
    return std::chrono::system_clock::time_point(std::chrono::seconds(t.tv_sec) +
                                                 std::chrono::nanoseconds(t.tv_nsec));
  };
  record.setSourceFileSize(Number(static_cast<std::int64_t>(st.stx_size)));
  record.setSourceDateModified(toTime(st.stx_mtime));
  // As when reading: without a birth time the modification time stands in.
  record.setSourceDateCreated((st.stx_mask & STATX_BTIME) ? toTime(st.stx_btime)
                                                          : toTime(st.stx_mtime));
}

// --- ID3v2 pairs and frames -------------------------------------------------

// "5/12", "5", "/12" or nothing from a number key and a total key, written
// once per frame id by whichever of the two keys comes first.
void addPairFrame(TagLib::ID3v2::Tag& tag, const AudioMetadata& record, const char* frameId,
                  const char* numberKey, const char* totalKey) {
  // Emptying a tag leaves its ids in the map with no frames under them.
  const auto& frames = tag.frameListMap();
  if (auto it = frames.find(frameId); it != frames.end() && !it->second.isEmpty()) return;
  const std::string number = stringValueOf(record, numberKey);
  const std::string total = stringValueOf(record, totalKey);
  std::string text;
  if (!number.empty() && !total.empty()) {
    text = number + "/" + total;
  } else if (!number.empty()) {
    text = number;
  } else if (!total.empty()) {
    text = "/" + total;
  }
  const TagLib::String encoded = encodedText(text, TagLib::String::Latin1);
  if (encoded.isEmpty()) return;
  auto frame =
      std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(frameId, TagLib::String::Latin1);
  frame->setText(encoded);
  addFrame(tag, std::move(frame));
}

void addTextFrame(TagLib::ID3v2::Tag& tag, const std::string& frameId,
                  const std::vector<std::string>& texts, TagLib::String::Type encoding) {
  if (texts.empty() || frameId.size() != 4) return;
  auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(bytesOf(frameId), encoding);
  frame->setText(encodedTexts(texts, encoding));
  addFrame(tag, std::move(frame));
}

// The bytes of `text` in a frame's text encoding (UTF-16 with its byte-order
// mark, as TagLib writes it).
TagLib::ByteVector encodedBytes(const std::string& text, TagLib::String::Type encoding) {
  return encodedText(text, encoding).data(encoding);
}

void addID3v2Frame(TagLib::ID3v2::Tag& tag, const AudioMetadata& record, const std::string& key,
                   const MetadataValue& value, int majorVersion, TagLib::String::Type encoding) {
  const std::string frameId = id3v2FrameIdForKey(key, majorVersion);
  const std::vector<std::string> texts = textValues(value);
  const std::string first = texts.empty() ? std::string() : texts.front();

  if (key.rfind("COMMENTS", 0) == 0) {
    if (texts.empty()) return;
    auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(encoding);
    frame->setLanguage("eng");
    // "COMMENTS:iTunNORM": what follows the key and one separator.
    if (key.size() >= 10) frame->setDescription(encodedText(key.substr(9), encoding));
    frame->setText(encodedText(first, encoding));
    addFrame(tag, std::move(frame));
    return;
  }
  // The totals live inside their number's frame only, never in a TXXX.
  if (key == "TRACKNUMBER" || key == "TRACKTOTAL") {
    addPairFrame(tag, record, "TRCK", "TRACKNUMBER", "TRACKTOTAL");
    return;
  }
  if (key == "DISCNUMBER" || key == "DISCTOTAL") {
    addPairFrame(tag, record, "TPOS", "DISCNUMBER", "DISCTOTAL");
    return;
  }
  if (key == "MOVEMENTNUMBER" || key == "MOVEMENTTOTAL") {
    addPairFrame(tag, record, "MVIN", "MOVEMENTNUMBER", "MOVEMENTTOTAL");
    return;
  }
  if (frameId.rfind('T', 0) == 0 || frameId == "WFED") {
    if (frameId == "TXXX") {
      if (texts.empty()) return;
      addFrame(tag, std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(
                        encodedText(txxxDescriptionForKey(key), encoding),
                        encodedTexts(texts, encoding), encoding));
    } else if (key == "YEAR" || key == "BPM" || key == "PARTOFACOMPILATION") {
      addTextFrame(tag, frameId, {value.stringValue().value_or("")}, TagLib::String::Latin1);
    } else {
      addTextFrame(tag, frameId, texts, encoding);
    }
    return;
  }
  if (frameId.rfind('W', 0) == 0) {
    if (texts.empty()) return;
    if (frameId == "WXXX") {
      auto frame = std::make_unique<TagLib::ID3v2::UserUrlLinkFrame>(encoding);
      frame->setDescription(encodedText(key, encoding));
      frame->setUrl(encodedText(first, TagLib::String::Latin1));
      addFrame(tag, std::move(frame));
    } else {
      auto frame = std::make_unique<TagLib::ID3v2::UrlLinkFrame>(bytesOf(frameId));
      frame->setUrl(encodedText(first, TagLib::String::Latin1));
      addFrame(tag, std::move(frame));
    }
    return;
  }
  if (frameId == "POPM") {
    // "e-mail,rating,counter"; anything else is not a popularimeter.
    const std::string text = value.stringValue().value_or("");
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos;
         start = comma + 1) {
      parts.push_back(text.substr(start, comma - start));
    }
    parts.push_back(text.substr(start));
    if (parts.size() != 3) return;
    auto frame = std::make_unique<TagLib::ID3v2::PopularimeterFrame>();
    frame->setEmail(encodedText(parts[0], TagLib::String::Latin1));
    frame->setRating(std::clamp(leadingInteger(parts[1]), 0, 255));
    frame->setCounter(static_cast<unsigned int>(std::max(0, leadingInteger(parts[2]))));
    addFrame(tag, std::move(frame));
    return;
  }
  if (frameId == "USLT") {
    if (texts.empty()) return;
    auto frame = std::make_unique<TagLib::ID3v2::UnsynchronizedLyricsFrame>(encoding);
    frame->setLanguage("eng");
    frame->setText(encodedText(first, encoding));
    addFrame(tag, std::move(frame));
    return;
  }
  if (frameId == "UFID") {
    if (texts.empty()) return;
    addFrame(tag, std::make_unique<TagLib::ID3v2::UniqueFileIdentifierFrame>(
                      utf8String(kMusicBrainzUFIDOwner), encodedBytes(first, encoding)));
    return;
  }
  if (key == "PODCAST") {
    // iTunes marks a podcast with an empty (zero) PCST frame.
    const auto number = value.numberValue();
    if (number && number->doubleValue() != 0) {
      addFrame(tag, std::make_unique<TagLib::ID3v2::PodcastFrame>());
    }
    return;
  }
  if (frameId == "APIC" || isArtworkKey(key)) return;
  addTextFrame(tag, frameId, texts, encoding);
}

// --- ASF attribute types ----------------------------------------------------

enum class ASFKind { Unicode, Bool, DWord, QWord };

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

ASFKind asfKindForName(const std::string& name) {
  static constexpr std::array<std::string_view, 25> kBool = {"Broadcast",
                                                             "Can_Skip_Backward",
                                                             "Can_Skip_Forward",
                                                             "HasArbitraryDataStream",
                                                             "HasAttachedImages",
                                                             "HasAudio",
                                                             "HasFileTransferStream",
                                                             "HasImage",
                                                             "HasScript",
                                                             "HasVideo",
                                                             "Is_Protected",
                                                             "Is_Trusted",
                                                             "IsVBR",
                                                             "Seekable",
                                                             "Stridable",
                                                             "WM/MediaIsDelay",
                                                             "WM/MediaIsFinale",
                                                             "WM/MediaIsLive",
                                                             "WM/MediaIsPremiere",
                                                             "WM/MediaIsRepeat",
                                                             "WM/MediaIsSAP",
                                                             "WM/MediaIsStereo",
                                                             "WM/MediaIsSubtitled",
                                                             "WM/MediaIsTape",
                                                             "WM/VideoClosedCaptioning"};
  static constexpr std::array<std::string_view, 20> kDWord = {"AspectRatioX",
                                                              "AspectRatioY",
                                                              "AverageLevel",
                                                              "BannerImageType",
                                                              "Bitrate",
                                                              "BufferAverage",
                                                              "CurrentBitrate",
                                                              "DRM_SourceID",
                                                              "OptimalBitrate",
                                                              "PeakValue",
                                                              "VBRPeak",
                                                              "WM/PeakBitrate",
                                                              "WM/SharedUserRating",
                                                              "WM/VideoFrameRate",
                                                              "WM/VideoHeight",
                                                              "WM/VideoWidth",
                                                              "WM/WMADRCAverageReference",
                                                              "WM/WMADRCAverageTarget",
                                                              "WM/WMADRCPeakReference",
                                                              "WM/WMADRCPeakTarget"};
  static constexpr std::array<std::string_view, 6> kQWord = {
      "WM/EncodingTime", "Duration",          "FileSize",
      "NumberOfFrames",  "WM/ASFPacketCount", "WM/ASFSecurityObjectsSize"};
  auto in = [&](const auto& list) {
    return std::any_of(list.begin(), list.end(), [&](std::string_view candidate) {
      return equalsIgnoringCase(candidate, name);
    });
  };
  if (in(kBool)) return ASFKind::Bool;
  if (in(kDWord)) return ASFKind::DWord;
  if (in(kQWord)) return ASFKind::QWord;
  return ASFKind::Unicode;
}

}  // namespace

// --- Settings ----------------------------------------------------------------

AudioFileWriter::ID3v2Format AudioFileWriter::id3v2FormatForSetting(std::int64_t value) {
  switch (value) {
    case 2:
      return {3, ID3v2TextEncoding::UTF16};
    case 3:
      return {3, ID3v2TextEncoding::Latin1};
    case 4:
      return {4, ID3v2TextEncoding::UTF16};
    case 5:
      return {4, ID3v2TextEncoding::Latin1};
    default:
      return {4, ID3v2TextEncoding::UTF8};
  }
}

std::mutex& AudioFileWriter::id3v2WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

// --- Writing -------------------------------------------------------------------

bool AudioFileWriter::writeToFile(AudioMetadata& record, const std::string& path, Error* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return setError(error, kQuorvelErrorDomain, kFileNotFoundError, "File Not Found");
  }
  if (::access(path.c_str(), R_OK) != 0) {
    // Whatever the person answers, the write goes on and fails if it must.
    punchHoleInFile(path);
  }

  WriteSession session(path);
  TagFormatNames names;
  try {
    if (!writerForPath(path)(record, session, names, error)) return false;
  } catch (const std::exception& e) {
    // TagLib reports through return values; anything thrown (memory) ends
    // this write like a failed save.
    return setError(error, kQuorvelErrorDomain, fileerror::kWriteUnknown, e.what());
  }
  if (session.hasCopy() && !session.commit(error)) return false;

  takeFileAttributes(path, record);
  record.setSourceTagFormat(names.joined());
  record.takeOriginalDigest();
  releaseFromQuarantine(path);
  return true;
}

bool AudioFileWriter::validateFile(const TagLib::File& file, Error* error) {
  if (file.isValid()) return true;
  return setError(error, kQuorvelErrorDomain, kInvalidFileError, "Invalid File");
}

bool AudioFileWriter::checkReadOnly(const TagLib::File& file, Error* error) {
  if (!file.readOnly()) return false;
  setError(error, kQuorvelErrorDomain, kFileReadOnlyError, "File Is Read Only");
  return true;
}

// --- Filling ---------------------------------------------------------------------

void AudioFileWriter::fillOutID3v1Tag(const AudioMetadata& record, TagLib::ID3v1::Tag* tag) {
  if (!tag) return;
  tag->setTitle(TagLib::String());
  tag->setArtist(TagLib::String());
  tag->setAlbum(TagLib::String());
  tag->setComment(TagLib::String());
  tag->setGenre(TagLib::String());
  tag->setYear(0);
  tag->setTrack(0);
  auto text = [&](const char* key, void (TagLib::ID3v1::Tag::*set)(const TagLib::String&)) {
    if (record.metadataValueForKey(key)) (tag->*set)(utf8String(stringValueOf(record, key)));
  };
  text("TRACKTITLE", &TagLib::ID3v1::Tag::setTitle);
  text("TRACKARTIST", &TagLib::ID3v1::Tag::setArtist);
  text("ALBUM", &TagLib::ID3v1::Tag::setAlbum);
  text("COMMENTS", &TagLib::ID3v1::Tag::setComment);
  text("GENRE", &TagLib::ID3v1::Tag::setGenre);  // TagLib stores the genre's number
  if (record.metadataValueForKey("YEAR")) {
    tag->setYear(unsignedOf(integerOfNumberValue(record, "YEAR")));
  }
  if (record.metadataValueForKey("TRACKNUMBER")) {
    tag->setTrack(unsignedOf(integerOfNumberValue(record, "TRACKNUMBER")));
  }
}

void AudioFileWriter::fillOutID3v2Tag(const AudioMetadata& record, TagLib::ID3v2::Tag* tag,
                                      int majorVersion, ID3v2TextEncoding encoding) {
  if (!tag) return;
  std::vector<TagLib::ByteVector> frameIds;
  for (const auto& [id, frames] : tag->frameListMap()) {
    frameIds.push_back(id);
  }
  for (const auto& id : frameIds) {
    tag->removeFrames(id);
  }
  tag->header()->setMajorVersion(static_cast<unsigned int>(majorVersion));
  const TagLib::String::Type type = tagLibEncoding(encoding);
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(type);

  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || value->allValues().empty()) continue;
    addID3v2Frame(*tag, record, key, *value, majorVersion, type);
  }

  for (const auto& artwork : record.artworks()) {
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setMimeType(encodedText(artwork->mimeType(), TagLib::String::Latin1));
    frame->setPicture(bytesOf(artwork->data()));
    frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(pictureType(*artwork)));
    if (nonEmpty(artwork->comments())) {
      frame->setTextEncoding(type);
      frame->setDescription(encodedText(*artwork->comments(), type));
    }
    addFrame(*tag, std::move(frame));
  }
}

void AudioFileWriter::fillOutAPETag(const AudioMetadata& record, TagLib::APE::Tag* tag) {
  if (!tag) return;
  std::vector<TagLib::String> itemKeys;
  for (const auto& [itemKey, item] : tag->itemListMap()) {
    itemKeys.push_back(itemKey);
  }
  for (const auto& itemKey : itemKeys) {
    tag->removeItem(itemKey);
  }

  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || isArtworkKey(key)) continue;
    const TagLib::String itemKey = utf8String(apeItemKeyForKey(key));
    for (const Object& object : value->allValues()) {
      if (object.isData()) {
        tag->setData(itemKey, bytesOf(object.data()));
      } else if (object.isText()) {
        tag->addValue(itemKey, utf8String(object.text()), false);
      } else if (object.isNumber()) {
        tag->addValue(itemKey, utf8String(object.number().stringValue()), false);
      }
    }
  }

  // One front and one back item at most: a later artwork of a kind replaces
  // an earlier one.
  for (const auto& artwork : record.artworks()) {
    const char* itemKey = artwork->artworkType() == 4 ? "Cover Art (back)" : "Cover Art (front)";
    const std::string name = nonEmpty(artwork->originalFilename()) ? *artwork->originalFilename()
                                                                   : std::string("cover.jpg");
    TagLib::ByteVector bytes = bytesOf(name);
    bytes.append('\0');
    bytes.append(bytesOf(artwork->data()));
    TagLib::APE::Item item(itemKey, bytes, true);
    item.setReadOnly(true);
    tag->setItem(itemKey, item);
  }
}

void AudioFileWriter::fillOutXiphComment(const AudioMetadata& record, TagLib::Ogg::XiphComment* tag,
                                         bool writeArtwork) {
  if (!tag) return;
  tag->removeAllFields();
  tag->removeAllPictures();

  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || isArtworkKey(key)) continue;
    const TagLib::String field = utf8String(vorbisFieldForKey(key));
    for (const std::string& text : textValues(*value)) {
      tag->addField(field, utf8String(text), false);
    }
  }

  if (!writeArtwork) return;
  // TagLib keeps pictures apart from the fields and renders each as a
  // Base64 METADATA_BLOCK_PICTURE field of its own when it saves.
  for (const auto& artwork : record.artworks()) {
    auto picture = std::make_unique<TagLib::FLAC::Picture>();
    picture->setType(static_cast<TagLib::FLAC::Picture::Type>(pictureType(*artwork)));
    picture->setMimeType(utf8String(artwork->mimeType()));
    if (nonEmpty(artwork->comments())) picture->setDescription(utf8String(*artwork->comments()));
    picture->setData(bytesOf(artwork->data()));
    tag->addPicture(picture.release());  // the comment owns its pictures
  }
}

void AudioFileWriter::fillOutMP4Tag(const AudioMetadata& record, TagLib::MP4::Tag* tag) {
  if (!tag) return;
  std::vector<TagLib::String> atoms;
  for (const auto& [atom, item] : tag->itemMap()) {
    atoms.push_back(atom);
  }
  for (const auto& atom : atoms) {
    tag->removeItem(atom);
  }

  // trkn and disk: (number, total), left out when both are 0.
  auto setPair = [&](const char* atom, const char* numberKey, const char* totalKey) {
    const auto number = integerOfFirstValue(record, numberKey);
    const auto total = integerOfFirstValue(record, totalKey);
    if (number == 0 && total == 0) return;
    tag->setItem(atom, TagLib::MP4::Item(static_cast<int>(number), static_cast<int>(total)));
  };
  static constexpr std::array<std::string_view, 8> k32BitAtoms = {
      "cnID", "tvsn", "tves", "sfID", "atID", "geID", "\u00A9mvc", "\u00A9mvi"};
  static constexpr std::array<std::string_view, 8> k8BitAtoms = {"cpil", "pcst", "hdvd", "stik",
                                                                 "rtng", "pgap", "akID", "shwm"};
  // TagLib renders these four as flags and reads the item as a boolean.
  static constexpr std::array<std::string_view, 4> kFlagAtoms = {"cpil", "pcst", "hdvd", "pgap"};
  auto isOneOf = [](const std::string& atom, const auto& list) {
    return std::find(list.begin(), list.end(), atom) != list.end();
  };

  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || isArtworkKey(key)) continue;
    const std::string atom = mp4AtomForKey(key);
    // Atom names are Latin-1 in the file; a name that is not cannot be written.
    if (!mp4AtomNameToLatin1(atom)) continue;
    const TagLib::String name = mp4AtomNameToTagLib(atom);
    const std::int64_t number = value->numberValue() ? value->numberValue()->int64Value() : 0;

    if (key == "TRACKNUMBER" || key == "TRACKTOTAL") {
      setPair("trkn", "TRACKNUMBER", "TRACKTOTAL");
    } else if (key == "DISCNUMBER" || key == "DISCTOTAL") {
      setPair("disk", "DISCNUMBER", "DISCTOTAL");
    } else if (key == "BPM") {
      tag->setItem("tmpo", TagLib::MP4::Item(static_cast<int>(number)));
    } else if (key == "PODCAST") {
      if (number != 0) tag->setItem(name, TagLib::MP4::Item(true));
    } else if (isOneOf(atom, k32BitAtoms)) {
      tag->setItem(name, TagLib::MP4::Item(static_cast<int>(static_cast<std::int32_t>(number))));
    } else if (isOneOf(atom, k8BitAtoms)) {
      const auto byte = static_cast<std::int8_t>(number);
      tag->setItem(name, isOneOf(atom, kFlagAtoms) ? TagLib::MP4::Item(byte != 0)
                                                   : TagLib::MP4::Item(static_cast<int>(byte)));
    } else if (atom == "plID") {
      tag->setItem(name, TagLib::MP4::Item(static_cast<long long>(number)));
    } else if (value->dataType() == MetadataValue::DataTypeData) {
      TagLib::ByteVectorList list;
      for (const Object& object : value->allValues()) {
        if (object.isData()) list.append(bytesOf(object.data()));
      }
      tag->setItem(name, TagLib::MP4::Item(list));
    } else {
      const auto texts = textValues(*value);
      if (texts.empty()) continue;
      TagLib::StringList list;
      for (const auto& text : texts) list.append(utf8String(text));
      tag->setItem(name, TagLib::MP4::Item(list));
    }
  }

  TagLib::MP4::CoverArtList covers;
  for (const auto& artwork : record.artworks()) {
    const std::string& mime = artwork->mimeType();
    const auto format = mime == "image/png"   ? TagLib::MP4::CoverArt::PNG
                        : mime == "image/gif" ? TagLib::MP4::CoverArt::GIF
                                              : TagLib::MP4::CoverArt::JPEG;
    covers.append(TagLib::MP4::CoverArt(format, bytesOf(artwork->data())));
  }
  if (!covers.isEmpty()) tag->setItem("covr", TagLib::MP4::Item(covers));
}

void AudioFileWriter::fillOutASFTag(const AudioMetadata& record, TagLib::ASF::Tag* tag) {
  if (!tag) return;
  std::vector<TagLib::String> names;
  for (const auto& [name, attributes] : tag->attributeListMap()) {
    names.push_back(name);
  }
  for (const auto& name : names) {
    tag->removeItem(name);
  }
  tag->setTitle(TagLib::String());
  tag->setArtist(TagLib::String());
  tag->setCopyright(TagLib::String());
  tag->setRating(TagLib::String());
  tag->setComment(TagLib::String());

  bool partOfSetWritten = false;
  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || isArtworkKey(key)) continue;
    const TagLib::String text = utf8String(value->stringValue().value_or(""));
    if (key == "TRACKTITLE") {
      tag->setTitle(text);
    } else if (key == "TRACKARTIST") {
      tag->setArtist(text);
    } else if (key == "COPYRIGHT") {
      tag->setCopyright(text);
    } else if (key == "RATING") {
      tag->setRating(text);
    } else if (key == "COMMENTS") {
      tag->setComment(text);
    } else if (key == "TRACKNUMBER") {
      tag->setTrack(unsignedOf(value->numberValue() ? value->numberValue()->int64Value() : 0));
    } else if (key == "DISCNUMBER" || key == "DISCTOTAL") {
      if (partOfSetWritten) continue;
      partOfSetWritten = true;
      const auto disc = numberValueOf(record, "DISCNUMBER");
      const auto total = numberValueOf(record, "DISCTOTAL");
      std::string partOfSet;
      if (disc && total) {
        partOfSet = disc->stringValue() + "/" + total->stringValue();
      } else if (disc) {
        partOfSet = disc->stringValue();
      } else if (total) {
        partOfSet = "/" + total->stringValue();
      }
      if (!partOfSet.empty()) {
        tag->setAttribute("WM/PartOfSet", TagLib::ASF::Attribute(utf8String(partOfSet)));
      }
    } else {
      const std::string name = asfAttributeNameForKey(key);
      const ASFKind kind = asfKindForName(name);
      for (const Object& object : value->allValues()) {
        if (kind != ASFKind::Unicode) {
          std::optional<Number> number;
          if (object.isNumber()) number = object.number();
          if (object.isText()) number = numberFromLocalizedString(object.text());
          if (!number) continue;
          const std::int64_t n = number->int64Value();
          if (kind == ASFKind::Bool) {
            tag->addAttribute(utf8String(name), TagLib::ASF::Attribute(n != 0));
          } else if (kind == ASFKind::DWord) {
            tag->addAttribute(utf8String(name),
                              TagLib::ASF::Attribute(static_cast<unsigned int>(n)));
          } else {
            tag->addAttribute(utf8String(name),
                              TagLib::ASF::Attribute(static_cast<unsigned long long>(n)));
          }
        } else if (object.isText()) {
          tag->addAttribute(utf8String(name), TagLib::ASF::Attribute(utf8String(object.text())));
        } else if (object.isNumber()) {
          tag->addAttribute(utf8String(name),
                            TagLib::ASF::Attribute(utf8String(object.number().stringValue())));
        } else if (object.isData()) {
          tag->addAttribute(utf8String(name), TagLib::ASF::Attribute(bytesOf(object.data())));
        }
      }
    }
  }

  for (const auto& artwork : record.artworks()) {
    TagLib::ASF::Picture picture;
    picture.setPicture(bytesOf(artwork->data()));
    picture.setMimeType(utf8String(artwork->mimeType()));
    picture.setType(static_cast<TagLib::ASF::Picture::Type>(pictureType(*artwork)));
    if (nonEmpty(artwork->comments())) picture.setDescription(utf8String(*artwork->comments()));
    tag->addAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
  }
}

void AudioFileWriter::fillOutINFOTag(const AudioMetadata& record, TagLib::RIFF::Info::Tag* tag) {
  if (!tag) return;
  std::vector<TagLib::ByteVector> ids;
  for (const auto& [id, text] : tag->fieldListMap()) {
    ids.push_back(id);
  }
  for (const auto& id : ids) {
    tag->removeField(id);
  }

  for (const std::string& key : record.allMetadataKeys()) {
    auto value = record.metadataValueForKey(key);
    if (!value || isArtworkKey(key)) continue;
    const auto id = infoChunkIdForKey(key);
    if (!id) continue;
    std::string joined;
    for (const auto& text : textValues(*value)) {
      joined += joined.empty() ? text : ", " + text;
    }
    if (!joined.empty()) tag->setFieldText(bytesOf(*id), utf8String(joined));
  }
}

// --- Files ---------------------------------------------------------------------

namespace {

// True when the nearest existing folder of `path` can be read: the request
// would ask nothing then, so nobody needs to wait for the main thread.
bool folderIsAccessible(const std::string& path) {
  std::error_code ec;
  fs::path folder(path);
  while (!folder.empty() && !fs::exists(folder, ec) && folder.has_parent_path() &&
         folder.parent_path() != folder) {
    folder = folder.parent_path();
  }
  if (fs::is_regular_file(folder, ec)) folder = folder.parent_path();
  return !folder.empty() && ::access(folder.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

void AudioFileWriter::punchHoleInFile(const std::string& path) {
  if (folderIsAccessible(path)) return;
  if (RunLoop::isMainThread()) {
    AudioFileReader::requestFolderAccess(path);
    return;
  }
  RunLoop::main().perform([path] { AudioFileReader::requestFolderAccess(path); }, true);
}

void AudioFileWriter::releaseFromQuarantine(const std::string& /*path*/) {
  // Files arrive here without a quarantine mark: this system sets none.
}

namespace {

// `destination`, or the first of "name 2.ext", "name 3.ext", ... beside it
// that is free. A dangling link counts as taken.
std::string uniqueDestination(const std::string& destination) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(destination, ec))) return destination;
  const fs::path path(destination);
  const std::string stem = path.stem().string();
  const std::string extension = path.extension().string();
  for (unsigned long counter = 2;; ++counter) {
    const fs::path candidate =
        path.parent_path() / (stem + " " + std::to_string(counter) + extension);
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate.string();
  }
}

bool sameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

}  // namespace

bool AudioFileWriter::renameFileTo(AudioMetadata& record, const std::string& destination,
                                   bool copyInsteadOfMove, Error* error) {
  if (!record.sourceLocation()) {
    return setFileError(error, ENOENT, destination, false);
  }
  const std::string source = *record.sourceLocation();
  if (destination == source) return true;

  // A change of letter case alone is the same name to a person; it is
  // never numbered.
  const bool caseOnly = lowercaseString(destination) == lowercaseString(source);
  const std::string target = caseOnly ? destination : uniqueDestination(destination);

  // The destination folder bookmark of the desktop platform has no
  // counterpart here: access to folders is the person's own.
  const fs::path folder = fs::path(target).parent_path();
  punchHoleInFile(folder.string());
  auto operations = FileOperations::current();
  if (!folder.empty() && !operations->createFolder(folder.string(), error)) return false;

  bool done = false;
  if (copyInsteadOfMove && !sameFolder(folder, fs::path(source).parent_path())) {
    done = operations->copyFile(source, target, error);
  } else {
    done = operations->moveFile(source, target, error);
    if (done) record.setSourceLocation(target);
  }
  if (done) releaseFromQuarantine(target);
  return done;
}

}  // namespace quorvel
