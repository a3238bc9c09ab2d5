#include "model/TagMappings.h"

#include <gtest/gtest.h>
#include <taglib/tstring.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <sstream>
#include <thread>

#include "model/TagKeys.h"
#include "platform/UserDefaults.h"

namespace quorvel {
namespace {

// The reference mapping table, one row per canonical key: key, display name,
// ID3v2 (the ID3v2.4 frames; "(2.3: ...)" marks the ID3v2.3 replacement, and
// "(switch ...)" the frames that follow iTunesWorkMovementCompatibility), MP4,
// Vorbis comment, APE, ASF, RIFF INFO. Several names in a cell are in written
// order; "—" means none. Kept in this textual form on purpose: it is typed
// independently of the table in the source, so a slip in either shows up.
constexpr const char* kReferenceTable = R"TABLE(
| "ALBUM" | "Album" | "TALB" | "©alb" | "ALBUM" | "ALBUM" | "WM/AlbumTitle" | "IPRD" |
| "ALBUMARTIST" | "Album Artist" | "TPE2" | "aART" | "ALBUMARTIST", "ALBUM ARTIST" | "ALBUMARTIST", "ALBUM ARTIST" | "WM/AlbumArtist" | "IAAR", "ISBJ" |
| "ALBUMARTISTSORTORDER" | "Sort Album Artist" | "TSO2" | "soaa" | "ALBUMARTISTSORT" | "ALBUMARTISTSORT" | "ALBUMARTISTSORTORDER" | — |
| "ALBUMSORTORDER" | "Sort Album" | "TSOA" | "soal" | "ALBUMSORT" | "ALBUMSORT" | "WM/AlbumSortOrder" | — |
| "ARTISTSORTORDER" | "Sort Track Artist" | "TSOP" | "soar" | "ARTISTSORT" | "ARTISTSORT" | "ARTISTSORTORDER" | — |
| "ARTWORK" | "Artwork" | "APIC", "PIC" | "covr" | "METADATA_BLOCK_PICTURE" | "COVER ART (FRONT)", "COVER ART (BACK)", "APIC" | "WM/Picture" | — |
| "ASIN" | "ASIN" | — | — | "ASIN" | "ASIN" | "WM/ASIN" | — |
| "BARCODE" | "Barcode" | — | — | "BARCODE" | "BARCODE" | "WM/Barcode" | — |
| "BPM" | "BPM" | "TBPM" | "tmpo" | "BPM" | "BPM" | "WM/BeatsPerMinute", "WM/BPM" | "IBPM" |
| "COMMENTS" | "Comments" | "COMM" | "©cmt" | "DESCRIPTION", "COMMENT" | "COMMENT" | — | "ICMT", "COMM", "CMNT" |
| "COMPOSER" | "Composer" | "TCOM" | "©wrt" | "COMPOSER" | "COMPOSER" | "WM/Composer" | "IMUS" |
| "COMPOSERSORTORDER" | "Sort Composer" | "TSOC" | "soco" | "COMPOSERSORT" | "COMPOSERSORT" | "COMPOSERSORTORDER" | — |
| "CONDUCTOR" | "Conductor" | "TPE3" | "cond" | "CONDUCTOR" | "CONDUCTOR" | "WM/Conductor" | "ITCH" |
| "COPYRIGHT" | "Copyright" | "TCOP" | "cprt" | "COPYRIGHT" | "COPYRIGHT" | — | "ICOP" |
| "DATE" | "Date" | "TDRC", "TDAT" | "©day" | — | — | — | — |
| "DESCRIPTION" | "Description" | — | "desc" | — | "DESCRIPTION" | "DESCRIPTION" | — |
| "DISCNUMBER" | "Disc Number" | "TPOS" | "disk" | "DISCNUMBER" | "DISCNUMBER" | "WM/PartOfSet" | "IFRM" |
| "DISCTOTAL" | "Disc Total" | — | — | "DISCTOTAL" | "DISCTOTAL" | "WM/PartOfSet", "WM/DiscTotal" | — |
| "ENCODEDBY" | "Encoded By" | "TENC" | "©too" | "ENCODEDBY", "ENCODED BY", "ENCODER" | "ENCODEDBY" | "WM/EncodedBy" | "ISFT", "CODE" |
| "ENCODERSETTINGS" | "Encoder Settings" | "TSSE" | — | "ENCODING" | "ENCODING" | "WM/EncodingSettings" | — |
| "ENCODINGTIME" | "Encoding Time" | "TDEN" | — | "ENCODINGTIME" | "ENCODINGTIME" | "WM/EncodingTime" | — |
| "EPISODEGLOBALID" | "Episode Global ID" | — | "egid" | — | — | — | — |
| "FILEOWNER" | "File Owner" | "TOWN" | — | "FILEOWNER" | "FILEOWNER" | "FILEOWNER" | — |
| "FILETYPE" | "File Type" | "TFLT" | — | "FILETYPE" | "FILETYPE" | "FILETYPE" | — |
| "GAPLESS" | "Gapless " | — | "pgap" | "GAPLESS" | "GAPLESS" | "GAPLESS" | — |
| "GENRE" | "Genre" | "TCON" | "©gen" | "GENRE" | "GENRE" | "WM/Genre" | "IGNR", "GENR" |
| "GROUPING" | "Grouping" | "GRP1" (switch on), "TIT1" (switch off) | "©grp" | "GROUPING" | "GROUPING" | "WM/ContentGroupDescription" | "ISRF" |
| "INTERNETSTATIONNAME" | "Internet Station Name" | "TRSN" | — | "INTERNETSTATIONNAME" | "INTERNETSTATIONNAME" | "WM/RadioStationName" | — |
| "INTERNETSTATIONOWNER" | "Internet Stationn Owner" | "TRSO" | — | "INTERNETSTATIONOWNER" | "INTERNETSTATIONOWNER" | "WM/RadioStationOwner" | — |
| "INVOLVEDPEOPLELIST" | "Involved People List" | "TIPL" (2.3: "IPLS") | — | "INVOLVEDPEOPLELIST" | "INVOLVEDPEOPLELIST" | "INVOLVEDPEOPLELIST" | — |
| "ISRC" | "ISRC" | "TSRC" | — | "ISRC" | "ISRC" | "WM/ISRC" | "ISRC" |
| "ITUNESACCOUNT" | "iTunes Account" | — | "apID" | "ITUNESACCOUNT" | "ITUNESACCOUNT" | "ITUNESACCOUNT" | — |
| "ITUNESARTISTID" | "iTunes Artist ID" | — | "atID" | — | — | — | — |
| "ITUNESCATALOGID" | "iTunes Catalog ID" | — | "cnID" | — | — | — | — |
| "ITUNESGENREID" | "iTunes Genre ID" | — | "geID" | — | — | — | — |
| "ITUNESMEDIATYPE" | "iTunes Media Type" | — | "stik" | — | — | — | — |
| "ITUNESPLAYLISTID" | "iTunes Playlist ID" | — | "plID" | — | — | — | — |
| "ITUNESPURCHASEDATE" | "iTunes Purchase Date" | — | "purd" | "ITUNESPURCHASEDATE" | "ITUNESPURCHASEDATE" | "ITUNESPURCHASEDATE" | — |
| "ITUNESSTOREFRONTID" | "iTunes Store Front ID" | — | "sfID" | — | — | — | — |
| "ITUNMOVI" | "iTunMOVI" | — | "----:com.apple.iTunes:iTunMOVI" | "ITUNMOVI" | "ITUNMOVI" | "ITUNMOVI" | — |
| "ITUNNORM" | "iTunNORM" | — | "----:com.apple.iTunes:iTunNORM" | "ITUNNORM" | "ITUNNORM" | "ITUNNORM" | — |
| "ITUNSMPB" | "iTunSMPB" | — | "----:com.apple.iTunes:iTunSMPB" | "ITUNSMPB" | "ITUNSMPB" | "ITUNSMPB" | — |
| "KEY" | "Key" | "TKEY" | "----:com.apple.iTunes:initialkey" | "KEY" | "KEY" | "WM/InitialKey" | — |
| "LANGUAGE" | "Language" | "TLAN" | — | "LANGUAGE" | "LANGUAGE" | "WM/Language" | "ILNG" |
| "LENGTH" | "Length" | "TLEN" | — | "LENGTH" | "LENGTH" | "LENGTH" | — |
| "LONGDESCRIPTION" | "Long Description" | — | "ldes" | "LONGDESCRIPTION" | "LONGDESCRIPTION" | "LONGDESCRIPTION" | — |
| "LYRICIST" | "Lyricist" | "TEXT" | — | "LYRICIST" | "LYRICIST" | "WM/Writer" | "IWRI" |
| "LYRICS" | "Lyrics" | "USLT" | "©lyr" | "LYRICS" | "LYRICS" | "WM/Lyrics" | — |
| "MEDIA" | "Media" | "TMED" | — | "MEDIA" | "MEDIA" | "MEDIA" | — |
| "MOOD" | "Mood" | "TMOO" | — | "MOOD" | "MOOD" | "WM/Mood" | — |
| "MOVEMENTNAME" | "Movement Name" | "MVNM" | "©mvn" | "MOVEMENTNAME" | "MOVEMENTNAME" | "WM/MovementName" | — |
| "MOVEMENTNUMBER" | "Movement Number" | "MVIN" | "©mvi" | "MOVEMENT", "MOVEMENTNUMBER" | "MOVEMENT", "MOVEMENTNUMBER" | "WM/Movement", "WM/MovementNumber" | — |
| "MOVEMENTTOTAL" | "Movement Total" | — | "©mvc" | "MOVEMENTTOTAL" | "MOVEMENTTOTAL" | "WM/MovementTotal" | — |
| "MUSICBRAINZ_ALBUMARTISTID" | "MusicBrainz Album Artist ID" | — | "----:com.apple.iTunes:MusicBrainz Album Artist Id" | "MUSICBRAINZ_ALBUMARTISTID" | "MUSICBRAINZ_ALBUMARTISTID" | "MusicBrainz/Album Artist Id" | — |
| "MUSICBRAINZ_ALBUMID" | "MusicBrainz Album ID" | — | "----:com.apple.iTunes:MusicBrainz Album Id" | "MUSICBRAINZ_ALBUMID" | "MUSICBRAINZ_ALBUMID" | "MusicBrainz/Album Id" | — |
| "MUSICBRAINZ_ARTISTID" | "MusicBrainz Artist ID" | — | "----:com.apple.iTunes:MusicBrainz Artist Id" | "MUSICBRAINZ_ARTISTID" | "MUSICBRAINZ_ARTISTID" | "MusicBrainz/Artist Id" | — |
| "MUSICBRAINZ_RELEASEGROUPID" | "MusicBrainz Release Group ID" | — | "----:com.apple.iTunes:MusicBrainz Release Group Id" | "MUSICBRAINZ_RELEASEGROUPID" | "MUSICBRAINZ_RELEASEGROUPID" | "MusicBrainz/Release Group Id" | — |
| "MUSICBRAINZ_TRACKID" | "MusicBrainz Track ID" | "UFID" | "----:com.apple.iTunes:MusicBrainz Track Id" | "MUSICBRAINZ_TRACKID" | "MUSICBRAINZ_TRACKID" | "MusicBrainz/Track Id" | — |
| "MUSICIANCREDITS" | "Musician Credits" | "TMCL" | — | "MUSICIANCREDITS" | "MUSICIANCREDITS" | "MUSICIANCREDITS" | — |
| "ORIGINALALBUMTITLE" | "Original Album Title" | "TOAL" | "----:com.apple.iTunes:ORIGINALALBUM" | "ORIGINALALBUM" | "ORIGINALALBUM" | "WM/OriginalAlbumTitle" | — |
| "ORIGINALARTIST" | "Original Artist" | "TOPE" | "©ope" | "ORIGINALARTIST" | "ORIGINALARTIST" | "WM/OriginalArtist" | — |
| "ORIGINALFILENAME" | "Original File Name" | "TOFN" | — | "ORIGINALFILENAME" | "ORIGINALFILENAME" | "WM/OriginalFilename" | — |
| "ORIGINALLYRICIST" | "Original Lyricist" | "TOLY" | "olyr" | "ORIGINALLYRICIST" | "ORIGINALLYRICIST" | "WM/OriginalLyricist" | — |
| "ORIGINALRELEASEDATE" | "Original Release Date" | "TDOR" (2.3: "TORY") | — | "ORIGINALRELEASEDATE" | "ORIGINALRELEASEDATE" | "ORIGINALRELEASEDATE" | — |
| "PARTOFACOMPILATION" | "Part Of A Compilation" | "TCMP" | "cpil" | "PARTOFACOMPILATION" | "PARTOFACOMPILATION" | "WM/IsCompilation" | — |
| "PLAYLISTDELAY" | "Playlist Delay" | "TDLY" | — | "PLAYLISTDELAY" | "PLAYLISTDELAY" | "WM/PlaylistDelay" | — |
| "PODCAST" | "Podcast" | "PCST" | "pcst" | — | — | — | — |
| "PODCASTDESCRIPTION" | "Podcast Description" | "TDES" | — | — | — | — | — |
| "PODCASTID" | "Podcast ID" | "TGID" | — | — | — | — | — |
| "PODCASTURL" | "Podcast URL" | "WFED" | "purl" | — | — | — | — |
| "PRODUCEDNOTICE" | "Podcast Notice" | "TPRO" | — | "PRODUCEDNOTICE" | "PRODUCEDNOTICE" | "PRODUCEDNOTICE" | — |
| "PUBLISHER" | "Publisher" | "TPUB" | "----:com.apple.iTunes:LABEL" | "LABEL" | "LABEL" | "WM/Publisher" | "ICMS", "TORG" |
| "RATING" | "Rating" | "POPM" | "rtng" | "RATING" | "RATING" | "WM/SharedUserRating" | "ISHP" |
| "RELEASECOUNTRY" | "Release Country" | — | "----:com.apple.iTunes:MusicBrainz Album Release Country" | "RELEASECOUNTRY" | "RELEASECOUNTRY" | "MusicBrainz/Album Release Country" | — |
| "RELEASESTATUS" | "Release Status" | — | "----:com.apple.iTunes:MusicBrainz Album Status" | "RELEASESTATUS" | "MUSICBRAINZ_ALBUMSTATUS" | "MusicBrainz/Album Status" | — |
| "RELEASETIME" | "Release Time" | "TDRL" | — | "RELEASETIME" | "RELEASETIME" | "RELEASETIME" | — |
| "RELEASETYPE" | "Release Type" | — | "----:com.apple.iTunes:MusicBrainz Album Type" | "RELEASETYPE" | "MUSICBRAINZ_ALBUMTYPE" | "MusicBrainz/Album Type" | — |
| "REMIXARTIST" | "Remix Artist" | "TPE4" | "rmix" | "REMIXARTIST" | "REMIXARTIST" | "REMIXARTIST" | "IEDT", "IRTD" |
| "SCRIPT" | "Script" | — | — | "SCRIPT" | "SCRIPT" | "WM/Script" | — |
| "SETSUBTITLE" | "Set Subtitle" | "TSST" | — | "SETSUBTITLE" | "SETSUBTITLE" | "SETSUBTITLE" | — |
| "SHOWMOVEMENT" | "Show Movement" | — | "shwm" | "SHOWMOVEMENT" | "SHOWMOVEMENT" | "WM/ShowMovement" | — |
| "SUBTITLE" | "Subtitle" | "TIT3" | "subt" | "SUBTITLE" | "SUBTITLE" | "WM/SubTitle" | — |
| "TAGGINGTIME" | "Tagging Time" | "TDTG" | — | "TAGGINGTIME" | "TAGGINGTIME" | "TAGGINGTIME" | — |
| "TRACKARTIST" | "Track Artist" | "TPE1" | "©ART" | "ARTIST" | "ARTIST" | — | "IART", "ISTR" |
| "TRACKNUMBER" | "Track Number" | "TRCK" | "trkn" | "TRACKNUMBER", "TRACK", "TRACKNUM" | "TRACK", "TRACKNUMBER" | "WM/TrackNumber", "WM/Track" | "ITRK", "IPRT" |
| "TRACKTITLE" | "Track Title" | "TIT2" | "©nam" | "TITLE" | "TITLE" | — | "INAM" |
| "TRACKTITLESORTORDER" | "Sort Track Title" | "TSOT" | "sonm" | "TRACKTITLESORT" | "TRACKTITLESORT" | "WM/TitleSortOrder" | — |
| "TRACKTOTAL" | "Track Total" | — | "trkn" | "TRACKTOTAL", "TOTALTRACKS" | "TOTALTRACKS" | "WM/TrackTotal" | — |
| "TVEPISODE" | "TV Episode" | — | "tves" | — | — | — | — |
| "TVEPISODEID" | "TV Episode ID" | — | "tven" | — | — | — | — |
| "TVNETWORK" | "TV Network" | — | "tvnn" | — | — | — | — |
| "TVSEASON" | "TV Season" | — | "tvsn" | — | — | — | — |
| "TVSHOWNAME" | "TV Show Time" | — | "tvsh" | — | — | — | — |
| "WEBSITE" | "Website" | "WXXX" | "©url" | "URL", "WEBSITE" | "URL" | "WM/URL" | "IURL" |
| "WORK" | — | "TIT1" (switch on only) | "©wrk" | "WORK" | "WORK" | "WM/Work" | — |
| "YEAR" | "Year" | "TDRC", "TYER" | "©day" | "DATE", "YEAR" | "DATE", "YEAR" | "WM/Year" | "ICRD" |
)TABLE";

struct ReferenceRow {
  std::string key;
  std::optional<std::string> displayName;
  std::vector<std::pair<std::string, std::string>> id3v2;  // name, annotation
  std::map<TagFormat, std::vector<std::string>> names;     // every format but ID3v2
};

// A cell: "—", or quoted names separated by ", ", each maybe followed by a
// parenthesised annotation.
std::vector<std::pair<std::string, std::string>> parseCell(std::string_view cell) {
  std::vector<std::pair<std::string, std::string>> items;
  while (!cell.empty() && cell.front() == ' ') cell.remove_prefix(1);
  while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
  if (cell == "—") {
    return items;
  }
  std::size_t i = 0;
  while (i < cell.size()) {
    EXPECT_EQ(cell[i], '"') << cell;
    std::size_t close = cell.find('"', i + 1);
    std::string name(cell.substr(i + 1, close - i - 1));
    i = close + 1;
    std::string annotation;
    if (cell.substr(i).starts_with(" (")) {
      std::size_t end = cell.find(')', i);
      annotation = std::string(cell.substr(i + 2, end - i - 2));
      i = end + 1;
    }
    items.emplace_back(name, annotation);
    if (cell.substr(i).starts_with(", ")) {
      i += 2;
    } else {
      EXPECT_EQ(i, cell.size()) << cell;
      break;
    }
  }
  return items;
}

std::vector<std::string> namesOf(std::string_view cell) {
  std::vector<std::string> names;
  for (auto& [name, annotation] : parseCell(cell)) {
    EXPECT_EQ(annotation, "") << cell;
    names.push_back(name);
  }
  return names;
}

const std::vector<ReferenceRow>& referenceRows() {
  static const std::vector<ReferenceRow> rows = [] {
    std::vector<ReferenceRow> result;
    std::istringstream lines(kReferenceTable);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty()) continue;
      std::vector<std::string> cells;
      std::string_view rest(line);
      rest.remove_prefix(1);  // leading "|"
      for (std::size_t bar; (bar = rest.find(" |")) != std::string_view::npos;) {
        cells.emplace_back(rest.substr(0, bar));
        rest.remove_prefix(bar + 2);
      }
      EXPECT_EQ(cells.size(), 8u) << line;
      ReferenceRow row;
      row.key = namesOf(cells[0]).at(0);
      auto display = namesOf(cells[1]);
      if (!display.empty()) row.displayName = display[0];
      row.id3v2 = parseCell(cells[2]);
      row.names[TagFormat::MP4] = namesOf(cells[3]);
      row.names[TagFormat::Vorbis] = namesOf(cells[4]);
      row.names[TagFormat::APE] = namesOf(cells[5]);
      row.names[TagFormat::ASF] = namesOf(cells[6]);
      row.names[TagFormat::INFO] = namesOf(cells[7]);
      result.push_back(std::move(row));
    }
    return result;
  }();
  return rows;
}

