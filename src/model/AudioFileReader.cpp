#include "model/AudioFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>
#include <taglib/oggflacfile.h>
#include <taglib/speexfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "functions/FormatSpecifiers.h"
#include "model/AlbumArtwork.h"
#include "model/ArtworkDataCache.h"
#include "model/AudioMetadata.h"
#include "model/DSFFile.h"
#include "model/ID3v2ReadingFrameFactory.h"
#include "model/MetadataValue.h"
#include "model/OggStreamType.h"
#include "model/ReadOnlyFileStream.h"
#include "model/TQMIDIParser.h"
#include "model/TagReaders.h"
#include "model/TagTextCodec.h"
#include "platform/AudioFileServices.h"
#include "platform/ContainerHeaderReader.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "support/Localization.h"
#include "support/StringFormat.h"
#include "support/Text.h"

namespace quorvel {

namespace {

namespace fs = std::filesystem;
using RecordPtr = std::shared_ptr<AudioMetadata>;

constexpr auto kAverage = TagLib::AudioProperties::Average;

bool setting(const char* key) { return UserDefaults::standard().boolForKey(key); }

std::string format(const char* pattern, long long value) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

// Collects the names of the tags read, in reading order.
class TagFormatNames {
 public:
  void addID3v2(const TagLib::ID3v2::Tag& tag) {
    const auto* header = tag.header();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "ID3v2.%i.%u", static_cast<int>(header->majorVersion()),
                  header->revisionNumber());
    names_.emplace_back(buffer);
  }
  void addAPE(TagLib::APE::Tag& tag) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "APE v%0.1f", tag.footer()->version() / 1000.0);
    names_.emplace_back(buffer);
  }
  void add(const char* name) { names_.emplace_back(name); }
  void storeIn(AudioMetadata& record) const {
    std::string joined;
    for (const auto& name : names_) {
      joined += joined.empty() ? name : ", " + name;
    }
    record.setSourceTagFormat(joined);
  }

 private:
  std::vector<std::string> names_;
};

void readID3v2(TagLib::ID3v2::Tag* tag, AudioMetadata& record, TagFormatNames& names) {
  if (tag) {
    TagReaders::addInfoFromID3v2Tag(*tag, record);
    names.addID3v2(*tag);
  }
}
void readID3v1(TagLib::ID3v1::Tag* tag, AudioMetadata& record, TagFormatNames& names) {
  if (tag) {
    TagReaders::addInfoFromID3v1Tag(*tag, record);
    names.add("ID3v1");
  }
}
void readAPE(TagLib::APE::Tag* tag, AudioMetadata& record, TagFormatNames& names) {
  if (tag) {
    TagReaders::addInfoFromAPETag(*tag, record);
    names.addAPE(*tag);
  }
}
void readVorbis(TagLib::Ogg::XiphComment* tag, AudioMetadata& record, TagFormatNames& names,
                bool readArtwork) {
  if (tag) {
    TagReaders::addInfoFromVorbisTag(*tag, record, readArtwork);
    names.add("Vorbis");
  }
}

// TagLib reads unsigned header fields into ints, so a hostile header can give
// negative counts; such a number is no property at all.
std::optional<Number> count(long long value, long long scale = 1) {
  if (value < 0) {
    return std::nullopt;
  }
  return Number(static_cast<std::int64_t>(value * scale));
}

// Length, bitrate (kilobits from TagLib, bits per second in the record),
// sample rate and channels, as every TagLib reader gives them.
void setCommonProperties(const TagLib::AudioProperties& properties, AudioMetadata& record) {
  const int length = properties.lengthInSeconds();
  record.setSourceLength(length >= 0 ? std::optional<double>(length) : std::nullopt);
  record.setSourceBitrate(count(properties.bitrate(), 1000));
  record.setSourceSampleRate(count(properties.sampleRate()));
  record.setSourceChannels(count(properties.channels()));
}

RecordPtr newRecord(const char* kind, std::string format) {
  auto record = std::make_shared<AudioMetadata>();
  record->setSourceKind(kind);
  if (!format.empty()) {
    record->setSourceFormat(std::move(format));
  }
  return record;
}

