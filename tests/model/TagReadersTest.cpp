#include "model/TagReaders.h"

#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4tag.h>
#include <taglib/privateframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "model/MetadataValue.h"
#include "model/WriterTestSupport.h"
#include "testsupport/FixtureManifest.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using nlohmann::json;
using test::fixture;
using test::SettingOverride;

constexpr int kID3v2 = MetadataValue::TypeID3v2;
constexpr int kMP4 = MetadataValue::TypeMP4;
constexpr int kASF = MetadataValue::TypeASF;
constexpr int kAPE = MetadataValue::TypeAPE;
constexpr int kVorbis = MetadataValue::TypeVorbis;
constexpr int kUser = MetadataValue::TypeUser;
constexpr int kINFO = MetadataValue::TypeINFO;

// --- The names of the fixtures' tags, as the mapping tables give them -------
// Written out here rather than asked of the tables, so that a wrong table
// entry shows up as a wrong key. Names not listed map to themselves.

// "NAME=KEY;..." pairs.
std::map<std::string, std::string> parsePairs(std::string_view pairs) {
  std::map<std::string, std::string> result;
  while (!pairs.empty()) {
    const auto end = std::min(pairs.find(';'), pairs.size());
    const auto entry = pairs.substr(0, end);
    const auto eq = entry.find('=');
    result[std::string(entry.substr(0, eq))] = std::string(entry.substr(eq + 1));
    pairs.remove_prefix(std::min(end + 1, pairs.size()));
  }
  return result;
}

// TIT1: iTunesWorkMovementCompatibility is off by default.
const auto kID3v2Keys = parsePairs(
    "APIC=ARTWORK;COMM=COMMENTS;MVIN=MOVEMENTNUMBER;MVNM=MOVEMENTNAME;PCST=PODCAST;POPM=RATING;"
    "TALB=ALBUM;TBPM=BPM;TCMP=PARTOFACOMPILATION;TCOM=COMPOSER;TCON=GENRE;TCOP=COPYRIGHT;"
    "TDAT=DATE;TDRC=YEAR;TEXT=LYRICIST;TIT1=GROUPING;TIT2=TRACKTITLE;TKEY=KEY;TMOO=MOOD;"
    "TPE1=TRACKARTIST;TPE2=ALBUMARTIST;TPOS=DISCNUMBER;TRCK=TRACKNUMBER;TSRC=ISRC;TYER=YEAR;"
    "UFID=MUSICBRAINZ_TRACKID;USLT=LYRICS;WFED=PODCASTURL;WXXX=WEBSITE");
const auto kTXXXKeys = parsePairs(
    "MusicBrainz Album Artist Id=MUSICBRAINZ_ALBUMARTISTID;"
    "MusicBrainz Album Id=MUSICBRAINZ_ALBUMID;MusicBrainz Artist Id=MUSICBRAINZ_ARTISTID;"
    "MusicBrainz Release Group Id=MUSICBRAINZ_RELEASEGROUPID;"
    "MusicBrainz Track Id=MUSICBRAINZ_TRACKID;"
    "MusicBrainz Album Release Country=RELEASECOUNTRY;MusicBrainz Album Status=RELEASESTATUS;"
    "MusicBrainz Album Type=RELEASETYPE");
// Upper-case names.
const auto kVorbisKeys = parsePairs(
    "ARTIST=TRACKARTIST;COMMENT=COMMENTS;DATE=YEAR;"
    "METADATA_BLOCK_PICTURE=ARTWORK;TITLE=TRACKTITLE");
// Upper-case item keys.
const auto kAPEKeys = parsePairs(
    "ALBUM=ALBUM;ALBUM ARTIST=ALBUMARTIST;ARTIST=TRACKARTIST;BPM=BPM;COMMENT=COMMENTS;"
    "COMPOSER=COMPOSER;COVER ART (BACK)=ARTWORK;COVER ART (FRONT)=ARTWORK;GENRE=GENRE;"
    "LYRICS=LYRICS;MOOD=MOOD;MUSICBRAINZ_ALBUMID=MUSICBRAINZ_ALBUMID;TITLE=TRACKTITLE;"
    "TRACK=TRACKNUMBER;YEAR=YEAR");
const auto kMP4Keys = parsePairs(
    "©ART=TRACKARTIST;©alb=ALBUM;©cmt=COMMENTS;©day=YEAR;©gen=GENRE;©lyr=LYRICS;©nam=TRACKTITLE;"
    "©wrt=COMPOSER;aART=ALBUMARTIST;covr=ARTWORK;cpil=PARTOFACOMPILATION;disk=DISCNUMBER;"
    "rtng=RATING;tmpo=BPM;trkn=TRACKNUMBER;----:com.apple.iTunes:initialkey=KEY;"
    "----:com.apple.iTunes:MusicBrainz Album Id=MUSICBRAINZ_ALBUMID");
const auto kASFKeys = parsePairs(
    "MusicBrainz/Album Id=MUSICBRAINZ_ALBUMID;WM/AlbumArtist=ALBUMARTIST;WM/AlbumTitle=ALBUM;"
    "WM/BeatsPerMinute=BPM;WM/Composer=COMPOSER;WM/EncodingTime=ENCODINGTIME;WM/Genre=GENRE;"
    "WM/IsCompilation=PARTOFACOMPILATION;WM/Lyrics=LYRICS;WM/PartOfSet=DISCNUMBER;"
    "WM/Picture=ARTWORK;WM/SharedUserRating=RATING;WM/TrackNumber=TRACKNUMBER;WM/Year=YEAR");