// The reference ID3v2 frames of a row for one version and switch position.
std::vector<std::string> referenceID3v2(const ReferenceRow& row, int major, bool switchOn) {
  std::vector<std::string> frames;
  for (const auto& [name, annotation] : row.id3v2) {
    if (annotation.empty()) {
      frames.push_back(name);
    } else if (annotation == "switch on" || annotation == "switch on only") {
      if (switchOn) frames.push_back(name);
    } else if (annotation == "switch off") {
      if (!switchOn) frames.push_back(name);
    } else if (annotation.starts_with("2.3: \"")) {
      frames.push_back(major == 3 ? annotation.substr(6, annotation.size() - 7) : name);
    } else {
      ADD_FAILURE() << "unknown annotation " << annotation;
    }
  }
  return frames;
}

TagMappingTable referenceTable(TagFormat format, int major = 4, bool switchOn = false) {
  TagMappingTable table;
  for (const auto& row : referenceRows()) {
    auto names =
        format == TagFormat::ID3v2 ? referenceID3v2(row, major, switchOn) : row.names.at(format);
    if (!names.empty()) table[row.key] = names;
  }
  return table;
}

const std::vector<TagFormat> kAllFormats = {TagFormat::ID3v2, TagFormat::MP4,    TagFormat::ASF,
                                            TagFormat::APE,   TagFormat::Vorbis, TagFormat::INFO};