// FLAC picture blocks become artworks in block order.
void addFLACPictures(TagLib::FLAC::File& file, AudioMetadata& record) {
  for (TagLib::FLAC::Picture* picture : file.pictureList()) {
    auto artwork = std::make_shared<AlbumArtwork>();
    TagLib::ByteVector bytes = picture->data();
    artwork->setData(ArtworkDataCache::intern(std::string_view(bytes.data(), bytes.size())));
    artwork->setArtworkType(static_cast<std::uint32_t>(picture->type()));
    std::string description = picture->description().to8Bit(true);
    if (!description.empty()) {
      artwork->setComments(description);
    }
    std::string mime = picture->mimeType().to8Bit(true);
    if (!mime.empty()) {
      artwork->setMimeType(mime);
    }
    record.addArtwork(artwork);
  }
}

std::string mpegFormat(const TagLib::MPEG::Properties& properties) {
  const char* version = nullptr;
  switch (properties.version()) {
    case TagLib::MPEG::Header::Version1:
      version = "1";
      break;
    case TagLib::MPEG::Header::Version2:
      version = "2";
      break;
    case TagLib::MPEG::Header::Version2_5:
      version = "2.5";
      break;
  }
  // Without a single frame TagLib reports layer 0: there is nothing to name.
  if (!version || properties.layer() < 1 || properties.layer() > 3) {
    return {};
  }
  return std::string("MPEG Version ") + version + " Audio Layer " +
         std::to_string(properties.layer());
}

const char* mpegChannelMode(TagLib::MPEG::Header::ChannelMode mode) {
  switch (mode) {
    case TagLib::MPEG::Header::Stereo:
      return "Stereo";
    case TagLib::MPEG::Header::JointStereo:
      return "Joint Stereo";
    case TagLib::MPEG::Header::DualChannel:
      return "Dual Mono";
    case TagLib::MPEG::Header::SingleChannel:
      return "Mono";
  }
  return "";
}

// CBR unless one of the four frames after the first has another bitrate; the
// step is always the first frame's length, so free-format or padded streams
// are judged the same way every time.
std::string mpegBitrateMode(TagLib::MPEG::File& file) {
  long offset = file.firstFrameOffset();
  if (offset < 0) {
    return "CBR";
  }
  TagLib::MPEG::Header first(&file, offset, true);
  if (!first.isValid()) {
    return "CBR";
  }
  const int bitrate = first.bitrate();
  const long length = first.frameLength();
  if (length <= 0) {
    return "CBR";
  }
  for (int i = 0; i < 4; ++i) {
    offset = file.nextFrameOffset(offset + length);
    if (offset < 0) {
      break;
    }
    TagLib::MPEG::Header next(&file, offset, true);
    if (next.isValid() && next.bitrate() != bitrate) {
      return "VBR";
    }
  }
  return "CBR";
}

// --- The container table ----------------------------------------------------

using Reader = RecordPtr (*)(const std::string&);

RecordPtr readOgg(const std::string& path) {
  Error error;
  OggStreamType type = oggStreamType(path, &error);
  if (error.code != 0) {
    // The whole read ends here, with the detection's own message.
    throw std::runtime_error(error.localizedDescription);
  }
  switch (type) {
    case OggStreamType::Vorbis:
      return AudioFileReader::metadataFromOggVorbisFile(path);
    case OggStreamType::FLAC:
      return AudioFileReader::metadataFromOggFLACFile(path);
    case OggStreamType::Speex:
      return AudioFileReader::metadataFromOggSpeexFile(path);
    case OggStreamType::Unknown:
      break;
  }
  // Another codec (Opus, say): a record without anything from the file.
  return std::make_shared<AudioMetadata>();
}

struct ContainerRow {
  std::array<const char*, 5> extensions;
  Reader reader;
};

