#include "model/DSFFile.h"

namespace quorvel {

namespace {

constexpr std::uint64_t kDSDChunkSize = 28;
constexpr std::uint64_t kChunkHeaderSize = 12;
constexpr std::uint64_t kFormatChunkSize = kChunkHeaderSize + DSFProperties::kFormatBodySize;
// The format chunk is 52 bytes in every known version; a little slack is
// allowed for future versions, but never enough to make a hostile size an
// allocation.
constexpr std::uint64_t kMaxFormatChunkSize = 4096;

std::uint64_t readUInt64(const TagLib::ByteVector& data, unsigned offset) {
  return static_cast<std::uint64_t>(data.toLongLong(offset, false));
}

const TagLib::ID3v2::FrameFactory* factoryOrDefault(const TagLib::ID3v2::FrameFactory* factory) {
  return factory ? factory : TagLib::ID3v2::FrameFactory::instance();
}

}  // namespace

DSFFile::DSFFile(TagLib::FileName file, bool readProperties,
                 TagLib::AudioProperties::ReadStyle style,
                 const TagLib::ID3v2::FrameFactory* frameFactory)
    : TagLib::File(file), factory_(factoryOrDefault(frameFactory)) {
  if (isOpen()) read(readProperties, style);
}

DSFFile::DSFFile(TagLib::IOStream* stream, bool readProperties,
                 TagLib::AudioProperties::ReadStyle style,
                 const TagLib::ID3v2::FrameFactory* frameFactory)
    : TagLib::File(stream), factory_(factoryOrDefault(frameFactory)) {
  if (isOpen()) read(readProperties, style);
}

DSFFile::~DSFFile() = default;

void DSFFile::read(bool readProperties, TagLib::AudioProperties::ReadStyle style) {
  const long streamLength = length();
  if (streamLength < 0) {
    setValid(false);
    return;
  }
  const auto actualLength = static_cast<std::uint64_t>(streamLength);

  // "DSD " chunk: id, chunk size (28), total file size, metadata offset.
  seek(0);
  const TagLib::ByteVector dsd = readBlock(kDSDChunkSize);
  if (dsd.size() != kDSDChunkSize || !dsd.startsWith("DSD ") ||
      readUInt64(dsd, 4) != kDSDChunkSize) {
    setValid(false);
    return;
  }
  fileSize_ = readUInt64(dsd, 12);
  metadataOffset_ = readUInt64(dsd, 20);
  // Trailing bytes after the declared size are tolerated; a file shorter
  // than it claims is truncated.
  if (fileSize_ > actualLength || fileSize_ < kDSDChunkSize + kFormatChunkSize + kChunkHeaderSize) {
    setValid(false);
    return;
  }

  // "fmt " chunk.
  const TagLib::ByteVector formatHeader = readBlock(kChunkHeaderSize);
  if (formatHeader.size() != kChunkHeaderSize || !formatHeader.startsWith("fmt ")) {
    setValid(false);
    return;
  }
  const std::uint64_t formatSize = readUInt64(formatHeader, 4);
  if (formatSize < kFormatChunkSize || formatSize > kMaxFormatChunkSize ||
      formatSize > fileSize_ - kDSDChunkSize - kChunkHeaderSize) {
    setValid(false);
    return;
  }
  const TagLib::ByteVector formatBody =
      readBlock(static_cast<unsigned long>(formatSize - kChunkHeaderSize));
  if (formatBody.size() != formatSize - kChunkHeaderSize) {
    setValid(false);
    return;
  }

  // "data" chunk: its size includes its own 12-byte header.
  dataOffset_ = kDSDChunkSize + formatSize;
  seek(static_cast<long>(dataOffset_));
  const TagLib::ByteVector dataHeader = readBlock(kChunkHeaderSize);
  if (dataHeader.size() != kChunkHeaderSize || !dataHeader.startsWith("data")) {
    setValid(false);
    return;
  }
  const std::uint64_t dataSize = readUInt64(dataHeader, 4);
  if (dataSize < kChunkHeaderSize || dataSize > fileSize_ - dataOffset_) {
    setValid(false);
    return;
  }
  dataEnd_ = dataOffset_ + dataSize;

  // The metadata must lie after the audio: saving replaces everything from
  // the offset on, so an offset inside the chunks would destroy them.
  if (metadataOffset_ != 0 && (metadataOffset_ < dataEnd_ || metadataOffset_ > fileSize_)) {
    setValid(false);
    return;
  }

  if (readProperties) {
    properties_ = std::make_unique<DSFProperties>(formatBody, style);
  }

  if (metadataOffset_ != 0 && metadataOffset_ < fileSize_) {
    seek(static_cast<long>(metadataOffset_));
    if (readBlock(3) == "ID3") {
      tag_ =
          std::make_unique<TagLib::ID3v2::Tag>(this, static_cast<long>(metadataOffset_), factory_);
      hasTag_ = true;
    }
  }
}

TagLib::ID3v2::Tag* DSFFile::tag() const {
  if (!isValid()) return nullptr;
  if (!tag_) tag_ = std::make_unique<TagLib::ID3v2::Tag>();
  return tag_.get();
}

DSFProperties* DSFFile::audioProperties() const { return properties_.get(); }

TagLib::ID3v2::Tag* DSFFile::ID3v2Tag(bool create) {
  if (create) return tag();
  return tag_.get();
}

bool DSFFile::save() { return save(TagLib::ID3v2::v4); }

bool DSFFile::save(TagLib::ID3v2::Version version) {
  if (readOnly() || !isValid()) return false;
  if (!tag_ || tag_->isEmpty()) return strip();

  const TagLib::ByteVector tagData = tag_->render(version);
  // With no tag yet the new one goes right after what the file declares as
  // its content, so nothing of the file (not even unknown trailing bytes)
  // is overwritten.
  const std::uint64_t offset = metadataOffset_ != 0 ? metadataOffset_ : fileSize_;
  const std::uint64_t replaced = fileSize_ - offset;
  insert(tagData, static_cast<unsigned long>(offset), static_cast<unsigned long>(replaced));

  metadataOffset_ = offset;
  fileSize_ = offset + tagData.size();
  hasTag_ = true;
  return writeHeader();
}

bool DSFFile::strip() {
  if (readOnly() || !isValid()) return false;
  if (metadataOffset_ != 0) {
    removeBlock(static_cast<unsigned long>(metadataOffset_),
                static_cast<unsigned long>(fileSize_ - metadataOffset_));
    fileSize_ = metadataOffset_;
    metadataOffset_ = 0;
  }
  tag_.reset();
  hasTag_ = false;
  return writeHeader();
}

bool DSFFile::writeHeader() {
  TagLib::ByteVector fields =
      TagLib::ByteVector::fromLongLong(static_cast<long long>(fileSize_), false);
  fields.append(TagLib::ByteVector::fromLongLong(static_cast<long long>(metadataOffset_), false));
  seek(12);
  writeBlock(fields);
  return true;
}

}  // namespace quorvel
