#include "model/TagMappings.h"

#include <taglib/tstring.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/UserDefaults.h"

namespace quorvel {

namespace {

using Names = std::vector<std::string>;

// One canonical key's built-in names in every format; an empty list means the
// format has no fixed name for the key. The ID3v2 column is the ID3v2.4 table
// without "WORK" and "GROUPING", whose frames depend on the iTunes switch (see
// buildID3v2Tables).
struct BuiltInRow {
  const char* key;
  Names id3v2;
  Names mp4;
  Names vorbis;
  Names ape;
  Names asf;
  Names info;
};

const std::vector<BuiltInRow>& builtInRows() {
  static const std::vector<BuiltInRow> rows = {
      // key, ID3v2, MP4, Vorbis comment, APE, ASF, RIFF INFO
      {"ALBUM", {"TALB"}, {"©alb"}, {"ALBUM"}, {"ALBUM"}, {"WM/AlbumTitle"}, {"IPRD"}},
      {"ALBUMARTIST",
       {"TPE2"},
       {"aART"},
       {"ALBUMARTIST", "ALBUM ARTIST"},
       {"ALBUMARTIST", "ALBUM ARTIST"},
       {"WM/AlbumArtist"},
       {"IAAR", "ISBJ"}},
      {"ALBUMARTISTSORTORDER",
       {"TSO2"},
       {"soaa"},
       {"ALBUMARTISTSORT"},
       {"ALBUMARTISTSORT"},
       {"ALBUMARTISTSORTORDER"},
       {}},
      {"ALBUMSORTORDER",
       {"TSOA"},
       {"soal"},
       {"ALBUMSORT"},
       {"ALBUMSORT"},
       {"WM/AlbumSortOrder"},
       {}},
      {"ARTISTSORTORDER",
       {"TSOP"},
       {"soar"},
       {"ARTISTSORT"},
       {"ARTISTSORT"},
       {"ARTISTSORTORDER"},
       {}},
      {"ARTWORK",
       {"APIC", "PIC"},
       {"covr"},
       {"METADATA_BLOCK_PICTURE"},
       {"COVER ART (FRONT)", "COVER ART (BACK)", "APIC"},
       {"WM/Picture"},
       {}},
      {"ASIN", {}, {}, {"ASIN"}, {"ASIN"}, {"WM/ASIN"}, {}},
      {"BARCODE", {}, {}, {"BARCODE"}, {"BARCODE"}, {"WM/Barcode"}, {}},
      {"BPM", {"TBPM"}, {"tmpo"}, {"BPM"}, {"BPM"}, {"WM/BeatsPerMinute", "WM/BPM"}, {"IBPM"}},
      {"COMMENTS",
       {"COMM"},
       {"©cmt"},
       {"DESCRIPTION", "COMMENT"},
       {"COMMENT"},
       {},
       {"ICMT", "COMM", "CMNT"}},
      {"COMPOSER", {"TCOM"}, {"©wrt"}, {"COMPOSER"}, {"COMPOSER"}, {"WM/Composer"}, {"IMUS"}},
      {"COMPOSERSORTORDER",
       {"TSOC"},
       {"soco"},
       {"COMPOSERSORT"},
       {"COMPOSERSORT"},
       {"COMPOSERSORTORDER"},
       {}},
      {"CONDUCTOR", {"TPE3"}, {"cond"}, {"CONDUCTOR"}, {"CONDUCTOR"}, {"WM/Conductor"}, {"ITCH"}},
      {"COPYRIGHT", {"TCOP"}, {"cprt"}, {"COPYRIGHT"}, {"COPYRIGHT"}, {}, {"ICOP"}},
      {"DATE", {"TDRC", "TDAT"}, {"©day"}, {}, {}, {}, {}},
      {"DESCRIPTION", {}, {"desc"}, {}, {"DESCRIPTION"}, {"DESCRIPTION"}, {}},
      {"DISCNUMBER",
       {"TPOS"},
       {"disk"},
       {"DISCNUMBER"},
       {"DISCNUMBER"},
       {"WM/PartOfSet"},
       {"IFRM"}},
      {"DISCTOTAL", {}, {}, {"DISCTOTAL"}, {"DISCTOTAL"}, {"WM/PartOfSet", "WM/DiscTotal"}, {}},
      {"ENCODEDBY",
       {"TENC"},
       {"©too"},
       {"ENCODEDBY", "ENCODED BY", "ENCODER"},
       {"ENCODEDBY"},
       {"WM/EncodedBy"},
       {"ISFT", "CODE"}},
      {"ENCODERSETTINGS", {"TSSE"}, {}, {"ENCODING"}, {"ENCODING"}, {"WM/EncodingSettings"}, {}},
      {"ENCODINGTIME", {"TDEN"}, {}, {"ENCODINGTIME"}, {"ENCODINGTIME"}, {"WM/EncodingTime"}, {}},
      {"EPISODEGLOBALID", {}, {"egid"}, {}, {}, {}, {}},
      {"FILEOWNER", {"TOWN"}, {}, {"FILEOWNER"}, {"FILEOWNER"}, {"FILEOWNER"}, {}},
      {"FILETYPE", {"TFLT"}, {}, {"FILETYPE"}, {"FILETYPE"}, {"FILETYPE"}, {}},
      {"GAPLESS", {}, {"pgap"}, {"GAPLESS"}, {"GAPLESS"}, {"GAPLESS"}, {}},
      {"GENRE", {"TCON"}, {"©gen"}, {"GENRE"}, {"GENRE"}, {"WM/Genre"}, {"IGNR", "GENR"}},
      {"GROUPING",
       {},  // GRP1 or TIT1, by the iTunes switch
       {"©grp"},
       {"GROUPING"},
       {"GROUPING"},
       {"WM/ContentGroupDescription"},
       {"ISRF"}},
      {"INTERNETSTATIONNAME",
       {"TRSN"},
       {},
       {"INTERNETSTATIONNAME"},
       {"INTERNETSTATIONNAME"},
       {"WM/RadioStationName"},
       {}},
      {"INTERNETSTATIONOWNER",
       {"TRSO"},
       {},
       {"INTERNETSTATIONOWNER"},
       {"INTERNETSTATIONOWNER"},
       {"WM/RadioStationOwner"},
       {}},
      {"INVOLVEDPEOPLELIST",
       {"TIPL"},  // IPLS in ID3v2.3
       {},
       {"INVOLVEDPEOPLELIST"},
       {"INVOLVEDPEOPLELIST"},
       {"INVOLVEDPEOPLELIST"},
       {}},
      {"ISRC", {"TSRC"}, {}, {"ISRC"}, {"ISRC"}, {"WM/ISRC"}, {"ISRC"}},
      {"ITUNESACCOUNT", {}, {"apID"}, {"ITUNESACCOUNT"}, {"ITUNESACCOUNT"}, {"ITUNESACCOUNT"}, {}},
      {"ITUNESARTISTID", {}, {"atID"}, {}, {}, {}, {}},
      {"ITUNESCATALOGID", {}, {"cnID"}, {}, {}, {}, {}},
      {"ITUNESGENREID", {}, {"geID"}, {}, {}, {}, {}},
      {"ITUNESMEDIATYPE", {}, {"stik"}, {}, {}, {}, {}},
      {"ITUNESPLAYLISTID", {}, {"plID"}, {}, {}, {}, {}},
      {"ITUNESPURCHASEDATE",
       {},
       {"purd"},
       {"ITUNESPURCHASEDATE"},
       {"ITUNESPURCHASEDATE"},
       {"ITUNESPURCHASEDATE"},
       {}},
      {"ITUNESSTOREFRONTID", {}, {"sfID"}, {}, {}, {}, {}},
      {"ITUNMOVI",
       {},
       {"----:com.apple.iTunes:iTunMOVI"},
       {"ITUNMOVI"},
       {"ITUNMOVI"},
       {"ITUNMOVI"},
       {}},
      {"ITUNNORM",
       {},
       {"----:com.apple.iTunes:iTunNORM"},
       {"ITUNNORM"},
       {"ITUNNORM"},
       {"ITUNNORM"},
       {}},
      {"ITUNSMPB",
       {},
       {"----:com.apple.iTunes:iTunSMPB"},
       {"ITUNSMPB"},
       {"ITUNSMPB"},
       {"ITUNSMPB"},
       {}},
      {"KEY",
       {"TKEY"},
       {"----:com.apple.iTunes:initialkey"},
       {"KEY"},
       {"KEY"},
       {"WM/InitialKey"},
       {}},
      {"LANGUAGE", {"TLAN"}, {}, {"LANGUAGE"}, {"LANGUAGE"}, {"WM/Language"}, {"ILNG"}},
      {"LENGTH", {"TLEN"}, {}, {"LENGTH"}, {"LENGTH"}, {"LENGTH"}, {}},
      {"LONGDESCRIPTION",
       {},
       {"ldes"},
       {"LONGDESCRIPTION"},
       {"LONGDESCRIPTION"},
       {"LONGDESCRIPTION"},
       {}},
      {"LYRICIST", {"TEXT"}, {}, {"LYRICIST"}, {"LYRICIST"}, {"WM/Writer"}, {"IWRI"}},
      {"LYRICS", {"USLT"}, {"©lyr"}, {"LYRICS"}, {"LYRICS"}, {"WM/Lyrics"}, {}},
      {"MEDIA", {"TMED"}, {}, {"MEDIA"}, {"MEDIA"}, {"MEDIA"}, {}},
      {"MOOD", {"TMOO"}, {}, {"MOOD"}, {"MOOD"}, {"WM/Mood"}, {}},
      {"MOVEMENTNAME",
       {"MVNM"},
       {"©mvn"},
       {"MOVEMENTNAME"},
       {"MOVEMENTNAME"},
       {"WM/MovementName"},
       {}},
      {"MOVEMENTNUMBER",
       {"MVIN"},
       {"©mvi"},
       {"MOVEMENT", "MOVEMENTNUMBER"},
       {"MOVEMENT", "MOVEMENTNUMBER"},
       {"WM/Movement", "WM/MovementNumber"},
       {}},
      {"MOVEMENTTOTAL",
       {},
       {"©mvc"},
       {"MOVEMENTTOTAL"},
       {"MOVEMENTTOTAL"},
       {"WM/MovementTotal"},
       {}},
      {"MUSICBRAINZ_ALBUMARTISTID",
       {},
       {"----:com.apple.iTunes:MusicBrainz Album Artist Id"},
       {"MUSICBRAINZ_ALBUMARTISTID"},
       {"MUSICBRAINZ_ALBUMARTISTID"},
       {"MusicBrainz/Album Artist Id"},
       {}},
      {"MUSICBRAINZ_ALBUMID",
       {},
       {"----:com.apple.iTunes:MusicBrainz Album Id"},
       {"MUSICBRAINZ_ALBUMID"},
       {"MUSICBRAINZ_ALBUMID"},
       {"MusicBrainz/Album Id"},
       {}},
      {"MUSICBRAINZ_ARTISTID",
       {},
       {"----:com.apple.iTunes:MusicBrainz Artist Id"},
       {"MUSICBRAINZ_ARTISTID"},
       {"MUSICBRAINZ_ARTISTID"},
       {"MusicBrainz/Artist Id"},
       {}},
      {"MUSICBRAINZ_RELEASEGROUPID",
       {},
       {"----:com.apple.iTunes:MusicBrainz Release Group Id"},
       {"MUSICBRAINZ_RELEASEGROUPID"},
       {"MUSICBRAINZ_RELEASEGROUPID"},
       {"MusicBrainz/Release Group Id"},
       {}},
      {"MUSICBRAINZ_TRACKID",
       {"UFID"},
       {"----:com.apple.iTunes:MusicBrainz Track Id"},
       {"MUSICBRAINZ_TRACKID"},
       {"MUSICBRAINZ_TRACKID"},
       {"MusicBrainz/Track Id"},
       {}},
      {"MUSICIANCREDITS",
       {"TMCL"},
       {},
       {"MUSICIANCREDITS"},
       {"MUSICIANCREDITS"},
       {"MUSICIANCREDITS"},
       {}},
      {"ORIGINALALBUMTITLE",
       {"TOAL"},
       {"----:com.apple.iTunes:ORIGINALALBUM"},
       {"ORIGINALALBUM"},
       {"ORIGINALALBUM"},
       {"WM/OriginalAlbumTitle"},
       {}},
      {"ORIGINALARTIST",
       {"TOPE"},
       {"©ope"},
       {"ORIGINALARTIST"},
       {"ORIGINALARTIST"},
       {"WM/OriginalArtist"},
       {}},
      {"ORIGINALFILENAME",
       {"TOFN"},
       {},
       {"ORIGINALFILENAME"},
       {"ORIGINALFILENAME"},
       {"WM/OriginalFilename"},
       {}},
      {"ORIGINALLYRICIST",
       {"TOLY"},
       {"olyr"},
       {"ORIGINALLYRICIST"},
       {"ORIGINALLYRICIST"},
       {"WM/OriginalLyricist"},
       {}},
      {"ORIGINALRELEASEDATE",
       {"TDOR"},  // TORY in ID3v2.3
       {},
       {"ORIGINALRELEASEDATE"},
       {"ORIGINALRELEASEDATE"},
       {"ORIGINALRELEASEDATE"},
       {}},
      {"PARTOFACOMPILATION",
       {"TCMP"},
       {"cpil"},
       {"PARTOFACOMPILATION"},
       {"PARTOFACOMPILATION"},
       {"WM/IsCompilation"},
       {}},
      {"PLAYLISTDELAY",
       {"TDLY"},
       {},
       {"PLAYLISTDELAY"},
       {"PLAYLISTDELAY"},
       {"WM/PlaylistDelay"},
       {}},
      {"PODCAST", {"PCST"}, {"pcst"}, {}, {}, {}, {}},
      {"PODCASTDESCRIPTION", {"TDES"}, {}, {}, {}, {}, {}},
      {"PODCASTID", {"TGID"}, {}, {}, {}, {}, {}},
      {"PODCASTURL", {"WFED"}, {"purl"}, {}, {}, {}, {}},
      {"PRODUCEDNOTICE",
       {"TPRO"},
       {},
       {"PRODUCEDNOTICE"},
       {"PRODUCEDNOTICE"},
       {"PRODUCEDNOTICE"},
       {}},
      {"PUBLISHER",
       {"TPUB"},
       {"----:com.apple.iTunes:LABEL"},
       {"LABEL"},
       {"LABEL"},
       {"WM/Publisher"},
       {"ICMS", "TORG"}},
      {"RATING", {"POPM"}, {"rtng"}, {"RATING"}, {"RATING"}, {"WM/SharedUserRating"}, {"ISHP"}},
      {"RELEASECOUNTRY",
       {},
       {"----:com.apple.iTunes:MusicBrainz Album Release Country"},
       {"RELEASECOUNTRY"},
       {"RELEASECOUNTRY"},
       {"MusicBrainz/Album Release Country"},
       {}},
      {"RELEASESTATUS",
       {},
       {"----:com.apple.iTunes:MusicBrainz Album Status"},
       {"RELEASESTATUS"},
       {"MUSICBRAINZ_ALBUMSTATUS"},
       {"MusicBrainz/Album Status"},
       {}},
      {"RELEASETIME", {"TDRL"}, {}, {"RELEASETIME"}, {"RELEASETIME"}, {"RELEASETIME"}, {}},
      {"RELEASETYPE",
       {},
       {"----:com.apple.iTunes:MusicBrainz Album Type"},
       {"RELEASETYPE"},
       {"MUSICBRAINZ_ALBUMTYPE"},
       {"MusicBrainz/Album Type"},
       {}},
      {"REMIXARTIST",
       {"TPE4"},
       {"rmix"},
       {"REMIXARTIST"},
       {"REMIXARTIST"},
       {"REMIXARTIST"},
       {"IEDT", "IRTD"}},
      {"SCRIPT", {}, {}, {"SCRIPT"}, {"SCRIPT"}, {"WM/Script"}, {}},
      {"SETSUBTITLE", {"TSST"}, {}, {"SETSUBTITLE"}, {"SETSUBTITLE"}, {"SETSUBTITLE"}, {}},
      {"SHOWMOVEMENT", {}, {"shwm"}, {"SHOWMOVEMENT"}, {"SHOWMOVEMENT"}, {"WM/ShowMovement"}, {}},
      {"SUBTITLE", {"TIT3"}, {"subt"}, {"SUBTITLE"}, {"SUBTITLE"}, {"WM/SubTitle"}, {}},
      {"TAGGINGTIME", {"TDTG"}, {}, {"TAGGINGTIME"}, {"TAGGINGTIME"}, {"TAGGINGTIME"}, {}},
      {"TRACKARTIST", {"TPE1"}, {"©ART"}, {"ARTIST"}, {"ARTIST"}, {}, {"IART", "ISTR"}},
      {"TRACKNUMBER",
       {"TRCK"},
       {"trkn"},
       {"TRACKNUMBER", "TRACK", "TRACKNUM"},
       {"TRACK", "TRACKNUMBER"},
       {"WM/TrackNumber", "WM/Track"},
       {"ITRK", "IPRT"}},
      {"TRACKTITLE", {"TIT2"}, {"©nam"}, {"TITLE"}, {"TITLE"}, {}, {"INAM"}},
      {"TRACKTITLESORTORDER",
       {"TSOT"},
       {"sonm"},
       {"TRACKTITLESORT"},
       {"TRACKTITLESORT"},
       {"WM/TitleSortOrder"},
       {}},
      {"TRACKTOTAL",
       {},
       {"trkn"},
       {"TRACKTOTAL", "TOTALTRACKS"},
       {"TOTALTRACKS"},
       {"WM/TrackTotal"},
       {}},
      {"TVEPISODE", {}, {"tves"}, {}, {}, {}, {}},
      {"TVEPISODEID", {}, {"tven"}, {}, {}, {}, {}},
      {"TVNETWORK", {}, {"tvnn"}, {}, {}, {}, {}},
      {"TVSEASON", {}, {"tvsn"}, {}, {}, {}, {}},
      {"TVSHOWNAME", {}, {"tvsh"}, {}, {}, {}, {}},
      {"WEBSITE", {"WXXX"}, {"©url"}, {"URL", "WEBSITE"}, {"URL"}, {"WM/URL"}, {"IURL"}},
      {"WORK",
       {},  // TIT1, only while the iTunes switch is on
       {"©wrk"},
       {"WORK"},
       {"WORK"},
       {"WM/Work"},
       {}},
      {"YEAR",
       {"TDRC", "TYER"},
       {"©day"},
       {"DATE", "YEAR"},
       {"DATE", "YEAR"},
       {"WM/Year"},
       {"ICRD"}},
  };
  return rows;
}

// Descriptions of the TXXX frames that carry keys ID3v2 has no frame for.
constexpr std::array<std::pair<const char*, const char*>, 8> kTXXXDescriptions{{
    {"MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist Id"},
    {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id"},
    {"MUSICBRAINZ_ARTISTID", "MusicBrainz Artist Id"},
    {"MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group Id"},
    {"MUSICBRAINZ_TRACKID", "MusicBrainz Track Id"},
    {"RELEASECOUNTRY", "MusicBrainz Album Release Country"},
    {"RELEASESTATUS", "MusicBrainz Album Status"},
    {"RELEASETYPE", "MusicBrainz Album Type"},
}};

constexpr std::string_view kITunesFreeformPrefix = "----:com.apple.iTunes:";

// ---------------------------------------------------------------------------
// Text helpers

// Length in UTF-16 code units, the way the system has always counted the
// characters of a name ("©alb" is four).
std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) {
      ++count;  // a lead byte or ASCII starts a character
    }
    if (c >= 0xF0) {
      ++count;  // outside the BMP: a surrogate pair
    }
  }
  return count;
}

