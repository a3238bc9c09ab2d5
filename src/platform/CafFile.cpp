#include "platform/CafFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

#include "platform/OSStatus.h"

namespace quorvel {

namespace {

constexpr std::uint64_t kFileHeaderSize = 8;
constexpr std::uint64_t kChunkHeaderSize = 12;
constexpr std::uint64_t kDescriptionSize = 32;
constexpr std::uint64_t kCopyBufferSize = 1u << 20;

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

std::uint64_t be64(const std::uint8_t* p) { return (std::uint64_t{be32(p)} << 32) | be32(p + 4); }

void appendBE(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool fail(Error* error, int code, const std::string& message) {
  return setError(error, kOSStatusErrorDomain, code, message);
}

int openErrorCode(int err) {
  return err == ENOENT || err == ENOTDIR                 ? osstatus::kFileNotFoundError
         : err == EACCES || err == EPERM || err == EROFS ? osstatus::kPermissionsError
                                                         : osstatus::kIOError;
}

// Reads exactly `size` bytes at `offset`; false when the stream has fewer.
bool readAt(std::istream& in, std::uint64_t offset, void* buffer, std::uint64_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  if (!in) return false;
  in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  return static_cast<std::uint64_t>(in.gcount()) == size;
}

bool copyRange(std::istream& in, std::ostream& out, std::uint64_t offset, std::uint64_t size,
               Error* error) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min(size, kCopyBufferSize)));
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  while (size > 0) {
    const auto step = std::min<std::uint64_t>(size, buffer.size());
    in.read(buffer.data(), static_cast<std::streamsize>(step));
    if (static_cast<std::uint64_t>(in.gcount()) != step) {
      return fail(error, osstatus::kIOError, "Reading the CAF file failed.");
    }
    out.write(buffer.data(), static_cast<std::streamsize>(step));
    if (!out) return fail(error, osstatus::kIOError, "Writing the CAF file failed.");
    size -= step;
  }
  return true;
}

InfoDictionary parseInfo(const Data& body) {
  InfoDictionary info;
  if (body.size() < 4) return info;
  const std::uint32_t count = be32(body.bytes());
  const std::string_view rest = body.view().substr(4);
  std::size_t at = 0;
  // The count is only an upper bound: the entries end where the bytes do.
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t keyEnd = rest.find('\0', at);
    if (keyEnd == std::string_view::npos) break;
    const std::size_t valueEnd = rest.find('\0', keyEnd + 1);
    if (valueEnd == std::string_view::npos) break;
    const std::string_view key = rest.substr(at, keyEnd - at);
    const std::string_view value = rest.substr(keyEnd + 1, valueEnd - keyEnd - 1);
    if (isValidUtf8(key) && isValidUtf8(value)) info.set(std::string(key), std::string(value));
    at = valueEnd + 1;
  }
  return info;
}

std::string textUpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

