#include "model/ReadOnlyFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FileOperations.h"

namespace quorvel {

namespace {

// Reads this small are served from a block read ahead: the headers of Ogg
// pages, MP4 atoms and ID3 frames come in pieces of a few bytes.
constexpr long kReadAhead = 16 * 1024;

}  // namespace

ReadOnlyFileStream::ReadOnlyFileStream(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    return;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<long>(st.st_size);
}

ReadOnlyFileStream::~ReadOnlyFileStream() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

TagLib::FileName ReadOnlyFileStream::name() const { return path_.c_str(); }

TagLib::ByteVector ReadOnlyFileStream::readBlock(unsigned long length) {
  if (fd_ < 0 || length == 0 || position_ >= size_) {
    return {};
  }
  const long wanted = static_cast<long>(
      std::min<unsigned long>(length, static_cast<unsigned long>(size_ - position_)));
  const long bufferEnd = bufferStart_ + static_cast<long>(buffer_.size());
  if (wanted <= kReadAhead) {
    if (position_ < bufferStart_ || position_ + wanted > bufferEnd) {
      buffer_.resize(static_cast<std::size_t>(kReadAhead));
      const long n = static_cast<long>(
          readAt(fd_, buffer_.data(), static_cast<std::size_t>(kReadAhead), position_));
      buffer_.resize(static_cast<std::size_t>(std::max(n, 0L)));
      bufferStart_ = position_;
    }
    const long available =
        std::min(wanted, bufferStart_ + static_cast<long>(buffer_.size()) - position_);
    if (available <= 0) {
      return {};
    }
    TagLib::ByteVector out(buffer_.data() + (position_ - bufferStart_),
                           static_cast<unsigned int>(available));
    position_ += available;
    return out;
  }
  TagLib::ByteVector out(static_cast<unsigned int>(wanted), '\0');
  const long n =
      static_cast<long>(readAt(fd_, out.data(), static_cast<std::size_t>(wanted), position_));
  if (n <= 0) {
    return {};
  }
  if (n < wanted) {
    out.resize(static_cast<unsigned int>(n));
  }
  position_ += n;
  return out;
}

void ReadOnlyFileStream::writeBlock(const TagLib::ByteVector&) {}

void ReadOnlyFileStream::insert(const TagLib::ByteVector&, unsigned long, unsigned long) {}

void ReadOnlyFileStream::removeBlock(unsigned long, unsigned long) {}

void ReadOnlyFileStream::truncate(long) {}

void ReadOnlyFileStream::seek(long offset, Position p) {
  long base = 0;
  switch (p) {
    case Beginning:
      base = 0;
      break;
    case Current:
      base = position_;
      break;
    case End:
      base = size_;
      break;
  }
  long target = 0;
  // Like a file: a position before the start is refused and the stream
  // stays where it was.
  if (__builtin_add_overflow(base, offset, &target) || target < 0) {
    return;
  }
  position_ = target;
}

}  // namespace quorvel