// Trims Unicode white space (spaces, tabs, new lines, no-break spaces...) from
// both ends.
std::string trimmed(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t begin = 0;
  while (begin < length) {
    std::int32_t next = begin;
    UChar32 c = 0;
    U8_NEXT(bytes, next, length, c);
    if (c < 0 || !u_isUWhiteSpace(c)) {
      break;
    }
    begin = next;
  }
  std::int32_t end = length;
  while (end > begin) {
    std::int32_t previous = end;
    UChar32 c = 0;
    U8_PREV(bytes, begin, previous, c);
    if (c < 0 || !u_isUWhiteSpace(c)) {
      break;
    }
    end = previous;
  }
  return std::string(
      text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

// An override: names separated by ",", each trimmed. Pieces that trim to
// nothing are dropped, as a name of no characters cannot be written; an
// override with no names left keeps the built-in list.
Names parseOverride(const std::string& text) {
  Names names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      comma = text.size();
    }
    std::string name = trimmed(std::string_view(text).substr(start, comma - start));
    if (!name.empty()) {
      names.push_back(std::move(name));
    }
    start = comma + 1;
  }
  return names;
}

// ---------------------------------------------------------------------------
// Tables

using ReverseTable = std::unordered_map<std::string, std::string>;

// Everything cached for one format, built together so that the forward and
// reverse tables always agree.
struct FormatTables {
  TagMappingSnapshot forward;    // ID3v2: the ID3v2.4 table
  TagMappingSnapshot forwardV3;  // ID3v2 only: the ID3v2.3 table
  ReverseTable reverse;          // names upper-cased where lookups are case-insensitive
};