void refreshAllTables() {
  for (TagFormat format : kAllFormats) tagMappingsDidChange(format);
}

// A setting for the length of a test, taken back afterwards; the tables are
// rebuilt both times so no other test sees it.
class ScopedSetting {
 public:
  ScopedSetting(std::string key, PlistValue value) : key_(std::move(key)) {
    UserDefaults::standard().setVolatileValue(value, key_);
    refreshAllTables();
  }
  ~ScopedSetting() {
    UserDefaults::standard().setVolatileValue(PlistValue(), key_);
    refreshAllTables();
  }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  std::string key_;
};

// Compares a built table with the reference cell by cell, naming the cell.
void expectSameTable(const TagMappingTable& actual, const TagMappingTable& expected,
                     const std::string& what) {
  for (const auto& key : allTagKeys()) {
    auto a = actual.find(key);
    auto e = expected.find(key);
    std::vector<std::string> none;
    EXPECT_EQ(a == actual.end() ? none : a->second, e == expected.end() ? none : e->second)
        << what << " row " << key;
  }
  EXPECT_EQ(actual.size(), expected.size()) << what << " has keys beyond the canonical ones";
}

std::string keyFor(TagFormat format, const std::string& name) {
  switch (format) {
    case TagFormat::ID3v2:
      return keyForID3v2FrameId(name);
    case TagFormat::MP4:
      return keyForMP4Atom(name);
    case TagFormat::ASF:
      return keyForASFAttributeName(name);
    case TagFormat::APE:
      return keyForAPEItemKey(name);
    case TagFormat::Vorbis:
      return keyForVorbisField(name);
    case TagFormat::INFO:
      return keyForINFOChunkId(name);
  }
  return {};
}

