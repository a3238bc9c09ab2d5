#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quorvel {

// Encoding names are ICU converter names; these are the ones the CSV reader
// detects by itself.
inline constexpr const char* kCSVEncodingUTF8 = "UTF-8";
inline constexpr const char* kCSVEncodingUTF16BE = "UTF-16BE";
inline constexpr const char* kCSVEncodingUTF16LE = "UTF-16LE";
inline constexpr const char* kCSVEncodingUTF32BE = "UTF-32BE";
inline constexpr const char* kCSVEncodingUTF32LE = "UTF-32LE";
inline constexpr const char* kCSVEncodingISO2022KR = "ISO-2022-KR";
inline constexpr const char* kCSVEncodingMacOSRoman = "macintosh";

// Incremental decoding of a byte stream to UTF-16 for the CSV reader, over an
// ICU converter. Bytes arrive in blocks of any size; a multi-byte sequence cut
// by the end of a block waits for the next one. One instance per stream; not
// shared between threads.
class CSVTextDecoder {
 public:
  // What the first block of a stream says about its encoding.
  struct Detection {
    std::string encoding;         // one of the kCSVEncoding names
    std::size_t signatureLength;  // leading bytes to drop (the byte-order mark)
    bool guessed;                 // true when nothing fit and Mac OS Roman was assumed
  };

  // Detects the encoding from the first bytes of a stream: a byte-order
  // signature (UTF-32, ISO-2022-KR, UTF-16, UTF-8), else UTF-8 when the block
  // is valid UTF-8 (allowing a sequence cut by the block's end), else Mac OS
  // Roman. An empty block is UTF-8. Never fails; any thread.
  static Detection detectEncoding(std::string_view firstBlock);

  // A decoder for `encoding` (an ICU converter name). valid() is false when
  // ICU has no such converter.
  explicit CSVTextDecoder(const std::string& encoding);
  ~CSVTextDecoder();
  CSVTextDecoder(const CSVTextDecoder&) = delete;
  CSVTextDecoder& operator=(const CSVTextDecoder&) = delete;

  bool valid() const;

  // Appends the text of `bytes` to `out`. Returns false at the first byte
  // sequence that cannot be decoded: the text before it is appended and the
  // decoder accepts nothing more.
  bool decode(std::string_view bytes, std::u16string& out);
  // Ends the stream. Returns false when bytes were still waiting for the rest
  // of their sequence (they are dropped).
  bool finish(std::u16string& out);

 private:
  struct Converter;
  std::unique_ptr<Converter> converter_;
  bool failed_ = false;
};

}  // namespace quorvel
