#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ImageCodec.h"
#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// BitmapFileType (TIFF 0, BMP 1, GIF 2, JPEG 3, PNG 4) comes from platform/ImageCodec.h.

// One picture embedded in a file's tags (or read from an image file, the
// clipboard or the network): the encoded bytes exactly as stored, the picture
// type, a description and the name of the file it came from. MIME type, pixel
// size, byte count and MD5 are derived from the bytes whenever they are set.
//
// Artworks are shared objects (records hold std::shared_ptr<AlbumArtwork>);
// the bytes are immutable and shared between copies.
class AlbumArtwork {
 public:
  AlbumArtwork() = default;

  // A new artwork (type 3, front cover) with `data` and the name. None for
  // empty bytes, bytes not in an accepted image format, and images whose
  // header declares more than ImageCodec::kMaxPixels pixels (never decoded).
  // Only the header is read. The bytes are interned. Thread: any.
  static std::shared_ptr<AlbumArtwork> albumArtworkFromData(const Data& data,
                                                            const std::string& originalFileName);
  // As albumArtworkFromData with the contents of a regular file of at most
  // kMaxFileSize bytes and the path's last component. None when the file
  // cannot be read. Thread: any.
  static std::shared_ptr<AlbumArtwork> albumArtworkFromFile(const std::string& path);
  // As albumArtworkFromFile for a "file://" URL (percent-escapes decoded).
  // Other schemes give none: downloads belong to the layers that own HTTP.
  static std::shared_ptr<AlbumArtwork> albumArtworkFromURL(const std::string& url);

  // The bytes shared by every artwork holding equal bytes: readers pass each
  // picture through this so that a cover repeated across an album's files is
  // held once (setData interns as well). Thread: any.
  static Data internedData(const Data& data);

  // Largest image file albumArtworkFromFile reads.
  static constexpr std::uintmax_t kMaxFileSize = 256u * 1024 * 1024;

  // Keyed-archive form (class "AlbumArtwork") with the keys "artworkType",
  // "data", "originalFilename", "comments"; derived fields are not archived.
  // Thread: any (reading this artwork).
  Data archivedData() const;
  // Restores an artwork from archivedData(), setting the bytes through
  // setData so every derived field is computed afresh. None, with `error`
  // (KeyedArchive::kReadCorruptError), for anything that is not such an
  // archive: another class, missing, empty or non-byte "data", a type outside
  // 32 bits, non-string names. A missing type reads as 0. Thread: any.
  static std::shared_ptr<AlbumArtwork> fromArchivedData(const Data& archive,
                                                        Error* error = nullptr);

  std::uint32_t artworkType() const { return type_; }
  void setArtworkType(std::uint32_t type) { type_ = type; }
  const Data& data() const { return data_; }
  // Stores the bytes (interned) and derives width and height (header only),
  // size, MIME type and MD5, unless they are the very same buffer already
  // held. Bytes that are not an image give width and height 0. Not
  // synchronised: one writer, no concurrent readers.
  void setData(const Data& data);
  const std::string& mimeType() const { return mimeType_; }
  void setMimeType(std::string mimeType) { mimeType_ = std::move(mimeType); }
  const std::optional<std::string>& originalFilename() const { return originalFilename_; }
  void setOriginalFilename(std::optional<std::string> name) { originalFilename_ = std::move(name); }
  const std::optional<std::string>& comments() const { return comments_; }
  void setComments(std::optional<std::string> comments) { comments_ = std::move(comments); }
  std::size_t dataSize() const { return data_.size(); }
  std::int64_t width() const { return width_; }
  std::int64_t height() const { return height_; }
  const std::string& md5() const { return md5_; }

  std::string dimensions() const;  // "%ld x %ld" of width and height
  // By MIME type: "jpg", "png", "gif", "tiff", "bmp"; "jpg" for any other.
  std::string extension() const;
  // By MIME type: JPEG, PNG, GIF, TIFF; JPEG for "image/bmp" and any other.
  BitmapFileType imageFileType() const;
  std::string description() const { return mimeType_; }
  std::string stringValue() const { return md5_; }

  // MIME type by the first byte of encoded image data ("unknown" when none fits).
  static std::string mimeTypeForData(const Data& data);

  // Writes the bytes unchanged, atomically (temporary file, then rename).
  // False with `error` when it cannot. Thread: any.
  bool writeToFile(const std::string& path, Error* error = nullptr) const;
  // Decodes the bytes, encodes them in `type` without metadata and writes
  // the result, only when nothing exists at `path` (the existing entry, even
  // a dangling link, is left untouched and error 516 is returned). Images
  // beyond the decoding limit are refused. Thread: any.
  bool saveAsType(BitmapFileType type, const std::string& path, Error* error = nullptr) const;

 private:
  // setData with the header when the caller has already read it.
  void storeData(const Data& data, std::optional<ImageCodec::Header> header);

  std::uint32_t type_ = 3;  // front cover
  std::optional<std::string> originalFilename_;
  std::optional<std::string> comments_;
  Data data_;
  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
  std::string mimeType_ = "unknown";
  std::string md5_;
};

using AlbumArtworkPtr = std::shared_ptr<AlbumArtwork>;

}  // namespace quorvel