const auto kINFOKeys = parsePairs(
    "IART=TRACKARTIST;ICMT=COMMENTS;ICRD=YEAR;IGNR=GENRE;INAM=TRACKTITLE;IPRD=ALBUM;"
    "ITRK=TRACKNUMBER");

std::string mapped(const std::map<std::string, std::string>& table, const std::string& name) {
  auto it = table.find(name);
  return it == table.end() ? name : it->second;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// --- What a record should hold, built from a fixture's raw tags -------------

struct ExpectedValue {
  int type = 0;
  ObjectList values;
};

struct ExpectedArtwork {
  std::uint32_t type = 0;
  std::string md5;
  std::string mimeType;
  std::optional<std::string> comments;
  std::optional<std::string> originalFilename;
};

struct Expectation {
  std::map<std::string, ExpectedValue> tags;
  std::vector<ExpectedArtwork> artworks;
  std::vector<std::string> tagFormats;

  // One entry of a tag under the first-tag rule: another tag's key is left
  // alone, this tag's is extended, a new key is kept when it holds a value
  // (or always, for the readers that store empty values too).
  template <typename Fill>
  void entry(const std::string& key, int type, bool keepEmpty, Fill fill) {
    if (auto it = tags.find(key); it != tags.end()) {
      if (it->second.type == type) fill(it->second.values);
      return;
    }
    ExpectedValue value{type, {}};
    fill(value.values);
    if (!value.values.empty() || keepEmpty) tags[key] = std::move(value);
  }
  // "3/12": the number is the text before the first "/", a non-empty rest
  // replaces the total.
  void split(const std::string& text, ObjectList& number, const std::string& totalKey, int type) {
    auto slash = text.find('/');
    number = {Object(text.substr(0, slash))};
    if (slash != std::string::npos && slash + 1 < text.size()) {
      tags[totalKey] = ExpectedValue{type, {Object(text.substr(slash + 1))}};
    }
  }
  void text(const std::string& key, int type, const std::vector<std::string>& texts,
            bool keepEmpty = false) {
    entry(key, type, keepEmpty, [&](ObjectList& values) {
      for (const auto& t : texts) values.emplace_back(t);
    });
  }
  void picture(const json& p, std::uint32_t type, std::optional<std::string> comments,
               std::string mime, std::optional<std::string> filename = std::nullopt) {
    artworks.push_back({type, p["md5"].get<std::string>(), std::move(mime), std::move(comments),
                        std::move(filename)});
  }
};

std::optional<std::string> nonEmpty(const std::string& s) {
  return s.empty() ? std::nullopt : std::optional<std::string>(s);
}

std::vector<std::string> strings(const json& list) {
  std::vector<std::string> out;
  for (const auto& v : list) out.push_back(v.get<std::string>());
  return out;
}

const char* totalKeyOf(const std::string& key) {
  if (key == "TRACKNUMBER") return "TRACKTOTAL";
  if (key == "DISCNUMBER") return "DISCTOTAL";
  if (key == "MOVEMENTNUMBER") return "MOVEMENTTOTAL";
  return nullptr;
}

void expectID3v2(const json& tag, Expectation& e) {
  const int version = tag["version"].get<int>();
  json frames = tag["frames"];
  if (version == 3) {
    // TagLib presents a version 2.3 tag as 2.4: TYER becomes TDRC, which
    // takes the day and month of a lone TDAT; TDAT itself stays an unknown frame.
    json tdat;
    for (auto& f : frames) {
      if (f["id"] == "TYER") f["id"] = "TDRC";
      if (f["id"] == "TDAT") tdat = f;
    }
    for (auto& f : frames) {
      if (f["id"] == "TDRC" && !tdat.is_null() && f["text"].size() == 1 &&
          f["text"][0].get<std::string>().size() == 4) {
        const std::string date = tdat["text"][0].get<std::string>();
        f["text"][0] =
            f["text"][0].get<std::string>() + "-" + date.substr(2, 2) + "-" + date.substr(0, 2);
      }
      if (f["id"] == "TDAT") f["unknown"] = true;
    }
  }
  for (const auto& f : frames) {
    const std::string id = f["id"].get<std::string>();
    const std::string key = mapped(kID3v2Keys, id);
    if (id == "APIC") {
      e.picture(f, f["type"].get<std::uint32_t>(), f["desc"].get<std::string>(),
                f["mime"].get<std::string>());
    } else if (id == "TXXX" || id == "UFID" || id == "PRIV") {
      std::string finalKey;
      ObjectList values;
      if (id == "TXXX") {
        const std::string desc = f["desc"].get<std::string>();
        finalKey = desc.empty() ? "TXXX" : mapped(kTXXXKeys, desc);
        for (const auto& t : strings(f["text"])) {
          if (t != desc) values.emplace_back(t);
        }
      } else if (id == "UFID") {
        const std::string owner = f["owner"].get<std::string>();
        finalKey = owner == "http://musicbrainz.org" || owner.empty()
                       ? key
                       : "MUSICBRAINZ_TRACKID:" + owner;
        values.emplace_back(f["data"].get<std::string>());
      } else {
        const std::string owner = f["owner"].get<std::string>();
        finalKey = owner.empty() ? "PRIV" : "PRIV:" + owner;
        values.emplace_back(test::dataFromHex(f["data_hex"].get<std::string>()));
      }
      // The bare id decides whether this tag may fill the key; the frame's
      // values then stand under their own key.
      if (auto it = e.tags.find(key); it != e.tags.end() && it->second.type != kID3v2) continue;
      if (finalKey == key) {
        e.entry(key, kID3v2, false,
                [&](ObjectList& v) { v.insert(v.end(), values.begin(), values.end()); });
      } else if (auto it = e.tags.find(finalKey);
                 (it == e.tags.end() || it->second.type == kID3v2) && !values.empty()) {
        e.tags[finalKey] = ExpectedValue{kID3v2, values};
      }
    } else if (const char* total = totalKeyOf(key)) {
      e.entry(key, kID3v2, false,
              [&](ObjectList& v) { e.split(strings(f["text"]).front(), v, total, kID3v2); });
    } else if (id == "TCON") {
      std::vector<std::string> genres;
      for (const auto& t : strings(f["text"])) {
        const bool number = !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
        const auto name = number ? TagLib::ID3v1::genre(std::stoi(t)) : TagLib::String();
        genres.push_back(name.isEmpty() ? t : name.to8Bit(true));
      }
      e.text(key, kID3v2, genres);
    } else if (id == "PCST") {
      e.text(key, kID3v2, {"1"});
    } else if (id == "COMM") {
      const std::string desc = f["desc"].get<std::string>();
      e.text(desc.empty() ? key : "COMMENTS:" + desc, kID3v2, {f["text"].get<std::string>()});
    } else if (id == "USLT") {
      e.text(key, kID3v2, {f["text"].get<std::string>()});
    } else if (id == "POPM") {
      e.text(key, kID3v2,
             {f["email"].get<std::string>() + "," + std::to_string(f["rating"].get<int>()) + "," +
              std::to_string(f["count"].get<unsigned>())});
    } else if (id == "MCDI") {
      // The frame as TagLib renders it, after its id: size, flags, data.
      const Data data = test::dataFromHex(f["data_hex"].get<std::string>());
      ByteBuffer bytes = {0, 0, 0, static_cast<std::uint8_t>(data.size()), 0, 0};
      bytes.insert(bytes.end(), data.bytes(), data.bytes() + data.size());
      e.entry(key, kID3v2, false, [&](ObjectList& v) { v.emplace_back(Data(std::move(bytes))); });
    } else if (f.contains("unknown")) {
      e.entry(key, kID3v2, false, [](ObjectList&) {});
    } else if (f.contains("url")) {
      e.text(key, kID3v2, {f["url"].get<std::string>()});
    } else if (f.contains("text")) {
      e.text(key, kID3v2, strings(f["text"]));
    } else {
      ADD_FAILURE() << "no expectation for frame " << id;
    }
  }
  e.tagFormats.push_back("ID3v2." + std::to_string(version) + ".0");
}

void expectID3v1(const json& tag, Expectation& e) {
  auto fill = [&](const std::string& key, const std::string& text) {
    if (!text.empty() && !e.tags.count(key)) e.tags[key] = ExpectedValue{kUser, {Object(text)}};
  };
  fill("TRACKTITLE", tag["title"].get<std::string>());
  fill("TRACKARTIST", tag["artist"].get<std::string>());
  fill("ALBUM", tag["album"].get<std::string>());
  fill("COMMENTS", tag["comment"].get<std::string>());
  fill("GENRE", TagLib::ID3v1::genre(tag["genre"].get<int>()).to8Bit(true));
  const std::string year = tag["year"].get<std::string>();
  fill("YEAR", std::stoi(year) == 0 ? "" : std::to_string(std::stoi(year)));
  fill("TRACKNUMBER", tag["track"].get<int>() == 0 ? "" : std::to_string(tag["track"].get<int>()));
  e.tagFormats.push_back("ID3v1");
}

void expectAPE(const json& tag, Expectation& e) {
  // TagLib keeps the items in the order of their upper-cased keys.
  std::map<std::string, json> items;
  for (const auto& item : tag["items"]) items[upper(item["key"].get<std::string>())] = item;
  for (const auto& [upperKey, item] : items) {
    const std::string name = item["key"].get<std::string>();
    const std::string key = kAPEKeys.count(upperKey) ? kAPEKeys.at(upperKey) : name;
    const std::string kind = item["kind"].get<std::string>();
    if (key == "ARTWORK") {
      e.picture(item, upperKey == "COVER ART (BACK)" ? 4 : 3, std::nullopt,
                item["mime"].get<std::string>(), item["filename"].get<std::string>());
    } else if (kind == "binary") {
      e.entry(key, kAPE, true, [&](ObjectList& v) {
        v.emplace_back(test::dataFromHex(item["data_hex"].get<std::string>()));
      });
    } else if (kind == "external") {
      e.entry(key, kAPE, true, [](ObjectList&) {});
    } else if (const char* total = totalKeyOf(key); total && key != "MOVEMENTNUMBER") {
      e.entry(key, kAPE, true,
              [&](ObjectList& v) { e.split(strings(item["values"]).front(), v, total, kAPE); });
    } else {
      e.text(key, kAPE, strings(item["values"]), true);
    }
  }
  e.tagFormats.push_back("APE v" + std::to_string(tag["version"].get<int>() / 1000) + "." +
                         std::to_string(tag["version"].get<int>() / 100 % 10));
}

void expectVorbis(const json& tag, Expectation& e, bool readPictures) {
  // TagLib's field map is ordered by upper-cased name; values keep file order.
  std::map<std::string, std::vector<json>> fields;
  for (const auto& field : tag["fields"]) {
    fields[upper(field["name"].get<std::string>())].push_back(field);
  }
  for (const auto& [name, list] : fields) {
    const std::string key = mapped(kVorbisKeys, name);
    if (key == "ARTWORK" && readPictures) {
      // All values decode as one picture block: the first picture.
      const auto& p = list.front()["picture"];
      e.picture(p, p["type"].get<std::uint32_t>(), p["desc"].get<std::string>(),
                p["mime"].get<std::string>());
      continue;
    }
    e.entry(key, kVorbis, true, [&](ObjectList& v) {
      for (const auto& field : list) {
        const std::string value = field["value"].get<std::string>();
        if (const char* total = totalKeyOf(key); total && key != "MOVEMENTNUMBER") {
          ObjectList number;
          e.split(value, number, total, kVorbis);
          v = number;
        } else {
          v.emplace_back(value);
        }
      }
    });
  }
  e.tagFormats.push_back("Vorbis");
}

void expectMP4(const json& tag, Expectation& e) {
  for (const auto& atom : tag["atoms"]) {
    const std::string name = atom["atom"].get<std::string>();
    const std::string key = mapped(kMP4Keys, name);
    const json& values = atom.contains("values") ? atom["values"] : json();
    if (key == "ARTWORK") {
      for (const auto& cover : atom["covers"]) {
        e.picture(cover, 3, std::nullopt, cover["format"] == "jpeg" ? "image/jpeg" : "image/png");
      }
    } else if (const char* total = totalKeyOf(key); total && key != "MOVEMENTNUMBER") {
      const int number = values[0][0].get<int>();
      const int count = values[0][1].get<int>();
      e.entry(key, kMP4, false, [&](ObjectList& v) {
        if (number != 0) v = {Object(std::to_string(number))};
        if (count != 0) e.tags[total] = ExpectedValue{kMP4, {Object(std::to_string(count))}};
      });
    } else if (values.is_boolean()) {
      e.text(key, kMP4,
             values.get<bool>() ? std::vector<std::string>{"1"} : std::vector<std::string>{});
    } else if (values[0].is_number()) {
      e.text(key, kMP4, {std::to_string(values[0].get<long long>())});
    } else {
      e.text(key, kMP4, strings(values));
    }
  }
  e.tagFormats.push_back("MP4 Metadata");
}

void expectASF(const json& tag, Expectation& e) {
  std::map<std::string, std::vector<json>> attributes;  // TagLib's map order
  std::map<std::string, std::string> description;
  for (const auto& a : tag["attributes"]) {
    const std::string name = a["name"].get<std::string>();
    if (name == "Title" || name == "Author" || name == "Copyright" || name == "Description") {
      description[name] = a["values"][0].get<std::string>();
    } else {
      attributes[name].push_back(a);
    }
  }
  // The content description comes first and is set whatever stood there.
  for (const auto& [name, key] :
       std::vector<std::pair<std::string, std::string>>{{"Description", "COMMENTS"},
                                                        {"Title", "TRACKTITLE"},
                                                        {"Author", "TRACKARTIST"},
                                                        {"Copyright", "COPYRIGHT"}}) {
    if (description.count(name)) e.tags[key] = ExpectedValue{kUser, {Object(description[name])}};
  }
  for (const auto& [name, list] : attributes) {
    const std::string key = mapped(kASFKeys, name);
    if (key == "ARTWORK") {
      for (const auto& a : list) {
        const auto& p = a["picture"];
        e.picture(p, p["type"].get<std::uint32_t>(), p["desc"].get<std::string>(),
                  p["mime"].get<std::string>());
      }
      continue;
    }
    e.entry(key, kASF, false, [&](ObjectList& v) {
      for (const auto& a : list) {
        const std::string type = a["type"].get<std::string>();
        for (const auto& value : a.contains("values") ? a["values"] : json::array({nullptr})) {
          if (key == "DISCNUMBER") {
            e.split(value.get<std::string>(), v, "DISCTOTAL", kASF);
          } else if (type == "unicode") {
            v.emplace_back(value.get<std::string>());
          } else if (type == "bool") {
            v.emplace_back(value.get<bool>() ? "1" : "0");
          } else if (type == "bytes") {
            v.emplace_back(test::dataFromHex(a["data_hex"].get<std::string>()));
          } else {
            v.emplace_back(std::to_string(value.get<unsigned long long>()));
          }
        }
      }
    });
  }
  e.tagFormats.push_back("ASF");
}

void expectINFO(const json& tag, Expectation& e) {
  std::map<std::string, std::string> fields;  // by chunk id
  for (const auto& f : tag["fields"]) fields[f["id"].get<std::string>()] = f["value"];
  for (const auto& [id, value] : fields) e.text(mapped(kINFOKeys, id), kINFO, {value});
  e.tagFormats.push_back("INFO Chunk");
}

// Everything a fixture's record should hold, by the reading order of its
// container and the default settings. Sets `skip` for fixtures without
// TagLib tags.
Expectation expectationFor(const json& entry, int flacArtworkFrom = 3) {
  Expectation e;
  const std::string container = entry["container"].get<std::string>();
  const json& tags = entry["tags"];
  auto has = [&](const char* format) { return tags.contains(format); };
  if (container == "mp3") {
    if (has("ID3v2")) expectID3v2(tags["ID3v2"], e);
    if (has("ID3v1")) expectID3v1(tags["ID3v1"], e);
    if (has("APE")) expectAPE(tags["APE"], e);
  } else if (container == "flac") {
    // Every FLAC encoder writes a Vorbis comment block, tagged or not.
    if (has("Vorbis")) {
      expectVorbis(tags["Vorbis"], e, (flacArtworkFrom & 2) != 0);
    } else {
      e.tagFormats.push_back("Vorbis");
    }
    if (has("ID3v2")) expectID3v2(tags["ID3v2"], e);
    if (has("ID3v1")) expectID3v1(tags["ID3v1"], e);
    if (flacArtworkFrom & 1) {
      for (const auto& p : tags.value("FLACPictures", json::array())) {
        e.picture(p, p["type"].get<std::uint32_t>(), nonEmpty(p["desc"].get<std::string>()),
                  p["mime"].get<std::string>());
      }
    }
  } else if (container == "ogg-vorbis" || container == "ogg-speex" || container == "ogg-flac") {
    if (has("Vorbis")) {
      expectVorbis(tags["Vorbis"], e, true);
    } else {
      e.tagFormats.push_back("Vorbis");
    }
  } else if (container == "ape" || container == "wavpack" || container == "mpc") {
    if (has("APE")) expectAPE(tags["APE"], e);
    if (has("ID3v1")) expectID3v1(tags["ID3v1"], e);
  } else if (container == "tta") {
    if (has("ID3v2")) expectID3v2(tags["ID3v2"], e);
    if (has("ID3v1")) expectID3v1(tags["ID3v1"], e);
  } else if (container == "wav") {
    if (has("ID3v2")) expectID3v2(tags["ID3v2"], e);
    if (has("INFO")) expectINFO(tags["INFO"], e);
  } else if (container == "aiff" || container == "dsf") {
    // The tag TagLib hands out is read (and named) even when the file has none.
    if (has("ID3v2")) {
      expectID3v2(tags["ID3v2"], e);
    } else {
      e.tagFormats.push_back("ID3v2.4.0");
    }
  } else if (container == "mp4") {
    if (has("MP4")) {
      expectMP4(tags["MP4"], e);
    } else {
      e.tagFormats.push_back("MP4 Metadata");
    }
  } else if (container == "asf") {
    if (has("ASF")) {
      expectASF(tags["ASF"], e);
    } else {
      e.tagFormats.push_back("ASF");
    }
  }
  return e;
}

std::string describe(const Object& value) {
  if (value.isData()) return "<" + std::to_string(value.data().size()) + " bytes>";
  return "\"" + value.stringValue().value_or("?") + "\"";
}

std::string describe(const ObjectList& values) {
  std::string out = "[";
  for (const auto& v : values) out += (out.size() > 1 ? ", " : "") + describe(v);
  return out + "]";
}

// Compares a record with an expectation, key by key; `anyOrder` compares the
// values of a key and the artworks as sets (ASF: TagLib lists the attributes
// of the header extension before those of the content description).
void expectRecordMatches(const AudioMetadata& record, const Expectation& e, bool anyOrder = false) {
  std::vector<std::string> expectedKeys;
  for (const auto& [key, value] : e.tags) expectedKeys.push_back(key);
  EXPECT_EQ(record.allMetadataKeys(), expectedKeys);
  auto sorted = [](ObjectList list) {
    std::sort(list.begin(), list.end(),
              [](const Object& a, const Object& b) { return describe(a) < describe(b); });
    return list;
  };
  for (const auto& [key, expected] : e.tags) {
    auto value = record.metadataValueForKey(key);
    if (!value) continue;  // reported above
    EXPECT_EQ(value->type(), expected.type) << key;
    ObjectList actual = value->allValues();
    ObjectList wanted = expected.values;
    if (anyOrder) {
      actual = sorted(actual);
      wanted = sorted(wanted);
    }
    EXPECT_TRUE(actual == wanted) << key << ": read " << describe(actual) << ", expected "
                                  << describe(wanted);
  }
  std::vector<std::string> actualArt;
  std::vector<std::string> wantedArt;
  for (const auto& a : record.artworks()) {
    actualArt.push_back(a->md5() + " type " + std::to_string(a->artworkType()) + " " +
                        a->mimeType() + " \"" + a->comments().value_or("<none>") + "\" " +
                        a->originalFilename().value_or("<none>"));
  }
  for (const auto& a : e.artworks) {
    wantedArt.push_back(a.md5 + " type " + std::to_string(a.type) + " " + a.mimeType + " \"" +
                        a.comments.value_or("<none>") + "\" " +
                        a.originalFilename.value_or("<none>"));
  }
  if (anyOrder) {
    std::sort(actualArt.begin(), actualArt.end());
    std::sort(wantedArt.begin(), wantedArt.end());
  }
  EXPECT_EQ(actualArt, wantedArt);
  std::string formats;
  for (const auto& f : e.tagFormats) formats += (formats.empty() ? "" : ", ") + f;
  EXPECT_EQ(record.sourceTagFormat().value_or("<none>"), formats);
}

std::shared_ptr<AudioMetadata> read(const std::string& name) {
  return test::readRecord(fixture(name));
}

using Texts = std::vector<std::string>;

// Values as text, bytes as "hex:...".
Texts textsOf(const ObjectList& values) {
  Texts out;
  for (const Object& v : values) {
    out.push_back(v.isData() ? test::hexOf(v.data()) : v.stringValue().value_or("<?>"));
  }
  return out;
}

// A key's values as text; empty for a missing key.
Texts valuesOf(const AudioMetadata& record, const std::string& key) {
  return textsOf(record.metadataObjectValuesForKey(key).value_or(ObjectList{}));
}

int typeOf(const AudioMetadata& record, const std::string& key) {
  auto value = record.metadataValueForKey(key);
  return value ? value->type() : 0;
}

// --- Every fixture ----------------------------------------------------------

TEST(TagReaders, EveryFixtureReadsAsItsRawTagsSay) {
  int checked = 0;
  const json fixtures = test::fixtureManifest().value("fixtures", json::object());
  for (const auto& [name, entry] : fixtures.items()) {
    const std::string container = entry["container"].get<std::string>();
    if (container == "platform" || container == "ogg-other") continue;
    SCOPED_TRACE(name);
    auto record = read(name);
    if (!record) continue;
    expectRecordMatches(*record, expectationFor(entry), container == "asf");
    ++checked;
  }
  EXPECT_GT(checked, 50);
}

// --- Precedence -------------------------------------------------------------

TEST(TagReaders, FirstTagReadWinsEachKey) {
  auto all = read("all_tags.mp3");
  ASSERT_TRUE(all);
  EXPECT_EQ(valuesOf(*all, "ALBUM"), Texts({"ID3v1 Album"}));  // ID3v1 before APE
  EXPECT_EQ(typeOf(*all, "COMPOSER"), kAPE);

  {
    SettingOverride noID3v2("readMP3ID3v2Tag", false);
    auto record = read("all_tags.mp3");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->sourceTagFormat(), "ID3v1, APE v2.0");
    EXPECT_EQ(valuesOf(*record, "TRACKTITLE"), Texts({"ID3v1 Title"}));
    SettingOverride noID3v1("readMP3ID3v1Tag", false);
    record = read("all_tags.mp3");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->sourceTagFormat(), "APE v2.0");
    EXPECT_EQ(valuesOf(*record, "TRACKTITLE"), Texts({"APE Title"}));
    SettingOverride noAPE("readMP3ApeTag", false);
    record = read("all_tags.mp3");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->sourceTagFormat(), "");
    EXPECT_EQ(record->metadataKeyCount(), 0u);
  }

  SettingOverride noVorbis("readFLACVorbisTag", false);
  auto flac = read("id3.flac");
  ASSERT_TRUE(flac);
  EXPECT_EQ(flac->sourceTagFormat(), "ID3v2.4.0, ID3v1");
  EXPECT_EQ(typeOf(*flac, "TRACKTITLE"), kID3v2);
}

