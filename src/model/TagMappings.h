#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/TagKeys.h"

namespace TagLib {
class String;
}

namespace quorvel {

// The tag formats that have mapping tables.
enum class TagFormat { ID3v2, MP4, ASF, APE, Vorbis, INFO };

// A forward table: canonical key -> the format's names for it, never empty.
// The first name is the one written; every name is recognised when reading.
// Ordered by key (byte-wise), the order of allTagKeys().
using TagMappingTable = std::map<std::string, std::vector<std::string>>;

// An immutable snapshot of a forward table. A holder keeps seeing the same
// table even when the tables are rebuilt meanwhile.
using TagMappingSnapshot = std::shared_ptr<const TagMappingTable>;

// Setting that moves "WORK" and "GROUPING" between the ID3v2 frames TIT1 and GRP1.
inline constexpr const char* kITunesWorkMovementCompatibilityKey =
    "iTunesWorkMovementCompatibility";

// The prefix of a format's per-key override setting ("VorbisTag_" + key):
// "APETag_", "ASFTag_", "MP4Tag_", "VorbisTag_", "INFOTag_"; empty for ID3v2,
// which has no overrides.
std::string_view tagMappingSettingPrefix(TagFormat format);

// All of the functions below work on process-wide tables that are built on
// first use from the built-in lists and the user's settings, and are cached
// until tagMappingsDidChange(). None fails. Any thread may call them at any
// time; a caller sees a table either as it was before a rebuild or as it is
// after it, never half-built.
//
// Names are UTF-8. MP4 atom names are in our UTF-8 form too: "©alb" is the
// five bytes C2 A9 61 6C 62. TagLib's own form differs; convert at the TagLib
// boundary with the mp4AtomName* helpers below.

// Forward tables, user overrides applied.
TagMappingSnapshot apeTagMappings();
TagMappingSnapshot asfTagMappings();
TagMappingSnapshot mp4TagMappings();
TagMappingSnapshot vorbisTagMappings();
TagMappingSnapshot infoTagMappings();
// The ID3v2.3 table for major version 3, the ID3v2.4 table for any other.
TagMappingSnapshot id3v2TagMappings(int majorVersion);
// The forward table of `format` (ID3v2: `id3v2MajorVersion` picks the table).
TagMappingSnapshot tagMappings(TagFormat format, int id3v2MajorVersion = 4);

// Name to write for a canonical key.
// APE item key: first listed name, else the key; upper-cased.
std::string apeItemKeyForKey(const std::string& key);
// ASF attribute name: first listed name, else the key, case kept.
std::string asfAttributeNameForKey(const std::string& key);
// ID3v2 frame id (version 3 uses the ID3v2.3 table, any other the ID3v2.4
// table): first listed id; else "TXXX" for "WORK" and for keys that are not four
// characters long; a four-character key beginning with "T", "W" or "GRP" is its
// own frame id; anything else "TXXX".
std::string id3v2FrameIdForKey(const std::string& key, int majorVersion);
// The description of the TXXX frame carrying `key`: the MusicBrainz texts for
// the eight keys that have one, else the key itself.
std::string txxxDescriptionForKey(const std::string& key);
// MP4 atom (UTF-8 form): a four-character key beginning with "©" is itself the
// atom; else the first listed atom; else "----:com.apple.iTunes:" + key.
std::string mp4AtomForKey(const std::string& key);
// Vorbis comment field name: first listed name, else the key; upper-cased.
std::string vorbisFieldForKey(const std::string& key);
// RIFF INFO chunk id: first listed id, upper-cased. A canonical key without
// one has none ("MOOD"); any other key is its own id, upper-cased. None when
// the id is not exactly four characters long (the key is then not written).
std::optional<std::string> infoChunkIdForKey(const std::string& key);

// Canonical key for a name read from a file. Each returns the name itself when
// the table does not list it (as it stood, case kept), except as noted.
// APE: upper-cased before the lookup.
std::string keyForAPEItemKey(const std::string& itemKey);
// ASF: exact lookup, case included.
std::string keyForASFAttributeName(const std::string& attributeName);
// ID3v2: without a description the frame id is upper-cased and looked up
// ("TDRC" and "TYER" give "YEAR", "IPLS" and "TORY" are recognised). With a
// description (a TXXX frame) the frame id is not consulted: the description is
// matched exactly against the TXXX descriptions, and an unmatched description
// is itself the key.
std::string keyForID3v2FrameId(const std::string& frameId,
                               const std::optional<std::string>& description = std::nullopt);
// MP4 (UTF-8 form): exact lookup ("©day" gives "YEAR", "trkn" gives
// "TRACKNUMBER"); an unlisted "----:com.apple.iTunes:NAME" gives NAME.
std::string keyForMP4Atom(const std::string& atom);
// Vorbis comment: upper-cased before the lookup.
std::string keyForVorbisField(const std::string& fieldName);
// RIFF INFO: upper-cased before the lookup.
std::string keyForINFOChunkId(const std::string& chunkId);

// Drops the cached tables of `format` (ID3v2: the ID3v2.4, ID3v2.3 and reverse
// tables; others: forward and reverse) and builds them again from the current
// settings. Call after changing an override or the iTunes switch. Readers
// holding an older snapshot keep it; later lookups see the new tables.
void tagMappingsDidChange(TagFormat format);

// MP4 atom names at the TagLib boundary. TagLib 1.13 decodes the four bytes of
// an atom name as Latin-1: the byte A9 becomes U+00A9 in a TagLib::String
// (MP4::Tag::itemMap() keys), and stays the single byte A9 in a ByteVector or a
// Latin-1 std::string (Atom::name, String::to8Bit(false), "\251alb").
// Our UTF-8 form from a TagLib::String item key.
std::string mp4AtomNameFromTagLib(const TagLib::String& name);
// A TagLib::String for MP4::Tag::setItem() and friends from our UTF-8 form.
TagLib::String mp4AtomNameToTagLib(const std::string& name);
// Our UTF-8 form from Latin-1 bytes (each byte is one character).
std::string mp4AtomNameFromLatin1(std::string_view latin1);
// Latin-1 bytes from our UTF-8 form; none when the name holds a character
// above U+00FF or is not valid UTF-8.
std::optional<std::string> mp4AtomNameToLatin1(std::string_view name);

}  // namespace quorvel