std::optional<CafFile> CafFile::read(std::istream& in, Error* error) {
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (!in || end < 0) {
    fail(error, osstatus::kIOError, "Reading the file failed.");
    return std::nullopt;
  }
  CafFile caf;
  caf.fileSize_ = static_cast<std::uint64_t>(end);

  std::array<std::uint8_t, kChunkHeaderSize> header{};
  if (!readAt(in, 0, header.data(), kFileHeaderSize) ||
      std::memcmp(header.data(), "caff", 4) != 0) {
    fail(error, osstatus::kUnsupportedFileTypeError, "The file is not a CAF file.");
    return std::nullopt;
  }
  if (((header[4] << 8) | header[5]) != 1) {
    fail(error, osstatus::kInvalidFileError, "The CAF file has an unsupported version.");
    return std::nullopt;
  }

  auto invalid = [&](const std::string& why) {
    fail(error, osstatus::kInvalidFileError, "The CAF file is damaged: " + why + ".");
    return std::nullopt;
  };

  bool hasData = false;
  bool hasDescription = false;
  std::uint64_t loadedTotal = 0;
  std::uint64_t pos = kFileHeaderSize;
  caf.trailingOffset_ = caf.fileSize_;
  while (pos < caf.fileSize_) {
    if (caf.fileSize_ - pos < kChunkHeaderSize) {
      // A few stray bytes after the last chunk are kept, not parsed.
      caf.trailingOffset_ = pos;
      break;
    }
    if (caf.chunks_.size() >= kMaxChunkCount) return invalid("too many chunks");
    if (!readAt(in, pos, header.data(), kChunkHeaderSize)) return invalid("unreadable chunk");

    Chunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(header.data()), 4);
    chunk.offset = pos;
    chunk.declaredSize = static_cast<std::int64_t>(be64(header.data() + 4));
    const std::uint64_t available = caf.fileSize_ - pos - kChunkHeaderSize;
    const bool isData = chunk.type == "data";
    bool last = false;
    if (chunk.declaredSize == -1 && isData) {
      chunk.bodySize = available;
      last = true;
    } else if (chunk.declaredSize < 0) {
      return invalid("negative chunk size");
    } else if (static_cast<std::uint64_t>(chunk.declaredSize) > available) {
      if (!isData) return invalid("chunk '" + chunk.type + "' runs past the end");
      chunk.bodySize = available;  // audio cut short: keep what is there
      last = true;
    } else {
      chunk.bodySize = static_cast<std::uint64_t>(chunk.declaredSize);
    }
    const std::uint64_t bodyOffset = pos + kChunkHeaderSize;

    if (caf.chunks_.empty() && chunk.type != "desc") return invalid("no audio description");
    if (isData) {
      if (hasData) return invalid("two data chunks");
      hasData = true;
      caf.audioDataSize_ = chunk.bodySize >= 4 ? chunk.bodySize - 4 : 0;
    } else {
      LoadedChunk loaded{chunk.type, std::nullopt};
      if (chunk.bodySize <= kMaxLoadedChunkSize &&
          loadedTotal + chunk.bodySize <= kMaxLoadedTotalSize) {
        ByteBuffer body(static_cast<std::size_t>(chunk.bodySize));
        if (!readAt(in, bodyOffset, body.data(), chunk.bodySize))
          return invalid("unreadable chunk");
        loadedTotal += chunk.bodySize;
        loaded.body = Data(std::move(body));
      }
      const Data* body = loaded.body ? &*loaded.body : nullptr;
      if (chunk.type == "desc" && !hasDescription) {
        if (!body || body->size() < kDescriptionSize) return invalid("short audio description");
        const std::uint8_t* p = body->bytes();
        const std::uint64_t rateBits = be64(p);
        double rate;
        std::memcpy(&rate, &rateBits, sizeof rate);
        caf.description_ = {std::isfinite(rate) ? rate : 0.0,
                            be32(p + 8),
                            be32(p + 12),
                            be32(p + 16),
                            be32(p + 20),
                            be32(p + 24),
                            be32(p + 28)};
        hasDescription = true;
      } else if (chunk.type == "info" && !caf.hasInfo_ && body) {
        caf.info_ = parseInfo(*body);
        caf.hasInfo_ = true;
      } else if (chunk.type == "chan" && !caf.layout_ && body && body->size() >= 12) {
        const std::uint8_t* p = body->bytes();
        caf.layout_ = ChannelLayout{be32(p), be32(p + 4), be32(p + 8)};
      } else if (chunk.type == "pakt" && !caf.packetTable_ && body && body->size() >= 24) {
        const std::uint8_t* p = body->bytes();
        caf.packetTable_ = PacketTableHeader{
            static_cast<std::int64_t>(be64(p)), static_cast<std::int64_t>(be64(p + 8)),
            static_cast<std::int32_t>(be32(p + 16)), static_cast<std::int32_t>(be32(p + 20))};
      }
      caf.loaded_.push_back(std::move(loaded));
    }
    caf.chunks_.push_back(std::move(chunk));
    pos = bodyOffset + caf.chunks_.back().bodySize;
    if (last) break;
  }
  if (!hasDescription) return invalid("no audio description");
  if (!hasData) return invalid("no audio data");
  return caf;
}

std::optional<CafFile> CafFile::readFile(const std::string& path, Error* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int err = errno;
    fail(error, openErrorCode(err),
         "The file cannot be opened: " + std::string(std::strerror(err)) + ".");
    return std::nullopt;
  }
  return read(in, error);
}

double CafFile::estimatedDuration() const {
  const double rate = description_.sampleRate;
  if (!(rate > 0)) return 0;
  if (packetTable_) {
    if (packetTable_->numberValidFrames > 0) {
      return static_cast<double>(packetTable_->numberValidFrames) / rate;
    }
    if (packetTable_->numberPackets > 0 && description_.framesPerPacket > 0) {
      return static_cast<double>(packetTable_->numberPackets) * description_.framesPerPacket / rate;
    }
  }
  if (description_.bytesPerPacket > 0 && description_.framesPerPacket > 0) {
    const std::uint64_t packets = audioDataSize_ / description_.bytesPerPacket;
    return static_cast<double>(packets) * description_.framesPerPacket / rate;
  }
  return 0;
}

