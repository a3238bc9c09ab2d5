#include "model/TagReaders.h"

#include <taglib/apetag.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4tag.h>
#include <taglib/popularimeterframe.h>
#include <taglib/privateframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/unknownframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/xiphcomment.h>

#include <charconv>

#include "model/AlbumArtwork.h"
#include "model/ArtworkDataCache.h"
#include "model/AudioMetadata.h"
#include "model/ID3v2ReadingFrameFactory.h"
#include "model/MetadataValue.h"
#include "model/TagMappings.h"
#include "model/TagTextCodec.h"
#include "support/Text.h"

namespace quorvel {
namespace TagReaders {

namespace {

// The owner MusicBrainz publishes for its track-id UFID frames.
constexpr const char* kMusicBrainzUFIDOwner = "http://musicbrainz.org";

std::string utf8(const TagLib::String& s) { return s.to8Bit(true); }

Data dataOf(const TagLib::ByteVector& bytes) { return Data(bytes.data(), bytes.size()); }

// Identifiers (descriptions, owners, item keys, field names) go through 8-bit
// ISO 8859-1 and are then read as UTF-8, so anything outside ASCII that does
// not happen to form UTF-8 comes out empty.
std::string identifierText(const TagLib::String& s) {
  std::string bytes = s.to8Bit(false);
  return isValidUtf8(bytes) ? bytes : std::string();
}

std::string latin1ToUtf8(const TagLib::ByteVector& bytes) {
  return latin1BytesToUtf8(std::string_view(bytes.data(), bytes.size()));
}

// The first tag read wins a key: a value of another origin is left alone, a
// value of this origin (a second entry of the same tag) is extended.
std::shared_ptr<MetadataValue> valueForFirstTagRule(AudioMetadata& record, const std::string& key,
                                                    int type) {
  auto existing = record.metadataValueForKey(key);
  if (existing) {
    return existing->type() == type ? existing : nullptr;
  }
  return std::make_shared<MetadataValue>(key, type);
}

void storeIfNotEmpty(AudioMetadata& record, const std::shared_ptr<MetadataValue>& value,
                     const std::string& key) {
  if (!value->allValues().empty()) {
    record.setMetadataValue(value, key);
  }
}

AlbumArtworkPtr makeArtwork(const TagLib::ByteVector& bytes, std::uint32_t type,
                            std::optional<std::string> comments, std::string mimeType) {
  auto artwork = std::make_shared<AlbumArtwork>();
  // Interned straight from TagLib's bytes: a cover the album's other tracks
  // already brought is shared without another copy.
  artwork->setData(ArtworkDataCache::intern(std::string_view(bytes.data(), bytes.size())));
  artwork->setArtworkType(type);
  artwork->setComments(std::move(comments));
  if (!mimeType.empty()) {
    artwork->setMimeType(std::move(mimeType));
  }
  return artwork;
}

std::optional<std::string> nonEmpty(std::string s) {
  if (s.empty()) {
    return std::nullopt;
  }
  return s;
}

std::optional<std::int64_t> wholeNumber(const std::string& s) {
  std::int64_t n = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (s.empty() || ec != std::errc() || p != s.data() + s.size()) {
    return std::nullopt;
  }
  return n;
}

// Text fields of a frame, also for frames TagLib keeps as unknown (GRP1 in
// some versions): an encoding byte, then the text.
std::vector<std::string> textFieldsOf(TagLib::ID3v2::Frame& frame) {
  std::vector<std::string> fields;
  if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(&frame)) {
    for (const auto& field : text->fieldList()) {
      fields.push_back(utf8(field));
    }
  } else if (auto* unknown = dynamic_cast<TagLib::ID3v2::UnknownFrame*>(&frame)) {
    fields = decodeID3v2TextFields(dataOf(unknown->data()));
  }
  return fields;
}

// Description and values of a TXXX frame. A frame kept raw by the reading
// frame factory is split here, empty fields included; TagLib's own frames
// list the description as their first field.
struct UserText {
  std::string description;
  std::vector<std::string> fields;  // every field, the description first
};

std::optional<UserText> userTextOf(TagLib::ID3v2::Frame& frame) {
  UserText text;
  if (auto* user = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(&frame)) {
    text.description = utf8(user->description());
    for (const auto& field : user->fieldList()) {
      text.fields.push_back(utf8(field));
    }
    return text;
  }
  auto* unknown = dynamic_cast<TagLib::ID3v2::UnknownFrame*>(&frame);
  if (!unknown) {
    return std::nullopt;
  }
  text.fields = decodeID3v2TextFields(dataOf(unknown->data()));
  if (text.fields.empty()) {
    text.fields.emplace_back();
  }
  text.description = text.fields.front();
  // A description without a value holds one empty value, as in TagLib.
  if (text.fields.size() == 1) {
    text.fields.emplace_back();
  }
  return text;
}

}  // namespace

void addMetadataValuesFromFullString(const std::string& text, MetadataValue& numberValue,
                                     const std::string& totalKey, AudioMetadata& record) {
  auto slash = text.find('/');
  if (slash == std::string::npos) {
    numberValue.setValue(Object(text));
  } else {
    numberValue.setValue(Object(text.substr(0, slash)));
    std::string total = text.substr(slash + 1);
    if (!total.empty()) {
      record.setMetadataValue(
          std::make_shared<MetadataValue>(totalKey, Object(total), numberValue.type()), totalKey);
    }
  }
}

void addInfoFromID3v2Tag(TagLib::ID3v2::Tag& tag, AudioMetadata& record) {
  constexpr int type = MetadataValue::TypeID3v2;
  for (TagLib::ID3v2::Frame* frame : tag.frameList()) {
    std::string frameId = latin1ToUtf8(frame->frameID());
    if (frameId.size() > 4) {
      frameId.resize(4);
    }
    if (frameId == ID3v2ReadingFrameFactory::kRawGenreFrameId) {
      frameId = "TCON";
    } else if (frameId == ID3v2ReadingFrameFactory::kRawUserTextFrameId) {
      frameId = "TXXX";
    }
    std::string key = keyForID3v2FrameId(frameId);

    if (key == "ARTWORK") {
      if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
        record.addArtwork(makeArtwork(picture->picture(),
                                      static_cast<std::uint32_t>(picture->type()),
                                      utf8(picture->description()), utf8(picture->mimeType())));
      }
      continue;
    }
    auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
    if (key == "COMMENTS" && comment && !comment->description().isEmpty()) {
      key = "COMMENTS:" + identifierText(comment->description());
    }
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    // TXXX, PRIV and UFID frames are claimed under the key of their bare id,
    // but their values stand under a key of their own (description, owner).
    const bool ownKey = frameId == "TXXX" || frameId == "PRIV" || frameId == "UFID";
    if (ownKey) {
      value = std::make_shared<MetadataValue>(key, type);
    }
    std::string finalKey = key;

    if (key == "TRACKNUMBER" || key == "DISCNUMBER" || key == "MOVEMENTNUMBER") {
      const char* totalKey = key == "TRACKNUMBER"  ? "TRACKTOTAL"
                             : key == "DISCNUMBER" ? "DISCTOTAL"
                                                   : "MOVEMENTTOTAL";
      addMetadataValuesFromFullString(identifierText(frame->toString()), *value, totalKey, record);
    } else if (key == "PODCAST") {
      value->addValue(Object("1"));
    } else if (key == "GENRE") {
      for (const std::string& field : textFieldsOf(*frame)) {
        auto number = wholeNumber(field);
        TagLib::String name = number && *number >= 0 && *number < 256
                                  ? TagLib::ID3v1::genre(static_cast<int>(*number))
                                  : TagLib::String();
        value->addValue(Object(name.isEmpty() ? field : utf8(name)));
      }
    } else if (frameId == "TXXX") {
      if (auto text = userTextOf(*frame)) {
        // An empty description leaves the key of the bare id.
        std::string description =
            identifierText(TagLib::String(text->description, TagLib::String::UTF8));
        finalKey = description.empty() ? keyForID3v2FrameId("TXXX")
                                       : keyForID3v2FrameId("TXXX", description);
        for (const auto& field : text->fields) {
          if (field != text->description) {
            value->addValue(Object(field));
          }
        }
      }
    } else if ((!frameId.empty() && frameId[0] == 'T') || frameId == "WFED") {
      if (dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
        for (const std::string& field : textFieldsOf(*frame)) {
          value->addValue(Object(field));
        }
      }
    } else if (key == "COMMENTS") {
      value->addValue(Object(comment ? utf8(comment->text()) : utf8(frame->toString())));
    } else if (frameId == "MCDI") {
      TagLib::ByteVector rendered = frame->render();
      value->addValue(Object(rendered.size() > 4 ? dataOf(rendered.mid(4)) : Data()));
    } else if (frameId == "PRIV") {
      auto* priv = dynamic_cast<TagLib::ID3v2::PrivateFrame*>(frame);
      std::string owner = priv ? identifierText(priv->owner()) : std::string();
      if (!owner.empty()) {
        finalKey = "PRIV:" + owner;
      }
      if (priv) {
        value->addValue(Object(dataOf(priv->data())));
      }
    } else if (frameId == "POPM") {
      if (auto* popm = dynamic_cast<TagLib::ID3v2::PopularimeterFrame*>(frame)) {
        value->addValue(Object(utf8(popm->email()) + "," + std::to_string(popm->rating()) + "," +
                               std::to_string(popm->counter())));
      }
    } else if (!frameId.empty() && frameId[0] == 'W') {
      if (auto* url = dynamic_cast<TagLib::ID3v2::UrlLinkFrame*>(frame)) {
        value->addValue(Object(utf8(url->url())));
      }
    } else if (frameId == "UFID") {
      if (auto* ufid = dynamic_cast<TagLib::ID3v2::UniqueFileIdentifierFrame*>(frame)) {
        std::string owner = identifierText(ufid->owner());
        if (!owner.empty() && owner != kMusicBrainzUFIDOwner) {
          finalKey = "MUSICBRAINZ_TRACKID:" + owner;
        }
        TagLib::ByteVector id = ufid->identifier();
        std::string text(id.data(), id.size());
        value->addValue(Object(isValidUtf8(text) ? text : std::string()));
      }
    } else if (frameId == "GRP1") {
      std::string text;
      for (const std::string& field : textFieldsOf(*frame)) {
        text += text.empty() ? field : " " + field;
      }
      value->addValue(Object(text));
    } else {
      value->addValue(Object(utf8(frame->toString())));
    }

    if (ownKey) {
      // Under the bare id's own key a second frame extends the first; under
      // a description or owner it replaces an earlier frame of this tag. A
      // key that an earlier tag filled stays that tag's.
      auto existing = record.metadataValueForKey(finalKey);
      if (existing && existing->type() != type) {
        continue;
      }
      if (existing && finalKey == key) {
        for (const Object& v : value->allValues()) {
          existing->addValue(v);
        }
        value = existing;
      }
      value->setKey(finalKey);
      storeIfNotEmpty(record, value, finalKey);
      continue;
    }
    storeIfNotEmpty(record, value, key);
  }
}