std::string lowercased(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(TagKeys, KeyListsAndDisplayNames) {
  const auto& keys = allTagKeys();
  ASSERT_EQ(keys.size(), 96u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  ASSERT_EQ(referenceRows().size(), 96u);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto& row = referenceRows()[i];
    EXPECT_EQ(keys[i], row.key);
    EXPECT_EQ(tagDisplayName(row.key), row.displayName.value_or(row.key)) << row.key;
  }
  EXPECT_EQ(tagDisplayName("album"), "Album");
  EXPECT_EQ(tagDisplayName("My Own Tag"), "My Own Tag");

  const auto& mappable = mappableInternalKeys();
  EXPECT_EQ(mappable.size(), 70u);
  for (const auto& key : keys) {
    bool excluded = key == "EPISODEGLOBALID" || key.starts_with("ITUN") ||
                    key.starts_with("MUSICBRAINZ_") || key.starts_with("PODCAST") ||
                    key.starts_with("TV");
    EXPECT_NE(std::count(mappable.begin(), mappable.end(), key), excluded ? 1 : 0) << key;
  }
}

TEST(TagKeys, Descriptions) {
  EXPECT_EQ(tagDescription("year"), "The year the track was released.");
  EXPECT_EQ(tagDescription("WORK"), "WORK");
  EXPECT_EQ(tagDescription("_FILESIZE"), "_FILESIZE");
  std::set<std::string> seen;
  for (const auto& key : allTagKeys()) {
    if (key == "WORK") continue;
    std::string description = tagDescription(key);
    if (key.starts_with("MUSICBRAINZ_")) {
      EXPECT_EQ(description, tagDisplayName(key));
      continue;
    }
    // One sentence of its own for every key.
    EXPECT_NE(description, key);
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(description.front()))) << key;
    EXPECT_EQ(description.back(), '.') << key;
    EXPECT_TRUE(seen.insert(description).second) << key << " repeats a description";
  }
}

