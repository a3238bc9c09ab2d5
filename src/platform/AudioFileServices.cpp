#include "platform/AudioFileServices.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "platform/AudioFormatTables.h"
#include "platform/CafFile.h"
#include "platform/LibavFunctions.h"
#include "platform/OSStatus.h"

namespace quorvel {

namespace {

// The containers the platform's services open. Anything else (video
// containers, playlists that name other files, images) is refused before a
// demuxer runs on it.
constexpr const char* kDemuxerWhitelist =
    "caf,aiff,wav,w64,au,amr,amrnb,amrwb,mov,mp3,aac,ac3,eac3,flac";

// Codec → four-character format id (AudioFormatTables names the ids).
struct CodecRow {
  AVCodecID codec;
  const char* formatID;
};
constexpr CodecRow kCodecs[] = {
    {AV_CODEC_ID_AAC, "aac "},          {AV_CODEC_ID_ALAC, "alac"},
    {AV_CODEC_ID_ADPCM_IMA_QT, "ima4"}, {AV_CODEC_ID_AMR_NB, "samr"},
    {AV_CODEC_ID_AMR_WB, "sawb"},       {AV_CODEC_ID_MP1, ".mp1"},
    {AV_CODEC_ID_MP2, ".mp2"},          {AV_CODEC_ID_MP3, ".mp3"},
    {AV_CODEC_ID_PCM_ALAW, "alaw"},     {AV_CODEC_ID_PCM_MULAW, "ulaw"},
    {AV_CODEC_ID_AC3, "ac-3"},          {AV_CODEC_ID_EAC3, "ec-3"},
    {AV_CODEC_ID_FLAC, "flac"},         {AV_CODEC_ID_OPUS, "opus"},
    {AV_CODEC_ID_ILBC, "ilbc"},         {AV_CODEC_ID_QDM2, "QDM2"},
    {AV_CODEC_ID_QDMC, "QDMC"},         {AV_CODEC_ID_MACE3, "MAC3"},
    {AV_CODEC_ID_MACE6, "MAC6"},
};

// Layout tags of the "chan" chunk: the upper 16 bits number the layout.
constexpr std::pair<std::uint32_t, ChannelLayoutTag> kCafLayouts[] = {
    {100, ChannelLayoutTag::Mono},
    {101, ChannelLayoutTag::Stereo},
    {102, ChannelLayoutTag::StereoHeadphones},
    {103, ChannelLayoutTag::MatrixStereo},
    {104, ChannelLayoutTag::MidSide},
    {105, ChannelLayoutTag::XY},
    {106, ChannelLayoutTag::Binaural},
    {107, ChannelLayoutTag::AmbisonicB},
    {108, ChannelLayoutTag::Quadraphonic},
    {109, ChannelLayoutTag::Pentagonal},
    {110, ChannelLayoutTag::Hexagonal},
    {111, ChannelLayoutTag::Octagonal},
    {112, ChannelLayoutTag::Cube},
};

// The shared speaker bits are the demuxer's.
static_assert(speaker::kFrontCenter == AV_CH_LAYOUT_MONO);
static_assert((speaker::kFrontLeft | speaker::kFrontRight) == AV_CH_LAYOUT_STEREO);
static_assert((speaker::kStereoLeft | speaker::kStereoRight) == AV_CH_LAYOUT_STEREO_DOWNMIX);
static_assert((speaker::kFrontLeft | speaker::kFrontRight | speaker::kBackLeft |
               speaker::kBackRight) == AV_CH_LAYOUT_QUAD);
static_assert((speaker::kFrontLeft | speaker::kFrontRight | speaker::kSideLeft |
               speaker::kSideRight) == AV_CH_LAYOUT_2_2);
static_assert((AV_CH_LAYOUT_5POINT0_BACK | speaker::kBackCenter) == AV_CH_LAYOUT_HEXAGONAL);
static_assert((AV_CH_LAYOUT_HEXAGONAL | speaker::kSideLeft | speaker::kSideRight) ==
              AV_CH_LAYOUT_OCTAGONAL);
static_assert(aacprofile::kUnknown == FF_PROFILE_UNKNOWN &&
              aacprofile::kMain == FF_PROFILE_AAC_MAIN && aacprofile::kLow == FF_PROFILE_AAC_LOW &&
              aacprofile::kSSR == FF_PROFILE_AAC_SSR && aacprofile::kLTP == FF_PROFILE_AAC_LTP &&
              aacprofile::kHE == FF_PROFILE_AAC_HE && aacprofile::kHEv2 == FF_PROFILE_AAC_HE_V2 &&
              aacprofile::kLD == FF_PROFILE_AAC_LD && aacprofile::kELD == FF_PROFILE_AAC_ELD);

// Metadata keys of the demuxers → info dictionary keys, in the order the
// dictionary lists them. The first demuxer key present wins.
struct InfoKeyRow {
  const char* infoKey;
  std::array<const char*, 4> sourceKeys;
};
constexpr InfoKeyRow kInfoKeys[] = {
    {"artist", {"artist", nullptr}},
    {"album", {"album", nullptr}},
    {"title", {"title", nullptr}},
    {"genre", {"genre", nullptr}},
    {"year", {"date", "year", "TDRC", "TYER"}},
    {"composer", {"composer", nullptr}},
    {"lyricist", {"lyricist", "TEXT", nullptr}},
    {"comments", {"comment", "comments", nullptr}},
    {"copyright", {"copyright", nullptr}},
    {"track number", {"track", nullptr}},
    {"tempo", {"TBPM", "bpm", "tempo", nullptr}},
    {"key signature", {"TKEY", "initialkey", "key", nullptr}},
    {"ISRC", {"ISRC", "TSRC", nullptr}},
    {"encoding application", {"encoder", "encoding_tool", "TSSE", nullptr}},
};

// Demuxer → display name of the file type. The QuickTime family, AIFF and
// MPEG audio are told apart further below.
constexpr std::pair<const char*, const char*> kFileTypes[] = {
    {"caf", "CAF file"},
    {"aiff", "AIFF file"},
    {"wav", "WAVE file"},
    {"w64", "Wave64 file"},
    {"au", "AU file"},
    {"amr", "AMR file"},
    {"amrnb", "AMR file"},
    {"amrwb", "AMR file"},
    {"aac", "AAC ADTS file"},
    {"ac3", "AC-3 file"},
    {"eac3", "Enhanced AC-3 file"},
    {"flac", "FLAC file"},
};

// The demuxer's functions; loaded by openWithDemuxer before anything here
// runs.
const LibavFunctions& av() { return *LibavFunctions::load(); }

struct FormatContextCloser {
  void operator()(AVFormatContext* context) const { av().avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

std::string fourCCText(std::uint32_t code) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) text[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return text;
}

const CodecRow* codecRow(AVCodecID codec) {
  for (const auto& row : kCodecs) {
    if (row.codec == codec) return &row;
  }
  return nullptr;
}

ChannelLayoutTag cafLayout(std::uint32_t tag) {
  for (const auto& [number, layout] : kCafLayouts) {
    if ((tag >> 16) == number) return layout;
  }
  return ChannelLayoutTag::Other;
}

ChannelLayoutTag avLayout(const AVChannelLayout& layout) {
  if (layout.order == AV_CHANNEL_ORDER_AMBISONIC) {
    return layout.nb_channels == 4 ? ChannelLayoutTag::AmbisonicB : ChannelLayoutTag::Other;
  }
  if (layout.order != AV_CHANNEL_ORDER_NATIVE) {
    return layout.order == AV_CHANNEL_ORDER_UNSPEC
               ? undeclaredLayout(static_cast<std::uint32_t>(std::max(layout.nb_channels, 0)))
               : ChannelLayoutTag::Other;
  }
  return maskLayout(layout.u.mask);
}

bool isPCM(AVCodecID codec) {
  return codec >= AV_CODEC_ID_FIRST_AUDIO && codec < AV_CODEC_ID_ADPCM_IMA_QT &&
         codec != AV_CODEC_ID_PCM_ALAW && codec != AV_CODEC_ID_PCM_MULAW &&
         codec != AV_CODEC_ID_PCM_DVD && codec != AV_CODEC_ID_PCM_BLURAY &&
         codec != AV_CODEC_ID_PCM_LXF && codec != AV_CODEC_ID_S302M &&
         codec != AV_CODEC_ID_PCM_ZORK && codec != AV_CODEC_ID_PCM_SGA &&
         codec != AV_CODEC_ID_PCM_VIDC;
}

// Linear PCM flags as the platform sets them: float, big-endian, signed
// integer, packed.
std::uint32_t pcmFlags(AVCodecID codec) {
  const char* name = av().avcodec_get_name(codec);
  const std::string text = name ? name : "";
  return linearPCMFlags(text.find("_f") != std::string::npos, text.find("_s") != std::string::npos,
                        text.size() >= 2 && text.compare(text.size() - 2, 2, "be") == 0);
}

// The source bit depth of ALAC data: from the decoder's configuration when
// the demuxer gave it, else from the magic cookie (the "alac" atom or its
// bare 24-byte configuration).
int alacBitDepth(const AVCodecParameters& codec) {
  if (codec.bits_per_raw_sample > 0) return codec.bits_per_raw_sample;
  if (codec.extradata && codec.extradata_size >= 36 &&
      std::memcmp(codec.extradata + 4, "alac", 4) == 0) {
    return codec.extradata[17];
  }
  if (codec.extradata && codec.extradata_size >= 24) return codec.extradata[5];
  return codec.bits_per_coded_sample;
}

AudioStreamDescription describe(const AVCodecParameters& codec) {
  AudioStreamDescription d;
  d.sampleRate = codec.sample_rate;
  d.channelsPerFrame =
      codec.ch_layout.nb_channels > 0 ? static_cast<std::uint32_t>(codec.ch_layout.nb_channels) : 0;
  const int bits = av().av_get_bits_per_sample(codec.codec_id);
  if (isPCM(codec.codec_id)) {
    d.formatID = "lpcm";
    d.formatFlags = pcmFlags(codec.codec_id);
    d.bitsPerChannel = static_cast<std::uint32_t>(bits > 0 ? bits : codec.bits_per_coded_sample);
    d.bytesPerPacket = d.bitsPerChannel / 8 * d.channelsPerFrame;
    d.framesPerPacket = 1;
    return d;
  }
  if (const CodecRow* row = codecRow(codec.codec_id)) d.formatID = row->formatID;
  switch (codec.codec_id) {
    case AV_CODEC_ID_AAC:
      describeAAC(codec.profile, d);
      break;
    case AV_CODEC_ID_ALAC:
      d.formatFlags = alacFormatFlags(alacBitDepth(codec));
      break;
    case AV_CODEC_ID_PCM_ALAW:
    case AV_CODEC_ID_PCM_MULAW:
      d.bitsPerChannel = 8;
      d.bytesPerPacket = d.channelsPerFrame;
      d.framesPerPacket = 1;
      return d;
    case AV_CODEC_ID_ADPCM_IMA_QT:
      d.bytesPerPacket = 34 * d.channelsPerFrame;
      d.framesPerPacket = 64;
      return d;
    default:
      break;
  }
  d.framesPerPacket = codec.frame_size > 0 ? static_cast<std::uint32_t>(codec.frame_size) : 0;
  return d;
}

std::string dictionaryValue(const AVDictionary* dictionary, const char* key) {
  // Case-insensitive: demuxers differ in the case of their keys.
  const AVDictionaryEntry* entry = av().av_dict_get(dictionary, key, nullptr, 0);
  return entry && entry->value ? entry->value : "";
}

InfoDictionary infoFromMetadata(const AVFormatContext& context, const AVStream& stream) {
  InfoDictionary info;
  for (const auto& row : kInfoKeys) {
    for (const char* key : row.sourceKeys) {
      if (!key) break;
      std::string value = dictionaryValue(context.metadata, key);
      if (value.empty()) value = dictionaryValue(stream.metadata, key);
      if (!value.empty()) {
        info.set(row.infoKey, value);
        break;
      }
    }
  }
  return info;
}

std::string leadingBytes(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

std::string fileTypeName(const AVFormatContext& context, const AVCodecParameters& codec,
                         const std::string& path) {
  const std::string demuxer = context.iformat->name;
  if (demuxer == "aiff") {
    const std::string head = leadingBytes(path, 12);
    return aiffFileTypeName(head.size() == 12 && head.compare(8, 4, "AIFC") == 0);
  }
  if (demuxer == "wav") {
    return waveFileTypeName(leadingBytes(path, 4) == "RF64");
  }
  if (demuxer == "mp3") {
    switch (codec.codec_id) {
      case AV_CODEC_ID_MP1:
        return "MPEG Layer 1 file";
      case AV_CODEC_ID_MP2:
        return "MPEG Layer 2 file";
      default:
        return "MPEG Layer 3 file";
    }
  }
  if (demuxer.rfind("mov,", 0) == 0) {
    return mp4FileTypeName(dictionaryValue(context.metadata, "major_brand"));
  }
  for (const auto& [name, display] : kFileTypes) {
    if (demuxer == name) return display;
  }
  return std::string(context.iformat->long_name ? context.iformat->long_name : demuxer) + " file";
}

// The demuxer that the file's extension names, tried before probing the
// contents: probing runs every demuxer's detector over the first kilobytes.
const char* demuxerForExtension(const std::string& path) {
  static constexpr std::pair<const char*, const char*> kByExtension[] = {
      {"m4a", "mov"},  {"m4b", "mov"},   {"m4r", "mov"},   {"m4p", "mov"}, {"mp4", "mov"},
      {"mov", "mov"},  {"3gp", "mov"},   {"3g2", "mov"},   {"wav", "wav"}, {"wave", "wav"},
      {"aif", "aiff"}, {"aiff", "aiff"}, {"aifc", "aiff"}, {"caf", "caf"}, {"w64", "w64"},
      {"au", "au"},    {"snd", "au"},    {"amr", "amr"}};
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return nullptr;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [suffix, demuxer] : kByExtension) {
    if (extension == suffix) return demuxer;
  }
  return nullptr;
}

// Opens `path` with `format`, or by probing when it is null. Null when the
// demuxer refuses the file.
AVFormatContext* openInput(const std::string& path, const AVInputFormat* format) {
  AVFormatContext* raw = av().avformat_alloc_context();
  if (!raw) return nullptr;
  AVDictionary* options = nullptr;
  av().av_dict_set(&options, "protocol_whitelist", "file", 0);
  av().av_dict_set(&options, "format_whitelist", kDemuxerWhitelist, 0);
  // "file:" keeps a colon in the path from being read as a protocol.
  const int opened = av().avformat_open_input(&raw, ("file:" + path).c_str(), format, &options);
  av().av_dict_free(&options);
  return opened < 0 ? nullptr : raw;  // avformat_open_input frees the context on failure
}

// Fills the parts a demuxer knows. Null when the file cannot be opened as
// an audio container of the platform.
std::unique_ptr<AudioFileInfo> openWithDemuxer(const std::string& path, Error* error) {
  if (!LibavFunctions::load(error)) {
    return nullptr;
  }
  AVFormatContext* raw = nullptr;
  if (const char* demuxer = demuxerForExtension(path)) {
    raw = openInput(path, av().av_find_input_format(demuxer));
  }
  if (!raw) {  // a misnamed file, or a name that says nothing
    raw = openInput(path, nullptr);
  }
  if (!raw) {
    setError(error, kOSStatusErrorDomain, osstatus::kUnsupportedFileTypeError,
             "The file is not an audio file of a type that can be read.");
    return nullptr;
  }
  FormatContextPtr context(raw);

  auto findAudio = [&]() -> AVStream* {
    for (unsigned i = 0; i < context->nb_streams; ++i) {
      if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        return context->streams[i];
      }
    }
    return nullptr;
  };
  AVStream* stream = findAudio();
  if (stream && stream->codecpar->codec_id == AV_CODEC_ID_AAC &&
      stream->codecpar->profile == FF_PROFILE_UNKNOWN) {
    stream->codecpar->profile = aacProfileFromConfig(
        stream->codecpar->extradata,
        static_cast<std::size_t>(std::max(stream->codecpar->extradata_size, 0)));
  }
  // Headers of PCM containers say everything; only streams whose headers
  // leave something out are probed further (that decodes a few packets).
  const bool needsProbe = !stream || stream->codecpar->sample_rate <= 0 ||
                          stream->codecpar->ch_layout.nb_channels <= 0 ||
                          (stream->codecpar->bit_rate <= 0 && context->bit_rate <= 0) ||
                          (stream->codecpar->codec_id == AV_CODEC_ID_AAC &&
                           stream->codecpar->profile == FF_PROFILE_UNKNOWN);
  if (needsProbe) {
    context->max_analyze_duration = AV_TIME_BASE;
    if (av().avformat_find_stream_info(context.get(), nullptr) < 0 && !stream) {
      setError(error, kOSStatusErrorDomain, osstatus::kInvalidFileError,
               "The file holds no audio that can be read.");
      return nullptr;
    }
    stream = findAudio();
  }
  if (!stream) {
    setError(error, kOSStatusErrorDomain, osstatus::kInvalidFileError, "The file holds no audio.");
    return nullptr;
  }
  const AVCodecParameters& codec = *stream->codecpar;