// --- Number and total -------------------------------------------------------

TEST(TagReaders, NumberAndTotalSplitAtTheFirstSlash) {
  struct Case {
    std::string text;
    std::string number;
    std::optional<std::string> total;
  };
  for (const Case& c :
       {Case{"3/12", "3", "12"}, Case{"3/", "3", std::nullopt}, Case{"/12", "", "12"},
        Case{"7", "7", std::nullopt}, Case{"1/2/3", "1", "2/3"}}) {
    SCOPED_TRACE(c.text);
    AudioMetadata record;
    record.setMetadataValue(std::make_shared<MetadataValue>("TRACKTOTAL", Object("99"), kUser),
                            "TRACKTOTAL");
    MetadataValue number("TRACKNUMBER", kAPE);
    number.addValue(Object("old"));
    TagReaders::addMetadataValuesFromFullString(c.text, number, "TRACKTOTAL", record);
    EXPECT_EQ(textsOf(number.allValues()), Texts({c.number}));
    auto total = record.metadataValueForKey("TRACKTOTAL");
    ASSERT_TRUE(total);
    // A total replaces whatever stood there, with the number's origin.
    EXPECT_EQ(textsOf(total->allValues()), Texts({c.total.value_or("99")}));
    EXPECT_EQ(total->type(), c.total ? kAPE : kUser);
  }

  auto vorbis = read("tagged.flac");
  ASSERT_TRUE(vorbis);
  // TRACKNUMBER 3/12 splits first (name order), then TRACKTOTAL 12 appends.
  EXPECT_EQ(valuesOf(*vorbis, "TRACKTOTAL"), Texts({"12", "12"}));
  EXPECT_EQ(valuesOf(*vorbis, "TRACKNUMBER"), Texts({"3"}));
}