TEST(TagMappings, ForwardTablesMatchTheReferenceCellByCell) {
  ScopedSetting off(kITunesWorkMovementCompatibilityKey, PlistValue(false));
  for (TagFormat format :
       {TagFormat::MP4, TagFormat::ASF, TagFormat::APE, TagFormat::Vorbis, TagFormat::INFO}) {
    expectSameTable(*tagMappings(format), referenceTable(format),
                    std::string(tagMappingSettingPrefix(format)));
  }
  for (bool on : {false, true}) {
    ScopedSetting choice(kITunesWorkMovementCompatibilityKey, PlistValue(on));
    std::string state = on ? " (switch on)" : " (switch off)";
    expectSameTable(*id3v2TagMappings(4), referenceTable(TagFormat::ID3v2, 4, on),
                    "ID3v2.4" + state);
    expectSameTable(*id3v2TagMappings(3), referenceTable(TagFormat::ID3v2, 3, on),
                    "ID3v2.3" + state);
    expectSameTable(*id3v2TagMappings(2), referenceTable(TagFormat::ID3v2, 4, on),
                    "ID3v2.2 uses 2.4" + state);
  }
}

TEST(TagMappings, EveryListedNameReadsBackToItsKey) {
  // Names listed under two keys, and the key each must read as.
  const std::map<std::pair<TagFormat, std::string>, std::string> resolutions = {
      {{TagFormat::ID3v2, "TDRC"}, "YEAR"},
      {{TagFormat::MP4, "©day"}, "YEAR"},
      {{TagFormat::MP4, "trkn"}, "TRACKNUMBER"},
      {{TagFormat::ASF, "WM/PartOfSet"}, "DISCNUMBER"},
  };
  for (bool on : {false, true}) {
    ScopedSetting choice(kITunesWorkMovementCompatibilityKey, PlistValue(on));
    for (TagFormat format : kAllFormats) {
      std::map<std::string, std::set<std::string>> keysOfName;
      for (int major : {3, 4}) {
        for (const auto& [key, names] : referenceTable(format, major, on)) {
          for (const auto& name : names) keysOfName[name].insert(key);
        }
        if (format != TagFormat::ID3v2) break;
      }
      for (const auto& [name, keys] : keysOfName) {
        std::string expected = *keys.begin();
        if (keys.size() > 1) {
          auto it = resolutions.find({format, name});
          ASSERT_NE(it, resolutions.end()) << name << " stands under several keys";
          expected = it->second;
        }
        EXPECT_EQ(keyFor(format, name), expected) << name;
        bool caseInsensitive = format != TagFormat::MP4 && format != TagFormat::ASF;
        std::string lower = lowercased(name);
        if (caseInsensitive) {
          EXPECT_EQ(keyFor(format, lower), expected) << lower;
        } else if (lower != name && keysOfName.count(lower) == 0) {
          EXPECT_EQ(keyFor(format, lower), lower);
        }
      }
    }
  }
}