std::optional<Data> CafFile::userDataChunk(const std::string& type, std::size_t index) const {
  for (const auto& chunk : loaded_) {
    if (chunk.type != type) continue;
    if (index == 0) return chunk.body;
    --index;
  }
  return std::nullopt;
}

std::string CafFile::encodeInfoChunk(const InfoDictionary& info) {
  std::string body;
  appendBE(body, info.size(), 4);
  for (const auto& [key, value] : info.entries()) {
    body += textUpToNul(key);
    body.push_back('\0');
    body += textUpToNul(value);
    body.push_back('\0');
  }
  return body;
}

bool CafFile::rewriteWithInfoDictionary(std::istream& in, std::ostream& out,
                                        const InfoDictionary& info, Error* error) {
  std::optional<CafFile> caf = read(in, error);
  if (!caf) return false;

  std::string infoChunk = "info";
  const std::string infoBody = encodeInfoChunk(info);
  appendBE(infoChunk, infoBody.size(), 8);
  infoChunk += infoBody;

  if (!copyRange(in, out, 0, kFileHeaderSize, error)) return false;
  bool infoWritten = false;
  for (const Chunk& chunk : caf->chunks_) {
    const bool replace = chunk.type == "info" && !infoWritten;
    // A file without an info chunk gets one before its audio, which may run
    // to the end of the file and so must stay last.
    if (replace || (chunk.type == "data" && !infoWritten)) {
      out.write(infoChunk.data(), static_cast<std::streamsize>(infoChunk.size()));
      infoWritten = true;
      if (replace) continue;
    }
    if (!copyRange(in, out, chunk.offset, kChunkHeaderSize + chunk.bodySize, error)) return false;
  }
  if (!copyRange(in, out, caf->trailingOffset_, caf->fileSize_ - caf->trailingOffset_, error)) {
    return false;
  }
  out.flush();
  if (!out) return fail(error, osstatus::kIOError, "Writing the CAF file failed.");
  return true;
}

namespace {

// A temporary file that is removed unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& target) {
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".quorvel-XXXXXX")).string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ >= 0) path_ = pattern;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor; returns its result.
  bool close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }
  // The file has been renamed; nothing to remove.
  void release() { path_.clear(); }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace

bool CafFile::writeInfoDictionary(const std::string& path, const InfoDictionary& info,
                                  Error* error) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(path, ec);
  struct stat status {};
  if (ec || ::stat(target.c_str(), &status) != 0) {
    const int err = ec ? ec.value() : errno;
    return fail(error, openErrorCode(err),
                "The file cannot be opened: " + std::string(std::strerror(err)) + ".");
  }
  if (::access(target.c_str(), W_OK) != 0) {
    const int err = errno;
    return fail(error, openErrorCode(err),
                "The file cannot be written: " + std::string(std::strerror(err)) + ".");
  }
  std::ifstream in(target, std::ios::binary);
  if (!in) {
    const int err = errno;
    return fail(error, openErrorCode(err),
                "The file cannot be opened: " + std::string(std::strerror(err)) + ".");
  }

  TemporaryFile temporary(target);
  if (!temporary.isOpen()) {
    const int err = errno;
    return fail(
        error, openErrorCode(err),
        "No temporary file can be made beside the file: " + std::string(std::strerror(err)) + ".");
  }
  {
    std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
    if (!out) return fail(error, osstatus::kIOError, "The temporary file cannot be written.");
    if (!rewriteWithInfoDictionary(in, out, info, error)) return false;
    out.close();
    if (!out) return fail(error, osstatus::kIOError, "Writing the temporary file failed.");
  }
  // Same permission bits as before; then make the bytes durable before the
  // rename makes them the file.
  if (::fchmod(temporary.fd(), status.st_mode & 07777) != 0 || ::fsync(temporary.fd()) != 0 ||
      !temporary.close()) {
    const int err = errno;
    return fail(error, osstatus::kIOError,
                "Writing the temporary file failed: " + std::string(std::strerror(err)) + ".");
  }
  if (std::rename(temporary.path().c_str(), target.c_str()) != 0) {
    const int err = errno;
    return fail(error, openErrorCode(err),
                "The file cannot be replaced: " + std::string(std::strerror(err)) + ".");
  }
  temporary.release();
  // The rename itself is durable once the folder is synced; a failure here
  // leaves the new file in place, so it is not reported.
  const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace quorvel
