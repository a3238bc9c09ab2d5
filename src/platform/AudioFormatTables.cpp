#include "platform/AudioFormatTables.h"

#include <utility>

namespace quorvel {

namespace {

// Format id → display name, for every id a description can carry.
struct FormatNameRow {
  const char* formatID;
  const char* name;
};
constexpr FormatNameRow kFormatNames[] = {
    {"lpcm", "Linear PCM"},    {"aac ", "AAC"},
    {"aach", "HE-AAC"},        {"aacp", "HE-AAC v2"},
    {"aacl", "AAC-LD"},        {"aace", "AAC-ELD"},
    {"aacf", "AAC-ELD SBR"},   {"alac", "Apple Lossless"},
    {"ima4", "IMA 4:1"},       {"samr", "AMR Narrowband"},
    {"sawb", "AMR Wideband"},  {".mp1", "MPEG Layer 1"},
    {".mp2", "MPEG Layer 2"},  {".mp3", "MPEG Layer 3"},
    {"alaw", "aLaw 2:1"},      {"ulaw", "\xC2\xB5Law 2:1"},
    {"ac-3", "AC-3"},          {"ec-3", "Enhanced AC-3"},
    {"flac", "FLAC"},          {"opus", "Opus"},
    {"ilbc", "iLBC"},          {"QDM2", "QDesign Music 2"},
    {"QDMC", "QDesign Music"}, {"MAC3", "MACE 3:1"},
    {"MAC6", "MACE 6:1"},
};

// Channel masks that are one of the named layouts (the same speakers; the
// order within the file is the demuxer's business).
using namespace speaker;
constexpr std::pair<std::uint64_t, ChannelLayoutTag> kMaskLayouts[] = {
    {kFrontCenter, ChannelLayoutTag::Mono},
    {kFrontLeft | kFrontRight, ChannelLayoutTag::Stereo},
    {kStereoLeft | kStereoRight, ChannelLayoutTag::MatrixStereo},
    {kFrontLeft | kFrontRight | kBackLeft | kBackRight, ChannelLayoutTag::Quadraphonic},
    {kFrontLeft | kFrontRight | kSideLeft | kSideRight, ChannelLayoutTag::Quadraphonic},
    {kFrontLeft | kFrontRight | kFrontCenter | kBackLeft | kBackRight,
     ChannelLayoutTag::Pentagonal},
    {kFrontLeft | kFrontRight | kFrontCenter | kBackLeft | kBackRight | kBackCenter,
     ChannelLayoutTag::Hexagonal},
    {kFrontLeft | kFrontRight | kFrontCenter | kBackLeft | kBackRight | kBackCenter | kSideLeft |
         kSideRight,
     ChannelLayoutTag::Octagonal},
};

// Reads bits most significant first out of a byte range; past the end it
// reads zeros and says so.
class BitReader {
 public:
  BitReader(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  std::uint32_t read(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      std::uint32_t bit = 0;
      if (position_ < size_ * 8) {
        bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1u;
      } else {
        overrun_ = true;
      }
      ++position_;
      value = (value << 1) | bit;
    }
    return value;
  }
  std::size_t remaining() const { return position_ < size_ * 8 ? size_ * 8 - position_ : 0; }
  bool overrun() const { return overrun_; }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool overrun_ = false;
};

std::uint32_t audioObjectType(BitReader& bits) {
  const std::uint32_t type = bits.read(5);
  return type == 31 ? 32 + bits.read(6) : type;
}

void skipSamplingFrequency(BitReader& bits) {
  if (bits.read(4) == 15) bits.read(24);
}

}  // namespace

// Reading the profile here spares decoding packets just to learn whether the
// stream is HE-AAC. SBR that only the stream itself signals (no declaration
// at all) reads as the plain object type, as it does for any reader that
// only looks at the container.
int aacProfileFromConfig(const std::uint8_t* bytes, std::size_t size) {
  if (!bytes || size < 2) return aacprofile::kUnknown;
  BitReader bits(bytes, size);
  std::uint32_t type = audioObjectType(bits);
  skipSamplingFrequency(bits);
  const std::uint32_t channelConfiguration = bits.read(4);
  int profile = aacprofile::kUnknown;
  if (type == 5 || type == 29) {
    // Explicit, hierarchical signalling: the core type follows.
    profile = type == 5 ? aacprofile::kHE : aacprofile::kHEv2;
    skipSamplingFrequency(bits);
    type = audioObjectType(bits);
    return bits.overrun() || type == 0 ? aacprofile::kUnknown : profile;
  }
  if (type == 0 || type > 45 || bits.overrun()) return aacprofile::kUnknown;
  profile = static_cast<int>(type) - 1;  // the decoder's profiles number the object types
  // Backward-compatible signalling: a sync extension after the general audio
  // configuration of the plain AAC types with a fixed channel configuration.
  if ((type < 1 || type > 4) || channelConfiguration == 0) return profile;
  bits.read(1);                      // frameLengthFlag
  if (bits.read(1)) bits.read(14);   // dependsOnCoreCoder, coreCoderDelay
  if (bits.read(1)) return profile;  // extensionFlag: not used by these types
  if (bits.remaining() < 16 || bits.read(11) != 0x2B7) return profile;
  if (audioObjectType(bits) != 5 || !bits.read(1)) return profile;  // SBR present?
  skipSamplingFrequency(bits);
  int extended = aacprofile::kHE;
  if (bits.remaining() >= 12 && bits.read(11) == 0x548 && bits.read(1)) {
    extended = aacprofile::kHEv2;
  }
  return bits.overrun() ? profile : extended;
}

void describeAAC(int profile, AudioStreamDescription& description) {
  switch (profile) {
    case aacprofile::kMain:
      description.formatFlags = 1;
      break;
    case aacprofile::kLow:
      description.formatFlags = 2;
      break;
    case aacprofile::kSSR:
      description.formatFlags = 3;
      break;
    case aacprofile::kLTP:
      description.formatFlags = 4;
      break;
    case aacprofile::kHE:
      description.formatID = "aach";
      break;
    case aacprofile::kHEv2:
      description.formatID = "aacp";
      break;
    case aacprofile::kLD:
      description.formatID = "aacl";
      break;
    case aacprofile::kELD:
      description.formatID = "aace";
      break;
    default:
      break;
  }
}

std::uint32_t alacFormatFlags(int bits) {
  switch (bits) {
    case 16:
      return 1;
    case 20:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 0;
  }
}

std::uint32_t linearPCMFlags(bool isFloat, bool isSigned, bool bigEndian) {
  std::uint32_t flags = 8;  // packed
  if (isFloat) {
    flags |= 1;
  } else if (isSigned) {
    flags |= 4;
  }
  if (bigEndian) flags |= 2;
  return flags;
}

std::string formatName(const std::string& formatID) {
  for (const auto& row : kFormatNames) {
    if (formatID == row.formatID) return row.name;
  }
  return {};
}

ChannelLayoutTag maskLayout(std::uint64_t mask) {
  for (const auto& [layoutMask, tag] : kMaskLayouts) {
    if (mask == layoutMask) return tag;
  }
  return ChannelLayoutTag::Other;
}

// One channel can only be mono, and two are taken as stereo, as players take
// them; more stay unnamed.
ChannelLayoutTag undeclaredLayout(std::uint32_t channels) {
  return channels == 1   ? ChannelLayoutTag::Mono
         : channels == 2 ? ChannelLayoutTag::Stereo
                         : ChannelLayoutTag::None;
}

std::string mp4FileTypeName(const std::string& brand) {
  if (brand.rfind("M4A", 0) == 0 || brand.rfind("M4B", 0) == 0 || brand.rfind("M4P", 0) == 0) {
    return "Apple MPEG-4 Audio file";
  }
  if (brand.rfind("3gp", 0) == 0) return "3GPP file";
  if (brand.rfind("3g2", 0) == 0) return "3GPP-2 file";
  if (brand.rfind("qt", 0) == 0) return "QuickTime file";
  return "MPEG-4 Audio file";
}

std::string waveFileTypeName(bool rf64) { return rf64 ? "RF64 file" : "WAVE file"; }

std::string aiffFileTypeName(bool aifc) { return aifc ? "AIFF-C file" : "AIFF file"; }

}  // namespace quorvel
