#pragma once

#include <taglib/tiostream.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// A file opened for TagLib to read tags from, and nothing else.
//
// TagLib's own stream goes through stdio: every seek drops the buffer and
// reads a block at the new position, the length is found by seeking to the
// end and back, and the Ogg and MP4 readers seek and read small pieces all
// the time. This stream reads with pread at a position of its own, serves
// small reads from one read-ahead block, and reads large ones (pictures)
// straight into the result. Writing is refused: savers use TagLib's stream.
class ReadOnlyFileStream : public TagLib::IOStream {
 public:
  // Opens `path` for reading; isOpen() says whether that worked. Thread:
  // one stream per thread.
  explicit ReadOnlyFileStream(const std::string& path);
  ~ReadOnlyFileStream() override;
  ReadOnlyFileStream(const ReadOnlyFileStream&) = delete;
  ReadOnlyFileStream& operator=(const ReadOnlyFileStream&) = delete;

  TagLib::FileName name() const override;
  // Up to `length` bytes from the current position, fewer at the end of the
  // file or on a read error (then none); the position moves past them.
  TagLib::ByteVector readBlock(unsigned long length) override;
  // Writing does nothing: the stream is read-only.
  void writeBlock(const TagLib::ByteVector& data) override;
  void insert(const TagLib::ByteVector& data, unsigned long start = 0,
              unsigned long replace = 0) override;
  void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
  void truncate(long length) override;
  bool readOnly() const override { return true; }
  bool isOpen() const override { return fd_ >= 0; }
  // Positions before the start are clamped to it; past the end is allowed
  // (reads there return nothing), as with a file.
  void seek(long offset, Position p = Beginning) override;
  long tell() const override { return position_; }
  // The size the file had when opened.
  long length() override { return size_; }

 private:
  std::string path_;
  int fd_ = -1;
  long size_ = 0;
  long position_ = 0;
  // The read-ahead block: bytes [bufferStart_, bufferStart_ + buffer_.size()).
  std::vector<char> buffer_;
  long bufferStart_ = 0;
};

}  // namespace quorvel