// --- ID3v2 ------------------------------------------------------------------

TEST(TagReaders, ID3v2FramesAsStored) {
  auto cases = read("id3v2_cases.mp3");
  ASSERT_TRUE(cases);
  EXPECT_FALSE(cases->metadataValueForKey("TRACKTOTAL"));  // "5"
  EXPECT_EQ(valuesOf(*cases, "DISCNUMBER"), Texts({""}));  // "/2"
  EXPECT_EQ(valuesOf(*cases, "DISCTOTAL"), Texts({"2"}));
  EXPECT_EQ(valuesOf(*cases, "GENRE"), Texts({"Rock", "(17)", "Ambient"}));
  EXPECT_FALSE(cases->metadataValueForKey("Echo"));  // value equal to its description
  EXPECT_EQ(valuesOf(*cases, "TXXX"), Texts({"no description"}));
  EXPECT_EQ(valuesOf(*cases, "GRP1"), Texts({"Fixture Grouping"}));

  auto seventeen = read("tcon_17.mp3");
  ASSERT_TRUE(seventeen);
  EXPECT_EQ(valuesOf(*seventeen, "GENRE"), Texts({"Rock"}));
  auto parenthesised = read("tcon_paren17.mp3");
  ASSERT_TRUE(parenthesised);
  EXPECT_EQ(valuesOf(*parenthesised, "GENRE"), Texts({"(17)"}));

  auto full = read("id3v24.mp3");
  ASSERT_TRUE(full);
  EXPECT_EQ(valuesOf(*full, "COMMENTS:iTunNORM"), Texts({" 00000201 0000020F 00001A8C 00001A4B"}));
  EXPECT_EQ(valuesOf(*full, "MUSICBRAINZ_TRACKID:http://example.org/ids"),
            Texts({"example-id-42"}));
  EXPECT_EQ(valuesOf(*full, "RATING"), Texts({",196,3"}));
  EXPECT_EQ(valuesOf(*full, "WOAR"), Texts({"http://example.com/artist"}));
  std::string privHex;
  for (const auto& frame : test::manifestEntry("id3v24.mp3")["tags"]["ID3v2"]["frames"]) {
    if (frame["id"] == "PRIV") privHex = frame["data_hex"];
  }
  EXPECT_EQ(valuesOf(*full, "PRIV:WM/MediaClassPrimaryID"), Texts({"hex:" + privHex}));
  EXPECT_EQ(full->artworks().size(), 2u);
  EXPECT_FALSE(full->metadataValueForKey("ARTWORK"));
}

