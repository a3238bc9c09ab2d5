#pragma once

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/tfile.h>

#include <cstdint>
#include <memory>

#include "model/DSFProperties.h"

namespace quorvel {

// A DSD Stream File (Sony's DSF): a "DSD " chunk (total file size and the
// offset of the metadata), a "fmt " chunk, a "data" chunk, and optionally an
// ID3v2 tag at the metadata offset, which is at the end of the file.
// TagLib 1.13 has no class for it; this one keeps the tag through
// TagLib::ID3v2::Tag like TagLib's own file classes do.
//
// Not thread-safe: one thread per object, like every TagLib::File.
class DSFFile : public TagLib::File {
 public:
  // Opens and parses `file`. A file whose chunks are missing, inconsistent
  // or truncated is left with isValid() false; nothing is read past the end
  // of the file and no chunk size is trusted for an allocation.
  // `frameFactory` parses the tag's frames (TagLib's default when null).
  explicit DSFFile(TagLib::FileName file, bool readProperties = true,
                   TagLib::AudioProperties::ReadStyle style = TagLib::AudioProperties::Average,
                   const TagLib::ID3v2::FrameFactory* frameFactory = nullptr);
  // The same over a stream the caller owns and keeps alive.
  explicit DSFFile(TagLib::IOStream* stream, bool readProperties = true,
                   TagLib::AudioProperties::ReadStyle style = TagLib::AudioProperties::Average,
                   const TagLib::ID3v2::FrameFactory* frameFactory = nullptr);
  ~DSFFile() override;
  DSFFile(const DSFFile&) = delete;
  DSFFile& operator=(const DSFFile&) = delete;

  // The ID3v2 tag; an empty one is created when the file has none (it only
  // reaches the file on save()). Null only for an invalid file.
  TagLib::ID3v2::Tag* tag() const override;
  // The properties, or null when they were not read or the file is invalid.
  DSFProperties* audioProperties() const override;

  // Writes the tag as ID3v2.4 (see save(version)).
  bool save() override;
  // Writes the tag in `version` at the metadata offset, replacing the old
  // tag there, or after the data when the file had none, and updates the
  // total size and metadata offset of the "DSD " chunk. An empty tag is
  // removed from the file instead (as strip()). Returns false for a
  // read-only or invalid file.
  bool save(TagLib::ID3v2::Version version);

  // The tag, or null when the file has none on disk and none was created;
  // `create` creates an empty one.
  TagLib::ID3v2::Tag* ID3v2Tag(bool create = false);
  // True when the file held an ID3v2 tag at its metadata offset when it was
  // read or last saved.
  bool hasID3v2Tag() const { return hasTag_; }
  // Removes the tag from the file now (truncating the metadata) and sets the
  // metadata offset to 0. Returns false for a read-only or invalid file.
  bool strip();

  // Values of the "DSD " and "data" chunks as last read or written.
  std::uint64_t totalFileSize() const { return fileSize_; }
  std::uint64_t metadataOffset() const { return metadataOffset_; }
  std::uint64_t dataChunkOffset() const { return dataOffset_; }
  std::uint64_t dataChunkEnd() const { return dataEnd_; }

 private:
  void read(bool readProperties, TagLib::AudioProperties::ReadStyle style);
  bool writeHeader();

  const TagLib::ID3v2::FrameFactory* factory_;
  // tag() is const in TagLib's interface yet creates the tag on demand.
  mutable std::unique_ptr<TagLib::ID3v2::Tag> tag_;
  std::unique_ptr<DSFProperties> properties_;
  std::uint64_t fileSize_ = 0;
  std::uint64_t metadataOffset_ = 0;
  std::uint64_t dataOffset_ = 0;
  std::uint64_t dataEnd_ = 0;
  bool hasTag_ = false;
};

}  // namespace quorvel