// One format's cache: no tables means stale. Builders are serialised by
// buildMutex; readers only copy the published pointer under pointerMutex, which
// is never held for longer than that. (libstdc++ 12's atomic<shared_ptr> would
// do the same job, but ThreadSanitizer cannot see through its lock bit.)
class FormatCache {
 public:
  std::shared_ptr<const FormatTables> load() const {
    std::lock_guard lock(pointerMutex_);
    return tables_;
  }
  void store(std::shared_ptr<const FormatTables> tables) {
    {
      std::lock_guard lock(pointerMutex_);
      tables_.swap(tables);
    }
    // The old tables, if this held the last reference, go here, outside the lock.
  }
  std::mutex& buildMutex() { return buildMutex_; }

 private:
  mutable std::mutex pointerMutex_;
  std::shared_ptr<const FormatTables> tables_;
  std::mutex buildMutex_;
};

constexpr std::size_t kFormatCount = 6;

std::size_t indexOf(TagFormat format) { return static_cast<std::size_t>(format); }

FormatCache& cacheFor(TagFormat format) {
  static std::array<FormatCache, kFormatCount> caches;
  return caches[indexOf(format)];
}

bool isCaseInsensitive(TagFormat format) {
  return format != TagFormat::MP4 && format != TagFormat::ASF;
}