TEST(TagReaders, ID3v2FramesBuiltInMemory) {
  TagLib::ID3v2::Tag tag;
  auto add = [&](std::unique_ptr<TagLib::ID3v2::Frame> frame) { tag.addFrame(frame.release()); };
  auto txxx = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(
      "MusicBrainz Track Id", TagLib::StringList("mb-track"), TagLib::String::UTF8);
  add(std::move(txxx));
  auto priv = std::make_unique<TagLib::ID3v2::PrivateFrame>();
  priv->setData(TagLib::ByteVector("\x01\x02", 2));
  add(std::move(priv));  // no owner: the key stays PRIV
  add(std::make_unique<TagLib::ID3v2::UniqueFileIdentifierFrame>("", "no-owner"));
  auto comment = std::make_unique<TagLib::ID3v2::CommentsFrame>(TagLib::String::UTF8);
  comment->setDescription(TagLib::String("caf\xC3\xA9", TagLib::String::UTF8));
  comment->setText("described outside ASCII");
  add(std::move(comment));
  auto tcon =
      std::make_unique<TagLib::ID3v2::TextIdentificationFrame>("TCON", TagLib::String::UTF8);
  tcon->setText(TagLib::StringList().append("13").append("300").append("-1"));
  add(std::move(tcon));
  auto picture = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
  picture->setPicture(TagLib::ByteVector("\xFF\xD8\xFF", 3));
  picture->setType(TagLib::ID3v2::AttachedPictureFrame::BackCover);
  picture->setMimeType("image/jpeg");
  add(std::move(picture));

  auto record = std::make_shared<AudioMetadata>();
  // A value of another tag keeps the key; one of this tag is extended.
  record->setMetadataValue(
      std::make_shared<MetadataValue>("MUSICBRAINZ_TRACKID", Object("x"), kAPE),
      "MUSICBRAINZ_TRACKID");
  TagReaders::addInfoFromID3v2Tag(tag, *record);
  EXPECT_EQ(valuesOf(*record, "PRIV"), Texts{"hex:0102"});
  EXPECT_EQ(valuesOf(*record, "MUSICBRAINZ_TRACKID"), Texts({"x"}));
  EXPECT_EQ(typeOf(*record, "MUSICBRAINZ_TRACKID"), kAPE);
  // An identifier outside ASCII comes out empty.
  EXPECT_EQ(valuesOf(*record, "COMMENTS:"), Texts({"described outside ASCII"}));
  // Only numbers that name an ID3v1 genre become that name.
  EXPECT_EQ(valuesOf(*record, "GENRE"), Texts({"Pop", "300", "-1"}));
  ASSERT_EQ(record->artworks().size(), 1u);
  EXPECT_EQ(record->artworks()[0]->artworkType(), 4u);
  EXPECT_EQ(record->artworks()[0]->mimeType(), "image/jpeg");
}