void addInfoFromID3v1Tag(TagLib::ID3v1::Tag& tag, AudioMetadata& record) {
  auto fillText = [&](const TagLib::String& text, const char* key) {
    if (!text.isEmpty() && !record.metadataValueForKey(key)) {
      record.setMetadataObjectValue(Object(utf8(text)), key);
    }
  };
  auto fillNumber = [&](unsigned int number, const char* key) {
    if (number != 0 && !record.metadataValueForKey(key)) {
      record.setMetadataObjectValue(Object(std::to_string(number)), key);
    }
  };
  fillText(tag.title(), "TRACKTITLE");
  fillText(tag.artist(), "TRACKARTIST");
  fillText(tag.album(), "ALBUM");
  fillText(tag.comment(), "COMMENTS");
  fillText(tag.genre(), "GENRE");
  fillNumber(tag.year(), "YEAR");
  fillNumber(tag.track(), "TRACKNUMBER");
}

void addInfoFromAPETag(TagLib::APE::Tag& tag, AudioMetadata& record) {
  constexpr int type = MetadataValue::TypeAPE;
  for (const auto& [itemKey, item] : tag.itemListMap()) {
    std::string name = identifierText(item.key());
    std::string key = keyForAPEItemKey(name);
    if (key == "ARTWORK") {
      TagLib::ByteVector bytes = item.binaryData();
      if (item.type() != TagLib::APE::Item::Binary) {
        bytes = item.value();
      }
      int zero = bytes.find(TagLib::ByteVector(1, '\0'));
      if (zero < 0) {
        continue;
      }
      std::string upper = asciiUppercase(name);
      auto artwork =
          makeArtwork(bytes.mid(static_cast<unsigned>(zero) + 1),
                      upper == "COVER ART (BACK)" ? 4U : 3U, std::nullopt, std::string());
      std::string filename(bytes.data(), static_cast<std::size_t>(zero));
      artwork->setOriginalFilename(isValidUtf8(filename) ? nonEmpty(filename) : std::nullopt);
      record.addArtwork(artwork);
      continue;
    }
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    switch (item.type()) {
      case TagLib::APE::Item::Binary:
        value->addValue(Object(dataOf(item.binaryData())));
        break;
      case TagLib::APE::Item::Text:
        if (key == "TRACKNUMBER" || key == "DISCNUMBER") {
          addMetadataValuesFromFullString(utf8(item.toString()), *value,
                                          key == "TRACKNUMBER" ? "TRACKTOTAL" : "DISCTOTAL",
                                          record);
        } else {
          for (const auto& text : item.values()) {
            value->addValue(Object(utf8(text)));
          }
        }
        break;
      case TagLib::APE::Item::Locator:
        break;
    }
    record.setMetadataValue(value, key);
  }
}