const Names& builtInNames(const BuiltInRow& row, TagFormat format) {
  switch (format) {
    case TagFormat::ID3v2:
      return row.id3v2;
    case TagFormat::MP4:
      return row.mp4;
    case TagFormat::ASF:
      return row.asf;
    case TagFormat::APE:
      return row.ape;
    case TagFormat::Vorbis:
      return row.vorbis;
    case TagFormat::INFO:
      return row.info;
  }
  return row.id3v2;
}

TagMappingTable buildOverridableTable(TagFormat format) {
  TagMappingTable table;
  for (const auto& row : builtInRows()) {
    const Names& names = builtInNames(row, format);
    if (!names.empty()) {
      table.emplace(row.key, names);
    }
  }
  const std::string prefix(tagMappingSettingPrefix(format));
  for (const auto& key : allTagKeys()) {
    std::optional<std::string> setting = UserDefaults::standard().stringForKey(prefix + key);
    if (!setting || setting->empty()) {
      continue;
    }
    Names names = parseOverride(*setting);
    if (!names.empty()) {
      table[key] = std::move(names);
    }
  }
  return table;
}

void addToReverse(ReverseTable& reverse, const TagMappingTable& forward, bool upperCase) {
  for (const auto& [key, names] : forward) {
    for (const auto& name : names) {
      reverse[upperCase ? uppercaseTagName(name) : name] = key;
    }
  }
}

