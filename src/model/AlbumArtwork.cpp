#include "model/AlbumArtwork.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>

#include "model/ArtworkDataCache.h"
#include "platform/FileOperations.h"
#include "platform/KeyedArchive.h"

namespace quorvel {

namespace {

constexpr const char* kClassName = "AlbumArtwork";

// Saving passes no properties, so JPEG gets the encoder's usual quality.
constexpr float kDefaultJPEGCompression = 0.75f;

struct MimeRow {
  std::string_view mimeType;
  std::string_view extension;
  BitmapFileType fileType;
};

// What each MIME type becomes when the picture is saved as a file. BMP keeps
// its extension but is re-encoded as JPEG, like every type not listed here.
constexpr std::array<MimeRow, 5> kMimeTable = {{
    {"image/jpeg", "jpg", BitmapFileType::JPEG},
    {"image/png", "png", BitmapFileType::PNG},
    {"image/gif", "gif", BitmapFileType::GIF},
    {"image/tiff", "tiff", BitmapFileType::TIFF},
    {"image/bmp", "bmp", BitmapFileType::JPEG},
}};
constexpr MimeRow kOtherMime = {"unknown", "jpg", BitmapFileType::JPEG};

const MimeRow& rowFor(const std::string& mimeType) {
  for (const auto& row : kMimeTable) {
    if (row.mimeType == mimeType) {
      return row;
    }
  }
  return kOtherMime;
}

// The picture's name as the path's last component ("/a/b.jpg" and "/a/b.jpg/"
// both give "b.jpg").
std::string lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') {
    path.remove_suffix(1);
  }
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos || path.size() == 1) {
    return std::string(path);
  }
  return std::string(path.substr(slash + 1));
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The local path of a "file://" URL, or none for any other URL.
std::optional<std::string> localPathOfURL(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.size() < kScheme.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) {
      return std::nullopt;
    }
  }
  url.remove_prefix(kScheme.size());
  url = url.substr(0, url.find_first_of("?#"));
  const auto slash = url.find('/');
  if (slash == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view host = url.substr(0, slash);
  if (!host.empty() && host != "localhost") {
    return std::nullopt;
  }
  std::string path;
  for (std::size_t i = slash; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size() && hexValue(url[i + 1]) >= 0 &&
        hexValue(url[i + 2]) >= 0) {
      const char decoded = static_cast<char>(hexValue(url[i + 1]) * 16 + hexValue(url[i + 2]));
      if (decoded == '\0') {
        return std::nullopt;
      }
      path += decoded;
      i += 2;
    } else {
      path += url[i];
    }
  }
  return path;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting failure (a delayed write error shows up here).
  bool close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const Data& data) {
  const std::uint8_t* p = data.bytes();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// The process's umask without changing it (umask() would race other threads).
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
      } catch (const std::exception&) {
        break;
      }
    }
  }
  return 022;
}

}  // namespace

std::string AlbumArtwork::mimeTypeForData(const Data& data) {
  if (data.empty()) {
    return "unknown";
  }
  switch (data.bytes()[0]) {
    case 0x47:
      return "image/gif";
    case 0x49:
    case 0x4D:
      return "image/tiff";
    case 0x89:
      return "image/png";
    case 0xFF:
      return "image/jpeg";
    default:
      return "unknown";
  }
}

Data AlbumArtwork::internedData(const Data& data) { return ArtworkDataCache::intern(data); }

std::shared_ptr<AlbumArtwork> AlbumArtwork::albumArtworkFromData(
    const Data& data, const std::string& originalFileName) {
  if (data.empty()) {
    return nullptr;
  }
  auto header = ImageCodec::readHeader(data);
  if (!header || !header->decodable) {
    return nullptr;
  }
  auto artwork = std::make_shared<AlbumArtwork>();
  artwork->storeData(data, header);
  artwork->originalFilename_ = originalFileName;
  return artwork;
}

std::shared_ptr<AlbumArtwork> AlbumArtwork::albumArtworkFromFile(const std::string& path) {
  auto bytes = readRegularFile(path, kMaxFileSize);
  if (!bytes) {
    return nullptr;
  }
  return albumArtworkFromData(Data(std::move(*bytes)), lastPathComponent(path));
}

std::shared_ptr<AlbumArtwork> AlbumArtwork::albumArtworkFromURL(const std::string& url) {
  auto path = localPathOfURL(url);
  if (!path) {
    return nullptr;
  }
  return albumArtworkFromFile(*path);
}

void AlbumArtwork::setData(const Data& data) {
  if (data.isSameObject(data_)) {
    return;
  }
  storeData(data, std::nullopt);
}