const std::array<ContainerRow, 12> kContainers = {{
    {{"flac"}, AudioFileReader::metadataFromFLACFile},
    {{"wma"}, AudioFileReader::metadataFromWMAFile},
    {{"mp3"}, AudioFileReader::metadataFromMP3File},
    {{"mp4", "m4a", "aac", "m4b", "alac"}, AudioFileReader::metadataFromMP4File},
    {{"aiff", "aif"}, AudioFileReader::metadataFromAIFFFile},
    {{"wave", "wav"}, AudioFileReader::metadataFromWAVEFile},
    {{"ape"}, AudioFileReader::metadataFromMonkeysAudioFile},
    {{"tta"}, AudioFileReader::metadataFromTrueAudioFile},
    {{"wv"}, AudioFileReader::metadataFromWavPackFile},
    {{"mpc"}, AudioFileReader::metadataFromMusepackFile},
    {{"ogg", "oga", "oggflac", "spx"}, readOgg},
    {{"dsf"}, AudioFileReader::metadataFromDSDFile},
}};

Reader readerForExtension(const std::string& extension) {
  for (const auto& row : kContainers) {
    for (const char* candidate : row.extensions) {
      if (candidate && extension == candidate) {
        return row.reader;
      }
    }
  }
  return nullptr;
}

std::string lowercaseExtension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  if (!extension.empty()) {
    extension.erase(0, 1);
  }
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

void setFileAttributes(const std::string& path, AudioMetadata& record) {
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
  // Not every file system records a birth time; the change time is the
  // closest the others offer.
  record.setSourceDateCreated((st.stx_mask & STATX_BTIME) ? toTime(st.stx_btime)
                                                          : toTime(st.stx_mtime));
}

}  // namespace

// --- Readers ----------------------------------------------------------------