TEST(TagMappings, ReverseLookups) {
  ScopedSetting off(kITunesWorkMovementCompatibilityKey, PlistValue(false));
  // Names the tables do not list pass through as they are.
  EXPECT_EQ(keyForID3v2FrameId("GRP1"), "GRP1");
  EXPECT_EQ(keyForID3v2FrameId("WOAR"), "WOAR");
  EXPECT_EQ(keyForID3v2FrameId("woar"), "woar");

  EXPECT_EQ(keyForID3v2FrameId("TXXX", "MusicBrainz Album Id"), "MUSICBRAINZ_ALBUMID");
  EXPECT_EQ(keyForID3v2FrameId("TXXX", "musicbrainz album id"), "musicbrainz album id");
  EXPECT_EQ(keyForID3v2FrameId("TXXX", "MusicBrainz Album Type"), "RELEASETYPE");
  EXPECT_EQ(keyForID3v2FrameId("TXXX", "My Rating"), "My Rating");
  EXPECT_EQ(keyForID3v2FrameId("TXXX"), "TXXX");

  EXPECT_EQ(keyForMP4Atom("----:com.apple.iTunes:MOOD"), "MOOD");
  EXPECT_EQ(keyForMP4Atom("----:com.apple.iTunes:"), "----:com.apple.iTunes:");
  EXPECT_EQ(keyForMP4Atom("----:org.example:MOOD"), "----:org.example:MOOD");
  EXPECT_EQ(keyForMP4Atom("xyzw"), "xyzw");
  EXPECT_EQ(keyForMP4Atom("©ALB"), "©ALB");

  EXPECT_EQ(keyForAPEItemKey("My Item"), "My Item");
  EXPECT_EQ(keyForVorbisField("Replaygain_Track_Gain"), "Replaygain_Track_Gain");
  EXPECT_EQ(keyForINFOChunkId("Ixyz"), "Ixyz");

  // The editing chains: every lookup passes canonical keys through, except the
  // two Vorbis names of other keys.
  for (const auto& key : allTagKeys()) {
    std::string plain = keyForID3v2FrameId(keyForMP4Atom(key));
    EXPECT_EQ(plain, key);
    std::string edited = keyForAPEItemKey(
        keyForASFAttributeName(keyForID3v2FrameId(keyForMP4Atom(keyForVorbisField(key)))));
    EXPECT_EQ(edited, key == "DATE" ? "YEAR" : key == "DESCRIPTION" ? "COMMENTS" : key);
  }
}