void AlbumArtwork::storeData(const Data& data, std::optional<ImageCodec::Header> header) {
  std::string digest;
  data_ = ArtworkDataCache::intern(data, &digest);
  md5_ = std::move(digest);
  mimeType_ = mimeTypeForData(data_);
  if (!header && !data_.empty()) {
    header = ArtworkDataCache::headerOf(data_);
  }
  // The declared size, even beyond the decoding limit: it is only a number here.
  width_ = header ? header->width : 0;
  height_ = header ? header->height : 0;
}

std::string AlbumArtwork::dimensions() const {
  return std::to_string(width_) + " x " + std::to_string(height_);
}

std::string AlbumArtwork::extension() const { return std::string(rowFor(mimeType_).extension); }

BitmapFileType AlbumArtwork::imageFileType() const { return rowFor(mimeType_).fileType; }

Data AlbumArtwork::archivedData() const {
  KeyedArchive::Object object;
  object.className = kClassName;
  object.fields["artworkType"] = std::int64_t{type_};
  object.fields["data"] = data_;
  object.fields["originalFilename"] =
      originalFilename_ ? KeyedArchive::Value{*originalFilename_} : KeyedArchive::Value{};
  object.fields["comments"] = comments_ ? KeyedArchive::Value{*comments_} : KeyedArchive::Value{};
  return KeyedArchive::archive(object);
}

std::shared_ptr<AlbumArtwork> AlbumArtwork::fromArchivedData(const Data& archive, Error* error) {
  auto object = KeyedArchive::unarchive(archive, kClassName, error);
  if (!object) {
    return nullptr;
  }
  auto bad = [error](const std::string& what) {
    setError(error, kQuorvelErrorDomain, KeyedArchive::kReadCorruptError,
             "The data couldn’t be read because it isn’t in the correct format (" + what + ").");
    return nullptr;
  };
  const auto& fields = object->fields;
  auto artwork = std::make_shared<AlbumArtwork>();

  std::int64_t type = 0;
  if (auto it = fields.find("artworkType"); it != fields.end()) {
    const auto* number = std::get_if<std::int64_t>(&it->second);
    if (!number || *number < 0 || *number > std::int64_t{UINT32_MAX}) {
      return bad("artworkType");
    }
    type = *number;
  }
  auto it = fields.find("data");
  const Data* bytes = it != fields.end() ? std::get_if<Data>(&it->second) : nullptr;
  if (!bytes || bytes->empty()) {
    return bad("data");
  }
  for (const char* key : {"originalFilename", "comments"}) {
    auto field = fields.find(key);
    if (field == fields.end() || std::holds_alternative<std::monostate>(field->second)) {
      continue;
    }
    const auto* text = std::get_if<std::string>(&field->second);
    if (!text) {
      return bad(key);
    }
    (std::string_view(key) == "comments" ? artwork->comments_ : artwork->originalFilename_) = *text;
  }
  artwork->type_ = static_cast<std::uint32_t>(type);
  artwork->setData(*bytes);
  return artwork;
}

bool AlbumArtwork::writeToFile(const std::string& path, Error* error) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Replace what a link points to, not the link.
  fs::path target = fs::is_symlink(fs::symlink_status(path, ec)) ? fs::weakly_canonical(path, ec)
                                                                 : fs::path(path);
  if (ec) {
    target = path;
  }
  std::string pattern = target.string() + ".XXXXXX";
  FileDescriptor fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) {
    return setFileError(error, errno, path);
  }
  struct stat existing {};
  const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                             : (0666 & ~currentUmask());
  if (::fchmod(fd.get(), mode) != 0 || !writeAll(fd.get(), data_) || ::fsync(fd.get()) != 0 ||
      !fd.close() || ::rename(pattern.c_str(), target.c_str()) != 0) {
    const int errorNumber = errno;
    ::unlink(pattern.c_str());
    return setFileError(error, errorNumber, path);
  }
  return true;
}

bool AlbumArtwork::saveAsType(BitmapFileType type, const std::string& path, Error* error) const {
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    return setFileError(error, EEXIST, path);
  }
  Data encoded = ImageCodec::convert(data_, type, kDefaultJPEGCompression, error);
  if (encoded.empty()) {
    return false;
  }
  // O_EXCL: something created at the path meanwhile (even a link) is kept.
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    const int errorNumber = errno;
    return setFileError(error, errorNumber, path);
  }
  if (!writeAll(fd.get(), encoded) || !fd.close()) {
    const int errorNumber = errno;
    ::unlink(path.c_str());
    return setFileError(error, errorNumber, path);
  }
  return true;
}

}  // namespace quorvel