// --- MP4 --------------------------------------------------------------------

TEST(TagReaders, MP4PairsBooleansAndIntegers) {
  auto edge = read("mp4_edge.m4a");
  ASSERT_TRUE(edge);
  EXPECT_FALSE(edge->metadataValueForKey("TRACKNUMBER"));  // (0, 10)
  EXPECT_EQ(valuesOf(*edge, "TRACKTOTAL"), Texts({"10"}));
  EXPECT_FALSE(edge->metadataValueForKey("DISCTOTAL"));           // (0, 0)
  EXPECT_FALSE(edge->metadataValueForKey("PARTOFACOMPILATION"));  // false

  TagLib::MP4::Tag tag;
  tag.setItem("stik", TagLib::MP4::Item(static_cast<unsigned char>(10)));
  tag.setItem("plID", TagLib::MP4::Item(static_cast<long long>(1234567890123LL)));
  tag.setItem("cnID", TagLib::MP4::Item(42));
  tag.setItem("tmpo", TagLib::MP4::Item(0));
  tag.setItem("pgap", TagLib::MP4::Item(true));
  tag.setItem("pcst", TagLib::MP4::Item(true));
  tag.setItem("----:com.apple.iTunes:MOOD", TagLib::MP4::Item(TagLib::StringList("Calm")));
  TagLib::ByteVectorList bytes;
  bytes.append(TagLib::ByteVector("\x00\x01", 2));
  tag.setItem("xtra", TagLib::MP4::Item(bytes));
  AudioMetadata record;
  TagReaders::addInfoFromMP4Tag(tag, record);
  EXPECT_EQ(valuesOf(record, "ITUNESMEDIATYPE"), Texts({"10"}));
  EXPECT_EQ(valuesOf(record, "ITUNESPLAYLISTID"), Texts({"1234567890123"}));
  EXPECT_EQ(valuesOf(record, "ITUNESCATALOGID"), Texts({"42"}));
  EXPECT_FALSE(record.metadataValueForKey("BPM"));  // zero
  EXPECT_EQ(valuesOf(record, "GAPLESS"), Texts({"1"}));
  EXPECT_EQ(valuesOf(record, "PODCAST"), Texts({"1"}));
  EXPECT_EQ(valuesOf(record, "MOOD"), Texts({"Calm"}));
  EXPECT_EQ(valuesOf(record, "xtra"), Texts{"hex:0001"});
}