TEST(TagMappings, NamesToWrite) {
  ScopedSetting off(kITunesWorkMovementCompatibilityKey, PlistValue(false));
  // Keys no table lists: frame ids that look like text or link frames stay.
  EXPECT_EQ(id3v2FrameIdForKey("TABC", 4), "TABC");
  EXPECT_EQ(id3v2FrameIdForKey("WABC", 3), "WABC");
  EXPECT_EQ(id3v2FrameIdForKey("GRP1", 4), "GRP1");
  EXPECT_EQ(id3v2FrameIdForKey("XABC", 4), "TXXX");
  EXPECT_EQ(id3v2FrameIdForKey("TAB", 4), "TXXX");
  EXPECT_EQ(id3v2FrameIdForKey("", 4), "TXXX");
  EXPECT_EQ(txxxDescriptionForKey("MUSICBRAINZ_RELEASEGROUPID"), "MusicBrainz Release Group Id");
  EXPECT_EQ(txxxDescriptionForKey("WORK"), "WORK");
  EXPECT_EQ(mp4AtomForKey("©xyz"), "©xyz");
  EXPECT_EQ(mp4AtomForKey("©xyzw"), "----:com.apple.iTunes:©xyzw");
  EXPECT_EQ(infoChunkIdForKey("abcd"), "ABCD");
  EXPECT_EQ(infoChunkIdForKey("abcde"), std::nullopt);
  EXPECT_EQ(vorbisFieldForKey("my field"), "MY FIELD");
  EXPECT_EQ(apeItemKeyForKey("my item"), "MY ITEM");
  EXPECT_EQ(asfAttributeNameForKey("my attribute"), "my attribute");

  // Every canonical key writes its first listed name; ID3v2.2 writes as 2.4.
  for (bool on : {false, true}) {
    ScopedSetting choice(kITunesWorkMovementCompatibilityKey, PlistValue(on));
    for (const auto& row : referenceRows()) {
      for (int major : {2, 3, 4}) {
        auto frames = referenceID3v2(row, major == 3 ? 3 : 4, on);
        EXPECT_EQ(id3v2FrameIdForKey(row.key, major), frames.empty() ? "TXXX" : frames.front())
            << row.key << " 2." << major << (on ? " switch on" : "");
      }
    }
  }
  for (const auto& row : referenceRows()) {
    auto first = [&](TagFormat f) -> std::optional<std::string> {
      const auto& names = row.names.at(f);
      return names.empty() ? std::nullopt : std::optional(names.front());
    };
    EXPECT_EQ(apeItemKeyForKey(row.key), first(TagFormat::APE).value_or(row.key));
    EXPECT_EQ(asfAttributeNameForKey(row.key), first(TagFormat::ASF).value_or(row.key));
    EXPECT_EQ(vorbisFieldForKey(row.key), first(TagFormat::Vorbis).value_or(row.key));
    EXPECT_EQ(mp4AtomForKey(row.key),
              first(TagFormat::MP4).value_or("----:com.apple.iTunes:" + row.key));
    EXPECT_EQ(infoChunkIdForKey(row.key), first(TagFormat::INFO)) << row.key;
  }
}