RecordPtr AudioFileReader::metadataFromFLACFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::FLAC::File file(&stream, ID3v2ReadingFrameFactory::instance(), true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("FLAC", "Free Lossless Audio Codec");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  const auto artworkFrom = UserDefaults::standard().integerForKey("readFLACAlbumArtworkFrom");
  if (setting("readFLACVorbisTag") && file.hasXiphComment()) {
    readVorbis(file.xiphComment(), *record, names, (artworkFrom & 2) != 0);
  }
  if (setting("readFLACID3v2Tag") && file.hasID3v2Tag()) {
    readID3v2(file.ID3v2Tag(), *record, names);
  }
  if (setting("readFLACID3v1Tag") && file.hasID3v1Tag()) {
    readID3v1(file.ID3v1Tag(), *record, names);
  }
  if (artworkFrom & 1) {
    addFLACPictures(file, *record);
  }
  names.storeIn(*record);
  if (auto* properties = file.audioProperties()) {
    setCommonProperties(*properties, *record);
    record->setSourceSampleSize(count(properties->bitsPerSample()));
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromOggFLACFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::Ogg::FLAC::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("OGG FLAC", "Free Lossless Audio Codec");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (file.hasXiphComment()) {
    readVorbis(file.tag(), *record, names, true);
  }
  names.storeIn(*record);
  if (auto* properties = file.audioProperties()) {
    setCommonProperties(*properties, *record);
    record->setSourceSampleSize(count(properties->bitsPerSample()));
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromOggVorbisFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::Ogg::Vorbis::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("OGG Vorbis", "Vorbis");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  readVorbis(file.tag(), *record, names, true);
  names.storeIn(*record);
  if (auto* properties = file.audioProperties()) {
    setCommonProperties(*properties, *record);
    // The nominal bitrate of the stream header is already in bits per second.
    record->setSourceBitrate(count(properties->bitrateNominal()));
    const bool constant = properties->bitrateMinimum() != 0 &&
                          properties->bitrateMinimum() == properties->bitrateMaximum();
    record->setSourceBitrateMode(constant ? "CBR" : "VBR");
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromOggSpeexFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::Ogg::Speex::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  auto record =
      newRecord("OGG Speex", properties ? format("Speex v%d", properties->speexVersion()) : "");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  readVorbis(file.tag(), *record, names, true);
  names.storeIn(*record);
  if (properties) {
    setCommonProperties(*properties, *record);
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromWMAFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::ASF::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("Windows Media", "Windows Media Audio");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (auto* tag = file.tag()) {
    TagReaders::addInfoFromASFTag(*tag, *record);
    names.add("ASF");
  }
  names.storeIn(*record);
  if (auto* properties = file.audioProperties()) {
    setCommonProperties(*properties, *record);
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromMP3File(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::MPEG::File file(&stream, ID3v2ReadingFrameFactory::instance(), true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  auto record = newRecord("MPEG Layer 3", properties ? mpegFormat(*properties) : "");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (setting("readMP3ID3v2Tag") && file.hasID3v2Tag()) {
    readID3v2(file.ID3v2Tag(), *record, names);
  }
  if (setting("readMP3ID3v1Tag") && file.hasID3v1Tag()) {
    readID3v1(file.ID3v1Tag(), *record, names);
  }
  if (setting("readMP3ApeTag") && file.hasAPETag()) {
    readAPE(file.APETag(), *record, names);
  }
  names.storeIn(*record);
  if (properties) {
    setCommonProperties(*properties, *record);
    record->setSourceChannelMode(mpegChannelMode(properties->channelMode()));
  }
  record->setSourceBitrateMode(mpegBitrateMode(file));
  return record;
}

RecordPtr AudioFileReader::metadataFromMP4File(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::MP4::File file(&stream, false);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = std::make_shared<AudioMetadata>();
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (auto* tag = file.tag()) {
    TagReaders::addInfoFromMP4Tag(*tag, *record);
    names.add("MP4 Metadata");
  }
  names.storeIn(*record);
  getCoreAudioInfoFromFile(path, *record);
  return record;
}

RecordPtr AudioFileReader::metadataFromAIFFFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::RIFF::AIFF::File file(&stream, false);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = std::make_shared<AudioMetadata>();
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  // TagLib hands out an empty tag for a file without one; like any other it
  // is read and named, so the file shows which tag it will get.
  readID3v2(file.tag(), *record, names);
  names.storeIn(*record);
  getCoreAudioInfoFromFile(path, *record);
  return record;
}

RecordPtr AudioFileReader::metadataFromWAVEFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::RIFF::WAV::File file(&stream, false);
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("WAVE", "");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (file.hasID3v2Tag()) {
    readID3v2(file.ID3v2Tag(), *record, names);
  }
  if (file.hasInfoTag()) {
    TagReaders::addInfoFromINFOTag(*file.InfoTag(), *record);
    names.add("INFO Chunk");
  }
  names.storeIn(*record);
  getCoreAudioInfoFromFile(path, *record);
  return record;
}

RecordPtr AudioFileReader::metadataFromDSDFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  DSFFile file(&stream, true, kAverage, ID3v2ReadingFrameFactory::instance());
  if (!file.isValid()) {
    return nullptr;
  }
  auto record = newRecord("DSD", "DSF");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  // As for AIFF, the tag the file class hands out (an empty one when the
  // file has none) is read and named.
  readID3v2(file.tag(), *record, names);
  names.storeIn(*record);
  if (auto* properties = file.audioProperties()) {
    setCommonProperties(*properties, *record);
    // TagLib 1.x dispatches lengthInSeconds() only to its own classes; through
    // the base class a DSF file would always last 0 seconds.
    record->setSourceLength(std::max(properties->lengthInSeconds(), 0));
    record->setSourceSampleSize(count(properties->bitsPerSample()));
  }
  return record;
}

namespace {

// Monkey's Audio, WavPack and Musepack carry an APE tag and an ID3v1 tag, the
// APE tag taking precedence; they differ only in names, settings and how the
// sample size is known.
template <typename File, typename SampleSize>
RecordPtr readAPEFamily(File& file, const char* kind, std::string formatName,
                        const char* apeSetting, const char* id3v1Setting, SampleSize sampleSize) {
  auto* properties = file.audioProperties();
  auto record = newRecord(kind, properties ? std::move(formatName) : "");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (setting(apeSetting) && file.hasAPETag()) {
    readAPE(file.APETag(), *record, names);
  }
  if (setting(id3v1Setting) && file.hasID3v1Tag()) {
    readID3v1(file.ID3v1Tag(), *record, names);
  }
  names.storeIn(*record);
  if (properties) {
    setCommonProperties(*properties, *record);
    record->setSourceSampleSize(sampleSize(*properties));
  }
  return record;
}

}  // namespace

RecordPtr AudioFileReader::metadataFromMonkeysAudioFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::APE::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  return readAPEFamily(file, "Monkey's Audio",
                       properties ? format("APE v%d", properties->version()) : "",
                       "readMonkeysAPETag", "readMonkeysID3v1Tag",
                       [](const auto& p) { return count(p.bitsPerSample()); });
}

RecordPtr AudioFileReader::metadataFromTrueAudioFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::TrueAudio::File file(&stream, ID3v2ReadingFrameFactory::instance(), true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  auto record =
      newRecord("True Audio", properties ? format("TTA v%d", properties->ttaVersion()) : "");
  AudioMetadata::DeferredDigest deferred(*record);
  TagFormatNames names;
  if (setting("readTrueAudioID3v2Tag") && file.hasID3v2Tag()) {
    readID3v2(file.ID3v2Tag(), *record, names);
  }
  if (setting("readTrueAudioID3v1Tag") && file.hasID3v1Tag()) {
    readID3v1(file.ID3v1Tag(), *record, names);
  }
  names.storeIn(*record);
  if (properties) {
    setCommonProperties(*properties, *record);
    record->setSourceSampleSize(count(properties->bitsPerSample()));
  }
  return record;
}

RecordPtr AudioFileReader::metadataFromWavPackFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::WavPack::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  return readAPEFamily(file, "WavPack",
                       properties ? format("WavPack v%d", properties->version()) : "",
                       "readWavPackAPETag", "readWavPackID3v1Tag",
                       [](const auto& p) { return count(p.bitsPerSample()); });
}

RecordPtr AudioFileReader::metadataFromMusepackFile(const std::string& path) {
  ReadOnlyFileStream stream(path);
  TagLib::MPC::File file(&stream, true, kAverage);
  if (!file.isValid()) {
    return nullptr;
  }
  auto* properties = file.audioProperties();
  // Musepack streams decode to 16 bits whatever the encoder was given.
  return readAPEFamily(file, "Musepack",
                       properties ? format("MPC v%d", properties->mpcVersion()) : "",
                       "readMusepackAPETag", "readMusepackID3v1Tag",
                       [](const auto&) { return std::optional<Number>(Number(16)); });
}

// --- Platform ---------------------------------------------------------------

void AudioFileReader::getCoreAudioInfoFromFile(const std::string& path, AudioMetadata& record) {
  // The headers of ordinary WAVE, AIFF and MPEG-4 files say all this; the
  // demuxer is only started for the rest.
  auto file = ContainerHeaderReader::read(path);
  if (!file) {
    file = openAudioFile(path);
  }
  if (!file) {
    return;
  }
  // Readers that name the kind themselves (WAVE) keep their name.
  if (record.sourceKind().value_or("").empty()) {
    record.setSourceKind(file->fileTypeName);
  }
  const auto& description = file->streamDescription;
  record.setSourceSampleRate(Number(static_cast<std::int64_t>(description.sampleRate)));
  record.setSourceChannels(Number(static_cast<std::int64_t>(description.channelsPerFrame)));
  if (description.bitsPerChannel != 0) {
    record.setSourceSampleSize(Number(static_cast<std::int64_t>(description.bitsPerChannel)));
  }
  if (record.sourceFormat().value_or("").empty()) {
    record.setSourceFormat(file->dataFormatName);
  }
  if (description.formatID == "alac") {
    static constexpr int kALACBits[] = {0, 16, 20, 24, 32};
    if (description.formatFlags >= 1 && description.formatFlags <= 4) {
      record.setSourceSampleSize(Number(kALACBits[description.formatFlags]));
    }
  }
  record.setSourceLength(file->estimatedDuration);
  record.setSourceBitrate(Number(file->bitRate));
  if (record.sourceChannelMode().value_or("").empty()) {
    std::string mode = channelLayoutName(file->channelLayoutTag);
    if (!mode.empty()) {
      record.setSourceChannelMode(mode);
    }
  }
}

void AudioFileReader::getCoreAudioMetadataFromFile(const std::string& path, AudioMetadata& record) {
  auto file = openAudioFile(path);
  if (!file) {
    return;
  }
  auto setIfMissing = [&](const std::string& key, const std::string& value) {
    if (!value.empty() && !record.metadataValueForKey(key)) {
      record.setMetadataObjectValue(Object(value), key);
    }
  };
  static const std::pair<const char*, const char*> kInfoKeys[] = {{"artist", "TRACKARTIST"},
                                                                  {"album", "ALBUM"},
                                                                  {"tempo", "BPM"},
                                                                  {"key signature", "KEY"},
                                                                  {"track number", "TRACKNUMBER"},
                                                                  {"year", "YEAR"},
                                                                  {"composer", "COMPOSER"},
                                                                  {"lyricist", "LYRICIST"},
                                                                  {"genre", "GENRE"},
                                                                  {"title", "TRACKTITLE"},
                                                                  {"comments", "COMMENTS"},
                                                                  {"copyright", "COPYRIGHT"},
                                                                  {"ISRC", "ISRC"}};
  const auto& info = file->infoDictionary;
  for (const auto& [infoKey, key] : kInfoKeys) {
    if (const std::string* value = info.value(infoKey)) {
      setIfMissing(key, *value);
    }
  }
  if (const std::string* application = info.value("encoding application");
      application && record.sourceEncodedWith().value_or("").empty()) {
    record.setSourceEncodedWith(*application);
  }

  for (int index = 0;; ++index) {
    auto chunk = file->userDataChunk("midi", index);
    if (!chunk) {
      break;
    }
    auto parser = TQMIDIParser::initWithData(*chunk);
    if (parser && !parser->tracks().empty()) {
      const auto& track = parser->tracks().front();
      setIfMissing("BPM", std::to_string(track.bpm()));
      setIfMissing("KEY", track.key().value_or(""));
    }
  }

  static constexpr std::uint8_t kAppleLoopsId[16] = {0x29, 0x81, 0x92, 0x73, 0xB5, 0xBF,
                                                     0x4A, 0xEF, 0xB7, 0x8D, 0x62, 0xD1,
                                                     0xEF, 0x90, 0xBB, 0x2C};
  for (int index = 0;; ++index) {
    auto chunk = file->userDataChunk("uuid", index);
    if (!chunk) {
      break;
    }
    if (chunk->size() < 21 || !std::equal(kAppleLoopsId, kAppleLoopsId + 16, chunk->bytes())) {
      continue;
    }
    // Pairs of NUL-terminated texts follow the entry count; a pair cut off by
    // the end of the chunk is dropped.
    std::map<std::string, std::string> entries;
    const char* p = reinterpret_cast<const char*>(chunk->bytes()) + 20;
    const char* end = reinterpret_cast<const char*>(chunk->bytes()) + chunk->size();
    auto nextText = [&](std::string& out) {
      const char* zero = std::find(p, end, '\0');
      if (zero == end) {
        return false;
      }
      out.assign(p, zero);
      p = zero + 1;
      return true;
    };
    std::string name, value;
    while (p < end && nextText(name) && nextText(value)) {
      entries.emplace(name, value);
    }
    auto signature = entries.find("key signature");
    auto keyType = entries.find("key type");
    if (signature != entries.end() && keyType != entries.end()) {
      bool alone = keyType->second == "both" || keyType->second == "neither";
      setIfMissing("KEY", alone ? signature->second : signature->second + " " + keyType->second);
    }
    if (auto genre = entries.find("genre"); genre != entries.end()) {
      setIfMissing("GENRE", genre->second);
    }
    auto beats = entries.find("beat count");
    double length = record.sourceLength().value_or(0);
    if (beats != entries.end() && length > 0) {
      long long count = std::atoll(beats->second.c_str());
      if (count != 0) {
        setIfMissing("BPM", std::to_string(static_cast<long long>(count * 60 / length)));
      }
    }
  }
}

// --- Artwork file -----------------------------------------------------------

bool AudioFileReader::filenameMatchesPattern(std::string_view name, std::string_view pattern) {
  const std::u16string n = utf8ToUtf16(foldForMatching(name));
  const std::u16string p = utf8ToUtf16(foldForMatching(pattern));
  // Iterative wildcard match with one backtracking point: linear in practice
  // and never recursive, whatever the pattern.
  std::size_t i = 0, j = 0, star = std::u16string::npos, mark = 0;
  while (i < n.size()) {
    if (j < p.size() && (p[j] == u'?' || p[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < p.size() && p[j] == u'*') {
      star = j++;
      mark = i;
    } else if (star != std::u16string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == u'*') {
    ++j;
  }
  return j == p.size();
}

bool AudioFileReader::requestFolderAccess(const std::string& path) {
  std::error_code ec;
  fs::path folder = fs::weakly_canonical(path, ec);
  if (ec) {
    folder = path;
  }
  while (!folder.empty() && !fs::exists(folder, ec) && folder.has_parent_path() &&
         folder.parent_path() != folder) {
    folder = folder.parent_path();
  }
  if (fs::is_regular_file(folder, ec)) {
    folder = folder.parent_path();
  }
  for (;;) {
    if (::access(folder.c_str(), R_OK | X_OK) == 0) {
      return true;
    }
    auto host = UIHost::current();
    const std::string fullTitle = stringWithFormat(
        localizedString("Permision Required To Access %@", ""), {folder.filename().string()});
    auto chosen = host->chooseFolder(fullTitle, folder.string(), localizedString("Allow", ""));
    if (!chosen) {
      host->runAlert(
          localizedString("Was denied access to required files.", ""),
          localizedString("Quorvel can not provide it's full functionality without access "
                          "to certain folders.",
                          ""),
          {localizedString("Carry On", "")});
      return false;
    }
    if (fs::weakly_canonical(*chosen, ec) != folder) {
      host->runAlert(localizedString("Wrong file was selected.", ""), fullTitle,
                     {localizedString("Try Again", "")});
      continue;
    }
    // The person chose the folder: on this system that grants nothing more,
    // so reading goes on with whatever access there is.
    return ::access(folder.c_str(), R_OK | X_OK) == 0;
  }
}

void AudioFileReader::readAlbumArtworkFromFilename(const std::string& pathPattern,
                                                   AudioMetadata* record) {
  if (!record) {
    return;
  }
  fs::path full(pathPattern);
  fs::path folder = full.parent_path();
  std::string pattern = full.filename().string();
  requestFolderAccess(folder.string());
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (filenameMatchesPattern(name, pattern)) {
      names.push_back(std::move(name));
    }
  }
  // Listing order is the file system's; sorting makes the choice among
  // several matching images the same on every machine.
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    if (auto artwork = AlbumArtwork::albumArtworkFromFile((folder / name).string())) {
      artwork->setArtworkType(3);
      record->addArtwork(artwork);
      return;
    }
  }
}

// --- Entry point ------------------------------------------------------------

std::shared_ptr<AudioMetadata> AudioFileReader::metadataFromFile(const std::string& path,
                                                                 Error* error) {
  const std::string extension = lowercaseExtension(path);
  Reader reader = readerForExtension(extension);
  RecordPtr record;
  bool platformPath = reader == nullptr;
  try {
    if (platformPath) {
      record = std::make_shared<AudioMetadata>();
      AudioMetadata::DeferredDigest deferred(*record);
      getCoreAudioInfoFromFile(path, *record);
      getCoreAudioMetadataFromFile(path, *record);
    } else {
      record = reader(path);
    }
  } catch (const std::exception& e) {
    // The platform path keeps what it read before the failure.
    if (!platformPath || !record) {
      setError(error, kQuorvelErrorDomain, -1, e.what());
      return nullptr;
    }
  }
  if (!record) {
    setError(error, kQuorvelErrorDomain, -1,
             "The file is not a valid " + (extension.empty() ? std::string("audio") : extension) +
                 " file.");
    return nullptr;
  }

  setFileAttributes(path, *record);
  record->setSourceLocation(path);
  record->takeOriginalDigest();

  auto& defaults = UserDefaults::standard();
  if (defaults.boolForKey("readAlbumArtworkFromFile") &&
      !(defaults.boolForKey("skipArtworkFileWhenEmbedded") && record->metadataHasArtwork())) {
    record->removeAllArtwork();
    std::string name = expandFormatSpecifiers(
        defaults.stringForKey("readAlbumArtworkFileName").value_or(""), *record);
    readAlbumArtworkFromFilename((fs::path(path).parent_path() / name).string(), record.get());
  }
  if (record->metadataObjectValueForKey("TRACKTITLE").isNone() &&
      defaults.boolForKey("fallbackOnFilenameWhenTitleIsMissing")) {
    record->setMetadataObjectValue(Object(fs::path(path).stem().string()), "TRACKTITLE");
  }
  return record;
}

}  // namespace quorvel