// --- ASF --------------------------------------------------------------------

TEST(TagReaders, ASFAttributesByType) {
  auto wma = read("tagged.wma");
  ASSERT_TRUE(wma);
  EXPECT_EQ(valuesOf(*wma, "WM/WordValue"), Texts({"40000"}));
  EXPECT_EQ(valuesOf(*wma, "WM/MediaIsLive"), Texts({"0"}));
  EXPECT_EQ(valuesOf(*wma, "DISCTOTAL"), Texts({"2"}));
  EXPECT_EQ(valuesOf(*wma, "ENCODINGTIME"), Texts({"132000000000000000"}));
  EXPECT_EQ(typeOf(*wma, "TRACKTITLE"), kUser);  // the content description

  // Content description fields overwrite; attributes respect earlier tags.
  TagLib::ASF::Tag tag;
  tag.setTitle("Title");
  tag.setAttribute("WM/AlbumTitle", TagLib::ASF::Attribute(TagLib::String("Album")));
  tag.setAttribute("WM/Picture", TagLib::ASF::Attribute(TagLib::ByteVector("junk", 4)));
  AudioMetadata record;
  record.setMetadataValue(std::make_shared<MetadataValue>("TRACKTITLE", Object("old"), kAPE),
                          "TRACKTITLE");
  record.setMetadataValue(std::make_shared<MetadataValue>("ALBUM", Object("kept"), kAPE), "ALBUM");
  TagReaders::addInfoFromASFTag(tag, record);
  EXPECT_EQ(valuesOf(record, "TRACKTITLE"), Texts({"Title"}));
  EXPECT_EQ(valuesOf(record, "ALBUM"), Texts({"kept"}));
  EXPECT_TRUE(record.artworks().empty());  // not a valid picture
}

