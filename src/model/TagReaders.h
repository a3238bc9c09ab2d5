#pragma once

#include <memory>
#include <string>

namespace TagLib {
namespace ID3v2 {
class Tag;
}
namespace ID3v1 {
class Tag;
}
namespace APE {
class Tag;
}
namespace ASF {
class Tag;
}
namespace MP4 {
class Tag;
}
namespace Ogg {
class XiphComment;
}
namespace RIFF::Info {
class Tag;
}
}  // namespace TagLib

namespace quorvel {

class AudioMetadata;
class MetadataValue;

// The tag readers: each copies one tag, as TagLib parsed it, into a record.
// Names become canonical keys through the reverse mapping tables; values keep
// their kind; pictures become artworks. A key that an earlier tag of the same
// file filled (a value with another origin code) is left alone, so the order
// in which a container reader calls these is the precedence of its tags.
//
// The record must have no undo manager attached. Not thread-safe per record;
// different records may be read on different threads.
namespace TagReaders {

void addInfoFromID3v2Tag(TagLib::ID3v2::Tag& tag, AudioMetadata& record);
void addInfoFromID3v1Tag(TagLib::ID3v1::Tag& tag, AudioMetadata& record);
void addInfoFromAPETag(TagLib::APE::Tag& tag, AudioMetadata& record);
void addInfoFromASFTag(TagLib::ASF::Tag& tag, AudioMetadata& record);
void addInfoFromMP4Tag(TagLib::MP4::Tag& tag, AudioMetadata& record);
void addInfoFromVorbisTag(TagLib::Ogg::XiphComment& tag, AudioMetadata& record, bool readArtwork);
void addInfoFromINFOTag(TagLib::RIFF::Info::Tag& tag, AudioMetadata& record);

// Splits "3/12" into the number value's text ("3") and a new value under
// `totalKey` ("12", same origin code) that replaces what stood there. Without
// a "/" the whole text is the number. The caller stores `numberValue`.
void addMetadataValuesFromFullString(const std::string& text, MetadataValue& numberValue,
                                     const std::string& totalKey, AudioMetadata& record);

}  // namespace TagReaders
}  // namespace quorvel
