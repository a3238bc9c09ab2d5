#include "model/TagKeys.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "support/Localization.h"

namespace quorvel {

namespace {

struct TagKeyText {
  const char* key;
  const char* displayName;  // nullptr: the key has none and shows as itself
  const char* description;  // nullptr: likewise
};

// Sorted byte-wise by key; allTagKeys() is this column. The display names are
// the texts users have always seen, odd ones included ("Gapless ",
// "Internet Stationn Owner", "TV Show Time"): they are lookup keys into the
// "tag_names" string table, so they must not be corrected here.
constexpr std::array<TagKeyText, 96> kTagKeys{{
    {"ALBUM", "Album", "The title of the album that the piece belongs to."},
    {"ALBUMARTIST", "Album Artist",
     "The main artist of the album as a whole, which may differ from the artist of the track."},
    {"ALBUMARTISTSORTORDER", "Sort Album Artist",
     "The album artist's name as it should be sorted."},
    {"ALBUMSORTORDER", "Sort Album", "The album title as it should be sorted."},
    {"ARTISTSORTORDER", "Sort Track Artist", "The track artist's name as it should be sorted."},
    {"ARTWORK", "Artwork", "Pictures attached to the track, such as the front cover of the album."},
    {"ASIN", "ASIN", "The Amazon Standard Identification Number of the release."},
    {"BARCODE", "Barcode", "The barcode (UPC or EAN) printed on the release."},
    {"BPM", "BPM", "The tempo of the piece in beats per minute."},
    {"COMMENTS", "Comments", "Free-form remarks about the track."},
    {"COMPOSER", "Composer", "The composer of the piece."},
    {"COMPOSERSORTORDER", "Sort Composer", "The composer's name as it should be sorted."},
    {"CONDUCTOR", "Conductor", "The conductor of the performance."},
    {"COPYRIGHT", "Copyright", "The copyright notice of the recording."},
    {"DATE", "Date", "The date of the recording, such as a year, month and day."},
    {"DESCRIPTION", "Description", "A short description of the content of the track."},
    {"DISCNUMBER", "Disc Number", "The number of the disc within a set of discs."},
    {"DISCTOTAL", "Disc Total", "The total number of discs in the set."},
    {"ENCODEDBY", "Encoded By", "The person or program that encoded the audio."},
    {"ENCODERSETTINGS", "Encoder Settings", "The software and settings used to encode the audio."},
    {"ENCODINGTIME", "Encoding Time", "The time at which the audio was encoded."},
    {"EPISODEGLOBALID", "Episode Global ID",
     "A globally unique identifier of the podcast episode."},
    {"FILEOWNER", "File Owner", "The owner or licensee of the file."},
    {"FILETYPE", "File Type", "The type of audio the file was encoded from."},
    {"GAPLESS", "Gapless ",
     "A flag indicating that the track is to be played without any gap before or after it."},
    {"GENRE", "Genre", "The genre of the piece."},
    {"GROUPING", "Grouping", "The name of a group of related tracks that this track belongs to."},
    {"INTERNETSTATIONNAME", "Internet Station Name",
     "The name of the internet radio station that broadcasts the audio."},
    {"INTERNETSTATIONOWNER", "Internet Stationn Owner",
     "The owner of the internet radio station that broadcasts the audio."},
    {"INVOLVEDPEOPLELIST", "Involved People List",
     "The people involved in the recording and their roles."},
    {"ISRC", "ISRC", "The International Standard Recording Code of the recording."},
    {"ITUNESACCOUNT", "iTunes Account", "The iTunes Store account that purchased the track."},
    {"ITUNESARTISTID", "iTunes Artist ID", "The iTunes Store identifier of the artist."},
    {"ITUNESCATALOGID", "iTunes Catalog ID", "The iTunes Store catalogue identifier of the track."},
    {"ITUNESGENREID", "iTunes Genre ID", "The iTunes Store identifier of the genre."},
    {"ITUNESMEDIATYPE", "iTunes Media Type",
     "The kind of media iTunes files the item under, such as music, audiobook or TV show."},
    {"ITUNESPLAYLISTID", "iTunes Playlist ID",
     "The iTunes Store identifier of the album that the track belongs to."},
    {"ITUNESPURCHASEDATE", "iTunes Purchase Date",
     "The date the track was purchased from the iTunes Store."},
    {"ITUNESSTOREFRONTID", "iTunes Store Front ID",
     "The identifier of the iTunes Store country the track was purchased from."},
    {"ITUNMOVI", "iTunMOVI",
     "This field contains movie information used by iTunes, such as cast and crew."},
    {"ITUNNORM", "iTunNORM", "This field contains SoundCheck data used by iTunes."},
    {"ITUNSMPB", "iTunSMPB", "This field contains gapless playback data used by iTunes."},
    {"KEY", "Key", "The musical key in which the piece starts."},
    {"LANGUAGE", "Language", "The language of the lyrics or spoken words."},
    {"LENGTH", "Length", "The length of the audio in milliseconds."},
    {"LONGDESCRIPTION", "Long Description", "A long description of the content of the track."},
    {"LYRICIST", "Lyricist", "The writer of the lyrics."},
    {"LYRICS", "Lyrics", "The words of the piece."},
    {"MEDIA", "Media", "The medium the audio was taken from, such as CD or vinyl."},
    {"MOOD", "Mood", "The mood of the piece, such as calm or energetic."},
    {"MOVEMENTNAME", "Movement Name", "The name of the movement of a classical work."},
    {"MOVEMENTNUMBER", "Movement Number", "The number of the movement within the work."},
    {"MOVEMENTTOTAL", "Movement Total", "The total number of movements in the work."},
    {"MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist ID", "MusicBrainz Album Artist ID"},
    {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album ID", "MusicBrainz Album ID"},
    {"MUSICBRAINZ_ARTISTID", "MusicBrainz Artist ID", "MusicBrainz Artist ID"},
    {"MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group ID", "MusicBrainz Release Group ID"},
    {"MUSICBRAINZ_TRACKID", "MusicBrainz Track ID", "MusicBrainz Track ID"},
    {"MUSICIANCREDITS", "Musician Credits",
     "The musicians who performed and the instruments they played."},
    {"ORIGINALALBUMTITLE", "Original Album Title",
     "The title of the album the piece was first released on."},
    {"ORIGINALARTIST", "Original Artist", "The artist who first performed the piece."},
    {"ORIGINALFILENAME", "Original File Name",
     "The name of the file the audio was originally stored in."},
    {"ORIGINALLYRICIST", "Original Lyricist",
     "The writer of the lyrics of the original recording."},
    {"ORIGINALRELEASEDATE", "Original Release Date", "The date the piece was first released."},
    {"PARTOFACOMPILATION", "Part Of A Compilation",
     "A flag indicating that the track is part of a compilation of several artists."},
    {"PLAYLISTDELAY", "Playlist Delay",
     "The number of milliseconds of silence that should be inserted before this audio."},
    {"PODCAST", "Podcast", "A flag indicating that the track is a podcast episode."},
    {"PODCASTDESCRIPTION", "Podcast Description", "The description of the podcast episode."},
    {"PODCASTID", "Podcast ID", "The identifier of the podcast episode."},
    {"PODCASTURL", "Podcast URL", "The address of the feed of the podcast."},
    {"PRODUCEDNOTICE", "Podcast Notice", "The production copyright notice of the recording."},
    {"PUBLISHER", "Publisher", "The label or publisher that released the recording."},
    {"RATING", "Rating", "The listener's rating of the track."},
    {"RELEASECOUNTRY", "Release Country", "The country in which the release was issued."},
    {"RELEASESTATUS", "Release Status",
     "The status of the release, such as official, promotional or bootleg."},
    {"RELEASETIME", "Release Time", "The date and time at which the recording was released."},
    {"RELEASETYPE", "Release Type",
     "The type of the release, such as album, single or compilation."},
    {"REMIXARTIST", "Remix Artist", "The artist who remixed or otherwise modified the piece."},
    {"SCRIPT", "Script",
     "The writing system used for the track listing of the release, such as Latin."},
    {"SETSUBTITLE", "Set Subtitle", "The subtitle of the disc within a set of discs."},
    {"SHOWMOVEMENT", "Show Movement",
     "A flag indicating that the work and movement are to be shown instead of the track title."},
    {"SUBTITLE", "Subtitle", "A refinement of the track title, such as the version of the piece."},
    {"TAGGINGTIME", "Tagging Time", "The time at which the tags were last written."},
    {"TRACKARTIST", "Track Artist", "The artist who performs the track."},
    {"TRACKNUMBER", "Track Number", "The number of the track on its disc."},
    {"TRACKTITLE", "Track Title", "The title of the track."},
    {"TRACKTITLESORTORDER", "Sort Track Title", "The track title as it should be sorted."},
    {"TRACKTOTAL", "Track Total", "The total number of tracks on the disc."},
    {"TVEPISODE", "TV Episode", "The number of the episode within its TV season."},
    {"TVEPISODEID", "TV Episode ID", "The production identifier of the TV episode."},
    {"TVNETWORK", "TV Network", "The TV network that broadcast the show."},
    {"TVSEASON", "TV Season", "The number of the season of the TV show."},
    {"TVSHOWNAME", "TV Show Time", "The name of the TV show."},
    {"WEBSITE", "Website", "The address of a web page about the track or its artist."},
    {"WORK", nullptr, nullptr},
    {"YEAR", "Year", "The year the track was released."},
}};

constexpr bool sortedByKey() {
  for (std::size_t i = 1; i < kTagKeys.size(); ++i) {
    if (!(std::string_view(kTagKeys[i - 1].key) < std::string_view(kTagKeys[i].key))) {
      return false;
    }
  }
  return true;
}
static_assert(sortedByKey(), "tag keys must stay in byte-wise order for the binary searches");

const TagKeyText* findExact(std::string_view key) {
  auto it = std::lower_bound(kTagKeys.begin(), kTagKeys.end(), key,
                             [](const TagKeyText& row, std::string_view k) { return row.key < k; });
  if (it != kTagKeys.end() && it->key == key) {
    return &*it;
  }
  return nullptr;
}

// Canonical keys are upper-case ASCII, so a case-insensitive match is an exact
// match of the upper-cased key.
const TagKeyText* findCaseInsensitive(std::string_view key) {
  return findExact(uppercaseTagName(key));
}

std::vector<std::string> keyColumn() {
  std::vector<std::string> keys;
  keys.reserve(kTagKeys.size());
  for (const auto& row : kTagKeys) {
    keys.emplace_back(row.key);
  }
  return keys;
}

}  // namespace

const std::vector<std::string>& allTagKeys() {
  static const std::vector<std::string> keys = keyColumn();
  return keys;
}

const std::vector<std::string>& allSourceKeys() {
  static const std::vector<std::string> keys = {
      "_BITRATE",         "_BITRATEMETHOD",    "_CHANNELMODE",   "_CHANNELS",
      "_FILEDATECREATED", "_FILEDATEMODIFIED", "_FILEEXTENSION", "_FILEFORMAT",
      "_FILEFULLPATH",    "_FILEKIND",         "_FILELENGTH",    "_FILENAME",
      "_FILESIZE",        "_SAMPLERATE",       "_SAMPLESIZE",    "_TAGFORMAT",
  };
  return keys;
}

const std::vector<std::string>& mappableInternalKeys() {
  static const std::vector<std::string> keys = [] {
    // Keys that only one format can carry (iTunes, MusicBrainz ids, podcast and
    // TV atoms) have nothing to remap.
    std::vector<std::string> result;
    for (const auto& key : allTagKeys()) {
      std::string_view k = key;
      if (k == "EPISODEGLOBALID" || k.starts_with("ITUN") || k.starts_with("MUSICBRAINZ_") ||
          k.starts_with("PODCAST") || k.starts_with("TV")) {
        continue;
      }
      result.push_back(key);
    }
    return result;
  }();
  return keys;
}

std::string tagDisplayName(const std::string& key) {
  const TagKeyText* row = findCaseInsensitive(key);
  if (row == nullptr || row->displayName == nullptr) {
    return key;
  }
  return localizedString(row->displayName, "tag_names");
}

std::string tagDescription(const std::string& key) {
  const TagKeyText* row = findCaseInsensitive(key);
  if (row == nullptr || row->description == nullptr) {
    return key;
  }
  return localizedString(row->description, "tag_descriptions");
}

bool isCanonicalTagKey(std::string_view key) { return findExact(key) != nullptr; }

std::string uppercaseTagName(std::string_view name) {
  bool ascii = std::all_of(name.begin(), name.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    std::string result(name);
    for (char& c : result) {
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      }
    }
    return result;
  }
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size())));
  text.toUpper(icu::Locale::getRoot());
  std::string result;
  text.toUTF8String(result);
  return result;
}

}  // namespace quorvel