  auto info = std::make_unique<AudioFileInfo>();
  info->fileTypeName = fileTypeName(*context, codec, path);
  info->streamDescription = describe(codec);
  info->dataFormatName = formatName(info->streamDescription.formatID);
  if (info->dataFormatName.empty()) {
    const AVCodecDescriptor* descriptor = av().avcodec_descriptor_get(codec.codec_id);
    if (descriptor && descriptor->long_name) info->dataFormatName = descriptor->long_name;
  }
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    info->estimatedDuration = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
  } else if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
    info->estimatedDuration = static_cast<double>(context->duration) / AV_TIME_BASE;
  }
  if (!std::isfinite(info->estimatedDuration) || info->estimatedDuration < 0) {
    info->estimatedDuration = 0;
  }
  info->bitRate =
      codec.bit_rate > 0 ? codec.bit_rate : std::max<std::int64_t>(context->bit_rate, 0);
  info->channelLayoutTag = avLayout(codec.ch_layout);
  info->infoDictionary = infoFromMetadata(*context, *stream);
  return info;
}

// CAF specifics from the file itself: the exact description, the info
// chunk, the channel layout, the duration from the packet table, user data.
void applyCaf(const CafFile& caf, AudioFileInfo& info) {
  const CafFile::AudioDescription& d = caf.description();
  const std::string demuxerFormatName = info.dataFormatName;
  const AudioStreamDescription demuxed = info.streamDescription;
  info.fileTypeName = "CAF file";
  info.streamDescription = {d.sampleRate,     fourCCText(d.formatID), d.formatFlags,
                            d.bytesPerPacket, d.framesPerPacket,      d.channelsPerFrame,
                            d.bitsPerChannel};
  AudioStreamDescription& sd = info.streamDescription;
  if (sd.formatID == "lpcm") {
    // CAF has its own two PCM flags (1 float, 2 little-endian); the
    // description uses the platform's, like every other container here.
    sd.formatFlags = ((d.formatFlags & 1) ? 1u : 4u) | ((d.formatFlags & 2) ? 0u : 2u) | 8u;
  } else if (sd.formatID == "alac" && sd.formatFlags == 0) {
    // Some writers leave the flags 0; the decoder configuration tells.
    sd.formatFlags = demuxed.formatFlags;
  }
  info.dataFormatName = formatName(info.streamDescription.formatID);
  if (info.dataFormatName.empty()) {
    info.dataFormatName =
        demuxerFormatName.empty() ? info.streamDescription.formatID : demuxerFormatName;
  }
  if (const double duration = caf.estimatedDuration(); duration > 0) {
    info.estimatedDuration = duration;
  }
  if (info.streamDescription.formatID == "lpcm") {
    info.bitRate = static_cast<std::int64_t>(d.sampleRate * d.bitsPerChannel * d.channelsPerFrame);
  } else if (info.bitRate <= 0 && info.estimatedDuration > 0) {
    info.bitRate = static_cast<std::int64_t>(static_cast<double>(caf.audioDataSize()) * 8 /
                                             info.estimatedDuration);
  }
  info.channelLayoutTag = caf.channelLayout() ? cafLayout(caf.channelLayout()->tag)
                                              : undeclaredLayout(d.channelsPerFrame);
  info.infoDictionary = caf.infoDictionary();
  info.userData.clear();
  for (const auto& chunk : caf.chunks()) {
    if (chunk.type == "data") continue;
    // The loaded bodies come back in the same order as the chunks.
    const std::size_t index = static_cast<std::size_t>(
        std::count_if(info.userData.begin(), info.userData.end(),
                      [&](const auto& entry) { return entry.first == chunk.type; }));
    info.userData.emplace_back(chunk.type, caf.userDataChunk(chunk.type, index));
  }
}