void addInfoFromASFTag(TagLib::ASF::Tag& tag, AudioMetadata& record) {
  constexpr int type = MetadataValue::TypeASF;
  auto setField = [&](const TagLib::String& text, const char* key) {
    if (!text.isEmpty()) {
      record.setMetadataObjectValue(Object(utf8(text)), key);
    }
  };
  setField(tag.comment(), "COMMENTS");
  setField(tag.title(), "TRACKTITLE");
  setField(tag.artist(), "TRACKARTIST");
  setField(tag.copyright(), "COPYRIGHT");
  setField(tag.rating(), "RATING");

  for (const auto& [name, attributes] : tag.attributeListMap()) {
    std::string key = keyForASFAttributeName(identifierText(name));
    if (key == "ARTWORK") {
      for (const auto& attribute : attributes) {
        if (attribute.type() != TagLib::ASF::Attribute::BytesType) {
          continue;
        }
        TagLib::ASF::Picture picture = attribute.toPicture();
        if (picture.isValid()) {
          record.addArtwork(makeArtwork(picture.picture(),
                                        static_cast<std::uint32_t>(picture.type()),
                                        utf8(picture.description()), utf8(picture.mimeType())));
        }
      }
      continue;
    }
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    for (const auto& attribute : attributes) {
      if (key == "TRACKNUMBER") {
        if (tag.track() != 0) {
          value->addValue(Object(std::to_string(tag.track())));
        }
      } else if (key == "DISCNUMBER") {
        addMetadataValuesFromFullString(utf8(attribute.toString()), *value, "DISCTOTAL", record);
      } else {
        switch (attribute.type()) {
          case TagLib::ASF::Attribute::UnicodeType:
            value->addValue(Object(utf8(attribute.toString())));
            break;
          case TagLib::ASF::Attribute::BytesType:
          case TagLib::ASF::Attribute::GuidType: {
            TagLib::ByteVector bytes = attribute.toByteVector();
            auto size = std::min<std::size_t>(
                bytes.size(), static_cast<std::size_t>(std::max(0, attribute.dataSize())));
            value->addValue(Object(Data(bytes.data(), size)));
            break;
          }
          case TagLib::ASF::Attribute::BoolType:
            value->addValue(Object(attribute.toBool() ? "1" : "0"));
            break;
          case TagLib::ASF::Attribute::DWordType:
            value->addValue(Object(std::to_string(attribute.toUInt())));
            break;
          case TagLib::ASF::Attribute::QWordType:
            value->addValue(Object(std::to_string(attribute.toULongLong())));
            break;
          case TagLib::ASF::Attribute::WordType:
            value->addValue(Object(std::to_string(attribute.toUShort())));
            break;
          default:
            value->addValue(Object(utf8(attribute.toString())));
            break;
        }
      }
    }
    storeIfNotEmpty(record, value, key);
  }
}

