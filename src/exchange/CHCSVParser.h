#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Error.h"

namespace quorvel {

class CHCSVParser;
class CSVTextDecoder;

// Domain of the CSV reader's errors.
inline constexpr const char* kCHCSVErrorDomain = "org.quorvel.Quorvel.CSVErrorDomain";
// A character other than the delimiter or a line break followed a field:
// "Unexpected delimiter. Expected '%C' (0x%X), but got '%C' (0x%X)".
inline constexpr int kCHCSVErrorCodeInvalidFormat = 1;
// The input could not be read (a file that cannot be opened, a read error).
inline constexpr int kCHCSVErrorCodeUnreadableInput = 2;
// The encoding given to the reader has no converter.
inline constexpr int kCHCSVErrorCodeUnknownEncoding = 3;

// The reader's options as one bit mask, for the convenience operations.
using CHCSVParserOptions = unsigned;
inline constexpr CHCSVParserOptions kCHCSVParserOptionsRecognizesBackslashesAsEscapes = 1;
inline constexpr CHCSVParserOptions kCHCSVParserOptionsSanitizesFields = 2;
inline constexpr CHCSVParserOptions kCHCSVParserOptionsRecognizesComments = 4;
inline constexpr CHCSVParserOptions kCHCSVParserOptionsStripsLeadingAndTrailingWhitespace = 8;

// A list of records, each a list of fields (UTF-8).
using CSVRecords = std::vector<std::vector<std::string>>;

// What a CSV reader tells as it goes. Every message has an empty default, so
// a delegate overrides only those it wants. Messages arrive on the thread that
// runs parse(), in document order.
class CHCSVParserDelegate {
 public:
  virtual ~CHCSVParserDelegate();
  virtual void parserDidBeginDocument(CHCSVParser& parser);
  // `recordNumber` counts from 1.
  virtual void parserDidBeginLine(CHCSVParser& parser, std::uint64_t recordNumber);
  // `field` is UTF-8; `index` counts from 0 within the record.
  virtual void parserDidReadField(CHCSVParser& parser, const std::string& field, std::size_t index);
  // The comment line as it stands, from its "#" up to the line break.
  virtual void parserDidReadComment(CHCSVParser& parser, const std::string& comment);
  virtual void parserDidEndLine(CHCSVParser& parser, std::uint64_t recordNumber);
  virtual void parserDidEndDocument(CHCSVParser& parser);
  // The parse stopped at `error`; no parserDidEndDocument follows.
  virtual void parserDidFailWithError(CHCSVParser& parser, const Error& error);

 protected:
  CHCSVParserDelegate() = default;
  CHCSVParserDelegate(const CHCSVParserDelegate&) = default;
  CHCSVParserDelegate& operator=(const CHCSVParserDelegate&) = default;
};

// A streaming CSV reader. It decodes its input in whatever encoding it
// detects (or is given), splits it into records and fields, and reports them
// to its delegate one by one. Memory stays bounded by a small window of
// decoded text, whatever the size of the input, except that one field is held
// whole while it is read.
//
// Records end at a run of line breaks (CR, LF and the other Unicode newline
// characters; blank lines give no records). The input ends at its last byte,
// at a NUL character, or at the first byte sequence that cannot be decoded.
// End of input after the last line break still starts a record of one empty
// field.
//
// One parser reads its input once; it is used on one thread, except for
// cancelParsing(), which any thread may call.
class CHCSVParser {
 public:
  // Reads `csvString` (UTF-8 text, taken as given: no byte-order mark is
  // looked for) with a comma delimiter. Never fails.
  static std::unique_ptr<CHCSVParser> parserWithCSVString(std::string csvString);
  // Reads the file at `path` with a comma delimiter, detecting its encoding.
  // A file that cannot be opened is reported by parse() as an error
  // (kCHCSVErrorCodeUnreadableInput).
  static std::unique_ptr<CHCSVParser> parserWithContentsOfCSVFile(const std::string& path);

  // Reads `stream`. `usedEncoding` is in-out: null or an empty name asks for
  // detection (from the first 512 bytes, read here) and receives the detected
  // ICU converter name; any other name is used as given. Throws
  // InternalInconsistencyException for a null stream, a NUL delimiter, or a
  // delimiter that is a newline character, a double quote or "#".
  CHCSVParser(std::unique_ptr<std::istream> stream, std::string* usedEncoding, char16_t delimiter);
  ~CHCSVParser();
  CHCSVParser(const CHCSVParser&) = delete;
  CHCSVParser& operator=(const CHCSVParser&) = delete;

  // Not owned; must outlive parse(). Null: the parse runs with no one told.
  void setDelegate(CHCSVParserDelegate* delegate) { delegate_ = delegate; }
  CHCSVParserDelegate* delegate() const { return delegate_; }