// Where a name stands under two keys, the tag readers rely on this one. The
// resolution applies only while the winning key still lists the name, so a
// user's override that moves the name elsewhere is respected.
void resolve(ReverseTable& reverse, const TagMappingTable& forward, const std::string& name,
             const std::string& key) {
  auto it = forward.find(key);
  if (it != forward.end() &&
      std::find(it->second.begin(), it->second.end(), name) != it->second.end()) {
    reverse[name] = key;
  }
}

std::shared_ptr<const FormatTables> buildID3v2Tables() {
  TagMappingTable v4;
  for (const auto& row : builtInRows()) {
    if (!row.id3v2.empty()) {
      v4.emplace(row.key, row.id3v2);
    }
  }
  // iTunes 12.5 moved grouping to GRP1 and put the work in TIT1; other
  // players still read TIT1 as the grouping.
  if (UserDefaults::standard().boolForKey(kITunesWorkMovementCompatibilityKey)) {
    v4["WORK"] = {"TIT1"};
    v4["GROUPING"] = {"GRP1"};
  } else {
    v4["GROUPING"] = {"TIT1"};
  }
  TagMappingTable v3 = v4;
  v3["INVOLVEDPEOPLELIST"] = {"IPLS"};
  v3["ORIGINALRELEASEDATE"] = {"TORY"};

  auto tables = std::make_shared<FormatTables>();
  addToReverse(tables->reverse, v4, true);
  addToReverse(tables->reverse, v3, true);  // IPLS and TORY read as well
  tables->reverse["TDRC"] = "YEAR";         // also listed under DATE
  tables->forward = std::make_shared<const TagMappingTable>(std::move(v4));
  tables->forwardV3 = std::make_shared<const TagMappingTable>(std::move(v3));
  return tables;
}