void addInfoFromMP4Tag(TagLib::MP4::Tag& tag, AudioMetadata& record) {
  constexpr int type = MetadataValue::TypeMP4;
  for (const auto& [name, item] : tag.itemMap()) {
    std::string atom = utf8(name);  // TagLib holds atom names as ISO 8859-1 characters
    std::string key = keyForMP4Atom(atom);
    if (key == "ARTWORK") {
      for (const auto& cover : item.toCoverArtList()) {
        record.addArtwork(makeArtwork(
            cover.data(), 3, std::nullopt,
            cover.format() == TagLib::MP4::CoverArt::JPEG ? "image/jpeg" : "image/png"));
      }
      continue;
    }
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    if (key == "TRACKNUMBER" || key == "DISCNUMBER") {
      auto pair = item.toIntPair();
      if (pair.first != 0) {
        value->setValue(Object(std::to_string(pair.first)));
      }
      if (pair.second != 0) {
        const char* totalKey = key == "TRACKNUMBER" ? "TRACKTOTAL" : "DISCTOTAL";
        record.setMetadataValue(
            std::make_shared<MetadataValue>(totalKey, Object(std::to_string(pair.second)), type),
            totalKey);
      }
    } else if (key == "BPM") {
      if (item.toInt() != 0) {
        value->setValue(Object(std::to_string(item.toInt())));
      }
    } else if (key == "GAPLESS" || key == "PARTOFACOMPILATION" || key == "SHOWMOVEMENT") {
      if (item.toBool()) {
        value->setValue(Object("1"));
      }
    } else if (key == "MOVEMENTTOTAL" || key == "MOVEMENTNUMBER" || atom == "cnID" ||
               atom == "tvsn" || atom == "tves" || atom == "sfID" || atom == "atID" ||
               atom == "geID") {
      value->addValue(Object(std::to_string(item.toInt())));
    } else if (atom == "pcst") {
      value->addValue(Object("1"));
    } else if (atom == "hdvd" || atom == "stik" || atom == "rtng" || atom == "pgap" ||
               atom == "akID") {
      value->addValue(Object(std::to_string(static_cast<unsigned>(item.toByte()))));
    } else if (atom == "plID") {
      value->addValue(Object(std::to_string(item.toLongLong())));
    } else {
      TagLib::StringList strings = item.toStringList();
      if (!strings.isEmpty()) {
        for (const auto& s : strings) {
          value->addValue(Object(utf8(s)));
        }
      } else {
        for (const auto& bytes : item.toByteVectorList()) {
          value->addValue(Object(dataOf(bytes)));
        }
      }
    }
    storeIfNotEmpty(record, value, key);
  }
}