  // A backslash makes the next character literal, in fields and comments.
  bool recognizesBackslashesAsEscapes() const { return recognizesBackslashesAsEscapes_; }
  void setRecognizesBackslashesAsEscapes(bool on) { recognizesBackslashesAsEscapes_ = on; }
  // Fields are delivered with quotes removed and doubled quotes and escapes
  // resolved; without it, as they stand in the source.
  bool sanitizesFields() const { return sanitizesFields_; }
  void setSanitizesFields(bool on) { sanitizesFields_ = on; }
  // Lines beginning with "#" are comments.
  bool recognizesComments() const { return recognizesComments_; }
  void setRecognizesComments(bool on) { recognizesComments_ = on; }
  // White space around fields is dropped (white space inside quotes stays).
  bool stripsLeadingAndTrailingWhitespace() const { return stripsLeadingAndTrailingWhitespace_; }
  void setStripsLeadingAndTrailingWhitespace(bool on) { stripsLeadingAndTrailingWhitespace_ = on; }
  // Sets all four flags from a mask of kCHCSVParserOptions bits.
  void setOptions(CHCSVParserOptions options);

  // Bytes taken from the input after the first block (default 512). Smaller
  // blocks cost speed only; tests use them to cut multi-byte sequences.
  void setReadBlockSize(std::size_t bytes) { readBlockSize_ = bytes == 0 ? 1 : bytes; }

  // Reads the whole input, telling the delegate. Ends with
  // parserDidEndDocument, or with parserDidFailWithError when a stray
  // character follows a field or the input cannot be read. An unterminated
  // quoted field ends the parse quietly (the field is not delivered). Call
  // once; a second call does nothing.
  void parse();
  // From now on nothing more is delivered and no error is reported; the parse
  // ends soon after with parserDidEndDocument. Any thread.
  void cancelParsing() { cancelled_.store(true, std::memory_order_relaxed); }

  // The encoding in use (an ICU converter name).
  const std::string& encoding() const { return encoding_; }
  // Bytes taken from the input so far.
  std::uint64_t totalBytesRead() const { return totalBytesRead_; }
  // The error that stopped the parse, if any.
  const std::optional<Error>& error() const { return error_; }

 private:
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
  // The next character, or 0 at the end of input.
  char16_t peek() {
    if (position_ >= refillMark_ && !inputEnded_) {
      refill();
    }
    return position_ < text_.size() ? text_[position_] : u'\0';
  }
  // The character after the next one, or 0.
  char16_t peekSecond();
  void advance() { ++position_; }
  void refill();
  void readBlock(std::size_t size);
  void decodeNextBlock();
  bool isOrdinary(char16_t c) const;

  bool parseRecord();
  void parseComment();
  bool consumeLineBreak();
  bool parseField();
  bool parseQuotedField();
  void parseUnquotedField();
  bool parseDelimiter();
  void skipWhitespace();
  void deliverField();
  void appendSanitized(std::u16string_view text);
  void flushRawField();
  void fail(Error error);

  std::unique_ptr<std::istream> stream_;
  std::unique_ptr<CSVTextDecoder> decoder_;
  std::string encoding_;
  std::string pendingBytes_;  // read, not yet decoded
  std::size_t readBlockSize_ = 512;
  bool streamEnded_ = false;  // no more bytes
  bool inputEnded_ = false;   // no more text
  std::optional<Error> inputError_;

  // Decoded text around the current position. A field delivered raw starts
  // at `anchor_` (SIZE_MAX otherwise); text before the anchor has already
  // moved to field_.
  std::u16string text_;
  std::size_t position_ = 0;
  std::size_t refillMark_ = 0;
  std::size_t anchor_ = SIZE_MAX;

  char16_t delimiter_;
  bool recognizesBackslashesAsEscapes_ = false;
  bool sanitizesFields_ = false;
  bool recognizesComments_ = false;
  bool stripsLeadingAndTrailingWhitespace_ = false;
  std::atomic<bool> cancelled_{false};
  bool parsed_ = false;

  bool ordinaryASCII_[128] = {};   // field characters below 0x80, set when the parse starts
  std::string field_;              // the current field, UTF-8
  char16_t pendingSurrogate_ = 0;  // a high surrogate waiting for its other half
  std::size_t fieldIndex_ = 0;
  std::uint64_t recordNumber_ = 0;
  std::uint64_t totalBytesRead_ = 0;
  std::optional<Error> error_;
  CHCSVParserDelegate* delegate_ = nullptr;
};

// Reads the CSV file at `path` with the given options (a mask of
// kCHCSVParserOptions bits). Returns its records, or none after an error
// (filled into `error`). Any thread.
std::optional<CSVRecords> arrayWithContentsOfCSVFile(const std::string& path,
                                                     CHCSVParserOptions options,
                                                     Error* error = nullptr);
std::optional<CSVRecords> arrayWithContentsOfCSVFile(const std::string& path,
                                                     Error* error = nullptr);
// Splits CSV text (UTF-8) into its records; none after an error. Any thread.
std::optional<CSVRecords> CSVComponents(std::string_view text, CHCSVParserOptions options,
                                        Error* error = nullptr);
std::optional<CSVRecords> CSVComponents(std::string_view text, Error* error = nullptr);

}  // namespace quorvel