int openErrorCode(int err) {
  return err == ENOENT || err == ENOTDIR ? osstatus::kFileNotFoundError
         : err == EACCES || err == EPERM ? osstatus::kPermissionsError
                                         : osstatus::kIOError;
}

bool isCaf(const std::string& path) { return leadingBytes(path, 4) == "caff"; }

}  // namespace

std::string channelLayoutName(ChannelLayoutTag tag) {
  switch (tag) {
    case ChannelLayoutTag::Mono:
      return "Mono";
    case ChannelLayoutTag::Stereo:
      return "Stereo";
    case ChannelLayoutTag::StereoHeadphones:
      return "Stereo Headphones";
    case ChannelLayoutTag::MatrixStereo:
      return "Matrix Stereo";
    case ChannelLayoutTag::MidSide:
      return "Mid-Side";
    case ChannelLayoutTag::XY:
      return "XY";
    case ChannelLayoutTag::Binaural:
      return "Binaural";
    case ChannelLayoutTag::AmbisonicB:
      return "Ambisonic B";
    case ChannelLayoutTag::Quadraphonic:
      return "Quadraphonic";
    case ChannelLayoutTag::Pentagonal:
      return "Pentagonal";
    case ChannelLayoutTag::Hexagonal:
      return "Hexagonal";
    case ChannelLayoutTag::Octagonal:
      return "Octagonal";
    case ChannelLayoutTag::Cube:
      return "Cube";
    case ChannelLayoutTag::None:
    case ChannelLayoutTag::Other:
      break;
  }
  return {};
}