std::shared_ptr<const FormatTables> buildTables(TagFormat format) {
  if (format == TagFormat::ID3v2) {
    return buildID3v2Tables();
  }
  TagMappingTable forward = buildOverridableTable(format);
  auto tables = std::make_shared<FormatTables>();
  addToReverse(tables->reverse, forward, isCaseInsensitive(format));
  if (format == TagFormat::MP4) {
    resolve(tables->reverse, forward, "©day", "YEAR");         // also listed under DATE
    resolve(tables->reverse, forward, "trkn", "TRACKNUMBER");  // also under TRACKTOTAL
  } else if (format == TagFormat::ASF) {
    resolve(tables->reverse, forward, "WM/PartOfSet", "DISCNUMBER");  // also under DISCTOTAL
  }
  tables->forward = std::make_shared<const TagMappingTable>(std::move(forward));
  return tables;
}

// The current tables of `format`, built first when stale. Building happens
// into a fresh object that is published whole, so no reader sees it half-done.
std::shared_ptr<const FormatTables> tablesFor(TagFormat format) {
  FormatCache& cache = cacheFor(format);
  if (auto tables = cache.load()) {
    return tables;
  }
  std::lock_guard lock(cache.buildMutex());
  auto tables = cache.load();
  if (!tables) {
    tables = buildTables(format);
    cache.store(tables);
  }
  return tables;
}