TEST(TagMappings, OverridesReplaceTheBuiltInNames) {
  auto before = vorbisTagMappings();
  {
    UserDefaults::standard().setVolatileValue(PlistValue(" Title ,\n NAME\t"),
                                              "VorbisTag_TRACKTITLE");
    // Not taken until the tables are told.
    EXPECT_EQ(keyForVorbisField("NAME"), "NAME");
    ScopedSetting andRebuild("MP4Tag_TVSHOWNAME", PlistValue("tvsh, ----:com.apple.iTunes:SHOW"));
    UserDefaults::standard().setVolatileValue(PlistValue(), "VorbisTag_TRACKTITLE");
    // Taken at the rebuild, not read again at each lookup.
    EXPECT_EQ(vorbisTagMappings()->at("TRACKTITLE"), (std::vector<std::string>{"Title", "NAME"}));
    EXPECT_EQ(vorbisFieldForKey("TRACKTITLE"), "TITLE");
    EXPECT_EQ(keyForVorbisField("name"), "TRACKTITLE");
    EXPECT_EQ(keyForVorbisField("TITLE"), "TRACKTITLE");
    // Overrides apply to keys the preferences do not offer too.
    EXPECT_EQ(keyForMP4Atom("----:com.apple.iTunes:SHOW"), "TVSHOWNAME");
    // A snapshot taken earlier stays as it was.
    EXPECT_EQ(before->at("TRACKTITLE"), (std::vector<std::string>{"TITLE"}));
  }
  EXPECT_EQ(vorbisTagMappings()->at("TRACKTITLE"), (std::vector<std::string>{"TITLE"}));
  EXPECT_EQ(keyForVorbisField("NAME"), "NAME");

  {
    // Empty, blank and comma-only overrides keep the built-in names.
    ScopedSetting empty("APETag_ALBUM", PlistValue(""));
    ScopedSetting blank("ASFTag_ALBUM", PlistValue("  \n "));
    ScopedSetting commas("INFOTag_ALBUM", PlistValue(" , ,"));
    EXPECT_EQ(apeItemKeyForKey("ALBUM"), "ALBUM");
    EXPECT_EQ(asfAttributeNameForKey("ALBUM"), "WM/AlbumTitle");
    EXPECT_EQ(infoChunkIdForKey("ALBUM"), "IPRD");
  }
  {
    ScopedSetting info("INFOTag_MOOD", PlistValue("imod"));
    ScopedSetting longInfo("INFOTag_GENRE", PlistValue("GENRE"));
    ScopedSetting ape("APETag_MOOD", PlistValue("Feeling,MOOD"));
    ScopedSetting asf("ASFTag_ALBUM", PlistValue("WM/Album\u00a0"));
    EXPECT_EQ(infoChunkIdForKey("MOOD"), "IMOD");
    EXPECT_EQ(keyForINFOChunkId("IMOD"), "MOOD");
    EXPECT_EQ(infoChunkIdForKey("GENRE"), std::nullopt);
    EXPECT_EQ(keyForINFOChunkId("IGNR"), "IGNR");
    EXPECT_EQ(apeItemKeyForKey("MOOD"), "FEELING");
    EXPECT_EQ(keyForAPEItemKey("feeling"), "MOOD");
    EXPECT_EQ(asfAttributeNameForKey("ALBUM"), "WM/Album");
    EXPECT_EQ(keyForASFAttributeName("WM/AlbumTitle"), "WM/AlbumTitle");
  }
  {
    // A user's override that takes a resolved name away from its key moves it.
    ScopedSetting year("MP4Tag_YEAR", PlistValue("©yea"));
    EXPECT_EQ(keyForMP4Atom("©day"), "DATE");
    EXPECT_EQ(keyForMP4Atom("©yea"), "YEAR");
  }
  EXPECT_EQ(keyForMP4Atom("©day"), "YEAR");
}

TEST(TagMappings, MP4AtomNamesAtTheTagLibBoundary) {
  const std::string utf8 = "©alb";
  const std::string latin1 = std::string("\xA9") + "alb";
  EXPECT_EQ(mp4AtomNameFromLatin1(latin1), utf8);
  EXPECT_EQ(mp4AtomNameToLatin1(utf8), latin1);
  EXPECT_EQ(mp4AtomNameToLatin1("trkn"), "trkn");
  EXPECT_EQ(mp4AtomNameToLatin1("€abc"), std::nullopt);
  EXPECT_EQ(mp4AtomNameToLatin1("\xC2"), std::nullopt);  // cut short
  // What TagLib makes of an atom name read from a file, and what it writes.
  TagLib::String fromFile(TagLib::ByteVector("\251alb", 4), TagLib::String::Latin1);
  EXPECT_EQ(mp4AtomNameFromTagLib(fromFile), utf8);
  EXPECT_EQ(mp4AtomForKey("ALBUM"), utf8);
  EXPECT_EQ(mp4AtomNameToTagLib(utf8), fromFile);
  EXPECT_EQ(mp4AtomNameToTagLib(utf8).data(TagLib::String::Latin1),
            TagLib::ByteVector("\251alb", 4));
  EXPECT_EQ(keyForMP4Atom(mp4AtomNameFromTagLib(fromFile)), "ALBUM");
}

TEST(TagMappings, ReadersSeeWholeTablesWhileTheyAreRebuilt) {
  const TagMappingTable plain = referenceTable(TagFormat::Vorbis);
  TagMappingTable overridden = plain;
  overridden["TRACKTITLE"] = {"TITLE", "NAME"};
  std::atomic<bool> stop{false};
  std::atomic<int> mismatches{0};
  std::atomic<long> reads{0};
  auto reader = [&] {
    while (!stop.load()) {
      auto table = vorbisTagMappings();
      if (*table != plain && *table != overridden) ++mismatches;
      std::string key = keyForVorbisField("NAME");
      if (key != "NAME" && key != "TRACKTITLE") ++mismatches;
      ++reads;
    }
  };
  std::thread first(reader);
  std::thread second(reader);
  for (int i = 0; i < 200; ++i) {
    UserDefaults::standard().setVolatileValue(i % 2 == 0 ? PlistValue("TITLE, NAME") : PlistValue(),
                                              "VorbisTag_TRACKTITLE");
    tagMappingsDidChange(TagFormat::Vorbis);
  }
  // Let the readers see the last table at least once before stopping.
  long target = reads.load() + 2;
  while (reads.load() < target) std::this_thread::yield();
  stop = true;
  first.join();
  second.join();
  UserDefaults::standard().setVolatileValue(PlistValue(), "VorbisTag_TRACKTITLE");
  tagMappingsDidChange(TagFormat::Vorbis);
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(*vorbisTagMappings(), plain);
}

}  // namespace
}  // namespace quorvel