std::optional<Data> AudioFileInfo::userDataChunk(const std::string& type, std::size_t index) const {
  for (const auto& [chunkType, body] : userData) {
    if (chunkType != type) continue;
    if (index == 0) return body;
    --index;
  }
  return std::nullopt;
}

std::unique_ptr<AudioFileInfo> openAudioFile(const std::string& path, Error* error) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    const int err = errno;
    setError(error, kOSStatusErrorDomain, openErrorCode(err),
             "The file cannot be opened: " + std::string(std::strerror(err)) + ".");
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    setError(error, kOSStatusErrorDomain, osstatus::kUnsupportedFileTypeError,
             "The item is not a file.");
    return nullptr;
  }
  if (isCaf(path)) {
    // Our own reader decides for CAF; the demuxer only adds the bit rate of
    // compressed data, and the names of formats we have no row for.
    std::optional<CafFile> caf = CafFile::readFile(path, error);
    if (!caf) return nullptr;
    std::unique_ptr<AudioFileInfo> info = openWithDemuxer(path, nullptr);
    if (!info) info = std::make_unique<AudioFileInfo>();
    applyCaf(*caf, *info);
    return info;
  }
  return openWithDemuxer(path, error);
}

bool writeInfoDictionary(const std::string& path, const InfoDictionary& info, Error* error) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    const int err = errno;
    return setError(error, kOSStatusErrorDomain, openErrorCode(err),
                    "The file cannot be opened: " + std::string(std::strerror(err)) + ".");
  }
  if (S_ISREG(status.st_mode) && isCaf(path))
    return CafFile::writeInfoDictionary(path, info, error);
  return setError(error, kOSStatusErrorDomain, osstatus::kUnsupportedFileTypeError,
                  "The info dictionary of this type of file cannot be written.");
}

}  // namespace quorvel
