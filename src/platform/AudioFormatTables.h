#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/AudioFileServices.h"

namespace quorvel {

// What the audio file services say about formats, independent of how a file
// was parsed: names, flags and layouts shared by the demuxer path and by our
// own header readers, so both describe a file the same way. Pure functions;
// any thread.

// AAC profiles as the decoder numbers them: the plain object types count
// from 0 (object type - 1); the extended ones have their own numbers.
namespace aacprofile {
constexpr int kUnknown = -99;
constexpr int kMain = 0;
constexpr int kLow = 1;
constexpr int kSSR = 2;
constexpr int kLTP = 3;
constexpr int kHE = 4;
constexpr int kLD = 22;
constexpr int kHEv2 = 28;
constexpr int kELD = 38;
}  // namespace aacprofile

// Speaker bits of a channel mask (the WAVE extensible mask and the
// demuxer's native layouts number them alike).
namespace speaker {
constexpr std::uint64_t kFrontLeft = 0x1;
constexpr std::uint64_t kFrontRight = 0x2;
constexpr std::uint64_t kFrontCenter = 0x4;
constexpr std::uint64_t kLowFrequency = 0x8;
constexpr std::uint64_t kBackLeft = 0x10;
constexpr std::uint64_t kBackRight = 0x20;
constexpr std::uint64_t kBackCenter = 0x100;
constexpr std::uint64_t kSideLeft = 0x200;
constexpr std::uint64_t kSideRight = 0x400;
constexpr std::uint64_t kStereoLeft = 0x20000000;
constexpr std::uint64_t kStereoRight = 0x40000000;
}  // namespace speaker

// The AAC profile an MPEG-4 decoder configuration (AudioSpecificConfig)
// declares, as the decoder would report it, or aacprofile::kUnknown when the
// bytes declare none or are cut short.
int aacProfileFromConfig(const std::uint8_t* bytes, std::size_t size);

// Sets the format id ("aac ", "aach", "aacp", "aacl", "aace") and flags (the
// object type of the plain profiles) of an AAC stream of `profile`.
void describeAAC(int profile, AudioStreamDescription& description);

// The flags of an "alac" description for source data of `bits` (1..4 for
// 16, 20, 24 and 32 bits); 0 for any other depth.
std::uint32_t alacFormatFlags(int bits);

// Linear PCM flags as the platform sets them: packed, plus float or signed
// integer, plus big-endian.
std::uint32_t linearPCMFlags(bool isFloat, bool isSigned, bool bigEndian);

// Display name of a four-character format id ("lpcm" -> "Linear PCM");
// empty for an id without one.
std::string formatName(const std::string& formatID);

// The named layout of a channel mask, or Other.
ChannelLayoutTag maskLayout(std::uint64_t mask);

// The layout of a file that declares none: Mono with one channel, Stereo
// with two, else None.
ChannelLayoutTag undeclaredLayout(std::uint32_t channels);

// Display names of the file types: an MPEG-4 family file by its major brand
// (as the "ftyp" box gives it, four characters), a RIFF file, an AIFF file.
std::string mp4FileTypeName(const std::string& majorBrand);
std::string waveFileTypeName(bool rf64);
std::string aiffFileTypeName(bool aifc);

}  // namespace quorvel
