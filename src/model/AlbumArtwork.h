#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

class PlistValue;

// Bitmap file types, numbered as the desktop's bitmap image classes number them.
enum class BitmapFileType : int { TIFF = 0, BMP = 1, GIF = 2, JPEG = 3, PNG = 4 };

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

  // None for empty bytes or bytes that do not decode as an image.
  static std::shared_ptr<AlbumArtwork> albumArtworkFromData(const Data& data,
                                                            const std::string& originalFileName);
  static std::shared_ptr<AlbumArtwork> albumArtworkFromFile(const std::string& path);
  static std::shared_ptr<AlbumArtwork> albumArtworkFromURL(const std::string& url);

  // Keyed-archive form with the keys "artworkType", "data", "originalFilename",
  // "comments"; restoring sets the data through setData, deriving every field.
  Data archivedData() const;
  static std::shared_ptr<AlbumArtwork> fromArchivedData(const Data& archive, Error* error = nullptr);

  std::uint32_t artworkType() const { return type_; }
  void setArtworkType(std::uint32_t type) { type_ = type; }
  const Data& data() const { return data_; }
  // Stores the bytes and derives width, height, size, MIME type and MD5, unless
  // they are the very same buffer already held.
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

  std::string dimensions() const;  // "%ld x %ld"
  std::string extension() const;   // by MIME type: "jpg", "png", "gif", "tiff", "bmp"
  BitmapFileType imageFileType() const;
  std::string description() const { return mimeType_; }
  std::string stringValue() const { return md5_; }

  // Writes the bytes unchanged, atomically.
  bool writeToFile(const std::string& path, Error* error = nullptr) const;
  // Re-encodes in `type` and writes, only when nothing exists at `path`.
  bool saveAsType(BitmapFileType type, const std::string& path, Error* error = nullptr) const;

 private:
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