// --- APE --------------------------------------------------------------------

TEST(TagReaders, APEItemsAndCovers) {
  auto ape = read("tagged.ape");
  ASSERT_TRUE(ape);
  auto locator = ape->metadataValueForKey("Related");
  ASSERT_TRUE(locator);  // stored, without values
  EXPECT_TRUE(locator->allValues().empty());
  ASSERT_EQ(ape->artworks().size(), 2u);
  EXPECT_EQ(ape->artworks()[0]->artworkType(), 4u);
  EXPECT_EQ(ape->artworks()[0]->originalFilename(), "back.png");

  TagLib::APE::Tag tag;
  TagLib::APE::Item back("cover art (back)", TagLib::ByteVector("b.jpg\0\xFF\xD8\xFF", 9), true);
  tag.setItem("cover art (back)", back);
  TagLib::APE::Item noName("Cover Art (Front)", TagLib::ByteVector("\xFF\xD8\xFF", 3), true);
  tag.setItem("Cover Art (Front)", noName);  // no zero byte: ignored
  AudioMetadata record;
  TagReaders::addInfoFromAPETag(tag, record);
  ASSERT_EQ(record.artworks().size(), 1u);
  EXPECT_EQ(record.artworks()[0]->artworkType(), 4u);
  EXPECT_EQ(record.artworks()[0]->originalFilename(), "b.jpg");
  EXPECT_EQ(record.artworks()[0]->dataSize(), 3u);
}

// --- Vorbis comment and FLAC pictures ---------------------------------------

TEST(TagReaders, FLACArtworkSources) {
  const auto& entry = test::manifestEntry("tagged.flac");
  for (int from : {0, 1, 2, 3}) {
    SCOPED_TRACE("readFLACAlbumArtworkFrom " + std::to_string(from));
    SettingOverride setting("readFLACAlbumArtworkFrom", from);
    auto record = read("tagged.flac");
    ASSERT_TRUE(record);
    expectRecordMatches(*record, expectationFor(entry, from));
  }
  // Without comment pictures, the encoded picture stays as text.
  SettingOverride blocksOnly("readFLACAlbumArtworkFrom", 1);
  auto record = read("tagged.flac");
  ASSERT_TRUE(record);
  std::string encoded;
  for (const auto& field : entry["tags"]["Vorbis"]["fields"]) {
    if (field["name"] == "METADATA_BLOCK_PICTURE") encoded = field["value"];
  }
  EXPECT_EQ(valuesOf(*record, "ARTWORK"), Texts({encoded}));
  EXPECT_EQ(typeOf(*record, "ARTWORK"), kVorbis);
}

TEST(TagReaders, VorbisCommentBuiltInMemory) {
  TagLib::Ogg::XiphComment tag;
  tag.addField("TRACKNUMBER", "4/9");
  tag.addField("discnumber", "2");
  tag.addField("METADATA_BLOCK_PICTURE", "not a picture");
  AudioMetadata record;
  record.setMetadataValue(std::make_shared<MetadataValue>("DISCNUMBER", Object("1"), kID3v2),
                          "DISCNUMBER");
  TagReaders::addInfoFromVorbisTag(tag, record, true);
  EXPECT_EQ(valuesOf(record, "TRACKNUMBER"), Texts({"4"}));
  EXPECT_EQ(valuesOf(record, "TRACKTOTAL"), Texts({"9"}));
  EXPECT_EQ(valuesOf(record, "DISCNUMBER"), Texts({"1"}));
  EXPECT_TRUE(record.artworks().empty());
}

}  // namespace
}  // namespace quorvel