const std::string* firstName(const TagMappingTable& table, const std::string& key) {
  auto it = table.find(key);
  if (it == table.end() || it->second.empty()) {
    return nullptr;
  }
  return &it->second.front();
}

std::string reverseLookup(TagFormat format, const std::string& name) {
  auto tables = tablesFor(format);
  auto it = tables->reverse.find(isCaseInsensitive(format) ? uppercaseTagName(name) : name);
  return it != tables->reverse.end() ? it->second : name;
}

}  // namespace

std::string_view tagMappingSettingPrefix(TagFormat format) {
  switch (format) {
    case TagFormat::ID3v2:
      return {};
    case TagFormat::MP4:
      return "MP4Tag_";
    case TagFormat::ASF:
      return "ASFTag_";
    case TagFormat::APE:
      return "APETag_";
    case TagFormat::Vorbis:
      return "VorbisTag_";
    case TagFormat::INFO:
      return "INFOTag_";
  }
  return {};
}

TagMappingSnapshot apeTagMappings() { return tablesFor(TagFormat::APE)->forward; }
TagMappingSnapshot asfTagMappings() { return tablesFor(TagFormat::ASF)->forward; }
TagMappingSnapshot mp4TagMappings() { return tablesFor(TagFormat::MP4)->forward; }
TagMappingSnapshot vorbisTagMappings() { return tablesFor(TagFormat::Vorbis)->forward; }
TagMappingSnapshot infoTagMappings() { return tablesFor(TagFormat::INFO)->forward; }

TagMappingSnapshot id3v2TagMappings(int majorVersion) {
  auto tables = tablesFor(TagFormat::ID3v2);
  return majorVersion == 3 ? tables->forwardV3 : tables->forward;
}

TagMappingSnapshot tagMappings(TagFormat format, int id3v2MajorVersion) {
  if (format == TagFormat::ID3v2) {
    return id3v2TagMappings(id3v2MajorVersion);
  }
  return tablesFor(format)->forward;
}

std::string apeItemKeyForKey(const std::string& key) {
  auto table = apeTagMappings();
  const std::string* name = firstName(*table, key);
  return uppercaseTagName(name ? *name : key);
}

std::string asfAttributeNameForKey(const std::string& key) {
  auto table = asfTagMappings();
  const std::string* name = firstName(*table, key);
  return name ? *name : key;
}