void addInfoFromVorbisTag(TagLib::Ogg::XiphComment& tag, AudioMetadata& record, bool readArtwork) {
  constexpr int type = MetadataValue::TypeVorbis;
  static const std::string kPictureField = "METADATA_BLOCK_PICTURE";
  // TagLib moves METADATA_BLOCK_PICTURE fields out of the field map into its
  // picture list; the name still takes its place in name order.
  std::map<std::string, std::vector<std::string>> fields;
  for (const auto& [name, values] : tag.fieldListMap()) {
    auto& list = fields[identifierText(name)];
    for (const auto& v : values) {
      list.push_back(utf8(v));
    }
  }
  const TagLib::List<TagLib::FLAC::Picture*> pictures = tag.pictureList();
  if (!pictures.isEmpty()) {
    fields[kPictureField];
  }
  // Never inserts: the loop below walks the map.
  auto ownPictureTexts = [&]() -> std::vector<std::string> {
    auto it = fields.find(kPictureField);
    return it == fields.end() ? std::vector<std::string>() : it->second;
  };
  // The field's texts: what the field map holds, then TagLib's pictures
  // rendered back to Base64. Rendered only where the text is wanted.
  auto pictureTexts = [&] {
    std::vector<std::string> texts = ownPictureTexts();
    for (TagLib::FLAC::Picture* picture : pictures) {
      texts.push_back(utf8(picture->render().toBase64()));
    }
    return texts;
  };

  for (const auto& [name, fieldValues] : fields) {
    std::string key = keyForVorbisField(name);
    if (readArtwork && key == "ARTWORK") {
      if (ownPictureTexts().empty() && !pictures.isEmpty()) {
        // All the texts decode as one picture block: the first picture. TagLib
        // has parsed it already, so it is taken as it is.
        const TagLib::FLAC::Picture& picture = *pictures.front();
        record.addArtwork(makeArtwork(picture.data(), static_cast<std::uint32_t>(picture.type()),
                                      utf8(picture.description()), utf8(picture.mimeType())));
        continue;
      }
      std::string joined;
      for (const auto& text : pictureTexts()) {
        joined += joined.empty() ? text : " " + text;
      }
      std::string bytes = decodeBase64Lenient(joined);
      TagLib::FLAC::Picture picture;
      if (!bytes.empty() &&
          picture.parse(TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size())))) {
        record.addArtwork(makeArtwork(picture.data(), static_cast<std::uint32_t>(picture.type()),
                                      utf8(picture.description()), utf8(picture.mimeType())));
      }
      continue;
    }
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    const std::vector<std::string> values = name == kPictureField ? pictureTexts() : fieldValues;
    for (const auto& text : values) {
      if (key == "TRACKNUMBER" || key == "DISCNUMBER") {
        std::string ascii = isAscii(text) ? text : std::string();
        addMetadataValuesFromFullString(ascii, *value,
                                        key == "TRACKNUMBER" ? "TRACKTOTAL" : "DISCTOTAL", record);
      } else {
        value->addValue(Object(text));
      }
    }
    record.setMetadataValue(value, key);
  }
}

void addInfoFromINFOTag(TagLib::RIFF::Info::Tag& tag, AudioMetadata& record) {
  constexpr int type = MetadataValue::TypeINFO;
  for (const auto& [id, text] : tag.fieldListMap()) {
    std::string key = keyForINFOChunkId(identifierText(TagLib::String(id, TagLib::String::Latin1)));
    auto value = valueForFirstTagRule(record, key, type);
    if (!value) {
      continue;
    }
    value->addValue(Object(utf8(text)));
    storeIfNotEmpty(record, value, key);
  }
}

}  // namespace TagReaders
}  // namespace quorvel