std::string id3v2FrameIdForKey(const std::string& key, int majorVersion) {
  auto table = id3v2TagMappings(majorVersion);
  if (const std::string* frameId = firstName(*table, key)) {
    return *frameId;
  }
  // WORK without the iTunes switch has no frame of its own.
  if (key == "WORK" || characterCount(key) != 4) {
    return "TXXX";
  }
  // Text and URL frames are all alike, so an unknown id of those families can
  // be written as it is; GRP1 is the one non-standard id worth passing on.
  if (key.starts_with('T') || key.starts_with('W') || key.starts_with("GRP")) {
    return key;
  }
  return "TXXX";
}

std::string txxxDescriptionForKey(const std::string& key) {
  for (const auto& [k, description] : kTXXXDescriptions) {
    if (key == k) {
      return description;
    }
  }
  return key;
}

std::string mp4AtomForKey(const std::string& key) {
  // Apple's own atoms are "©" plus three letters; a key of that shape is an atom.
  if (characterCount(key) == 4 && key.starts_with("\xC2\xA9")) {
    return key;
  }
  auto table = mp4TagMappings();
  if (const std::string* atom = firstName(*table, key)) {
    return *atom;
  }
  return std::string(kITunesFreeformPrefix) + key;
}

std::string vorbisFieldForKey(const std::string& key) {
  auto table = vorbisTagMappings();
  const std::string* name = firstName(*table, key);
  return uppercaseTagName(name ? *name : key);
}

std::optional<std::string> infoChunkIdForKey(const std::string& key) {
  auto table = infoTagMappings();
  const std::string* name = firstName(*table, key);
  // A canonical key that INFO has no chunk for is left out rather than
  // written under a made-up chunk ("MOOD", "DATE"); only keys of the user's
  // own stand for themselves.
  if (name == nullptr && isCanonicalTagKey(key)) {
    return std::nullopt;
  }
  const std::string& id = name ? *name : key;
  if (characterCount(id) != 4) {
    return std::nullopt;
  }
  return uppercaseTagName(id);
}

std::string keyForAPEItemKey(const std::string& itemKey) {
  return reverseLookup(TagFormat::APE, itemKey);
}

std::string keyForASFAttributeName(const std::string& attributeName) {
  return reverseLookup(TagFormat::ASF, attributeName);
}

std::string keyForID3v2FrameId(const std::string& frameId,
                               const std::optional<std::string>& description) {
  if (description) {
    for (const auto& [key, text] : kTXXXDescriptions) {
      if (*description == text) {
        return key;
      }
    }
    return *description;
  }
  return reverseLookup(TagFormat::ID3v2, frameId);
}

std::string keyForMP4Atom(const std::string& atom) {
  auto tables = tablesFor(TagFormat::MP4);
  auto it = tables->reverse.find(atom);
  if (it != tables->reverse.end()) {
    return it->second;
  }
  // A freeform atom names its key after the prefix; a bare prefix names none.
  if (atom.size() > kITunesFreeformPrefix.size() && atom.starts_with(kITunesFreeformPrefix)) {
    return atom.substr(kITunesFreeformPrefix.size());
  }
  return atom;
}

std::string keyForVorbisField(const std::string& fieldName) {
  return reverseLookup(TagFormat::Vorbis, fieldName);
}

std::string keyForINFOChunkId(const std::string& chunkId) {
  return reverseLookup(TagFormat::INFO, chunkId);
}

void tagMappingsDidChange(TagFormat format) {
  FormatCache& cache = cacheFor(format);
  std::lock_guard lock(cache.buildMutex());
  // Stale first, so that nothing can publish a table from the old settings
  // after this point; readers that arrive meanwhile wait for the new one.
  cache.store(nullptr);
  cache.store(buildTables(format));
}

std::string mp4AtomNameFromTagLib(const TagLib::String& name) { return name.to8Bit(true); }

TagLib::String mp4AtomNameToTagLib(const std::string& name) {
  return TagLib::String(name, TagLib::String::UTF8);
}

std::string mp4AtomNameFromLatin1(std::string_view latin1) {
  std::string result;
  result.reserve(latin1.size() + 2);
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      result.push_back(static_cast<char>(c));
    } else {
      result.push_back(static_cast<char>(0xC0 | (c >> 6)));
      result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return result;
}

std::optional<std::string> mp4AtomNameToLatin1(std::string_view name) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  const auto length = static_cast<std::int32_t>(name.size());
  std::string result;
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0 || c > 0xFF) {
      return std::nullopt;
    }
    result.push_back(static_cast<char>(c));
  }
  return result;
}

}  // namespace quorvel
