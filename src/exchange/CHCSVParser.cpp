#include "exchange/CHCSVParser.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "exchange/CHCSVAggregator.h"
#include "exchange/CSVTextDecoder.h"

namespace quorvel {

CHCSVParserDelegate::~CHCSVParserDelegate() = default;
void CHCSVParserDelegate::parserDidBeginDocument(CHCSVParser&) {}
void CHCSVParserDelegate::parserDidBeginLine(CHCSVParser&, std::uint64_t) {}
void CHCSVParserDelegate::parserDidReadField(CHCSVParser&, const std::string&, std::size_t) {}
void CHCSVParserDelegate::parserDidReadComment(CHCSVParser&, const std::string&) {}
void CHCSVParserDelegate::parserDidEndLine(CHCSVParser&, std::uint64_t) {}
void CHCSVParserDelegate::parserDidEndDocument(CHCSVParser&) {}
void CHCSVParserDelegate::parserDidFailWithError(CHCSVParser&, const Error&) {}

namespace {

// The block that encoding detection looks at.
constexpr std::size_t kDetectionBlockSize = 512;
// Decoded text is dropped from the front of the window once this much of it
// has been consumed; the memmove that follows is then cheap against the work
// done since the last one.
constexpr std::size_t kCompactionThreshold = 64 * 1024;
// How far ahead of the current position decoded text is kept: a third of the
// window, at least 10 characters (enough to look past a doubled quote), at
// most this many (so one huge field does not drag a third of its size along).
constexpr std::size_t kMaxLookahead = 16 * 1024;

bool isNewline(char16_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Unicode space separators and tab, as the platform's whitespace set.
bool isWhitespace(char16_t c) {
  return c == 0x20 || c == 0x09 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isWhitespaceOrNewline(char16_t c) { return isWhitespace(c) || isNewline(c); }

void encodeUtf8(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return;
  }
  if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

// Appends UTF-16 text as UTF-8. Text arrives in pieces that may split a
// surrogate pair, so a high surrogate at the end of a piece waits in
// `pending` for its other half; an unpaired surrogate becomes U+FFFD.
void appendUtf8(std::u16string_view text, std::string& out, char16_t& pending) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII, the bulk of most files, are copied in one go.
    std::size_t end = i;
    while (pending == 0 && end < text.size() && text[end] < 0x80) {
      ++end;
    }
    if (end > i) {
      const std::size_t old = out.size();
      out.resize(old + (end - i));
      char* target = out.data() + old;
      for (; i < end; ++i) {
        *target++ = static_cast<char>(text[i]);
      }
      continue;
    }
    const char16_t unit = text[i++];
    if (pending != 0) {
      const char16_t high = pending;
      pending = 0;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        encodeUtf8(0x10000 + ((std::uint32_t{high} - 0xD800) << 10) + (unit - 0xDC00u), out);
        continue;
      }
      encodeUtf8(0xFFFD, out);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      pending = unit;
    } else {
      encodeUtf8(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit, out);
    }
  }
}

void finishUtf8(std::string& out, char16_t& pending) {
  if (pending != 0) {
    encodeUtf8(0xFFFD, out);
    pending = 0;
  }
}

// The code point of the UTF-8 sequence at `i` (text we encoded ourselves, so
// well formed) and its length.
std::uint32_t decodeUtf8(std::string_view text, std::size_t i, std::size_t& length) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (i + length > text.size()) {
    length = 1;
    return 0xFFFD;
  }
  std::uint32_t c = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    c = (c << 6) | (byte(k) & 0x3F);
  }
  return c;
}

bool isWhitespaceOrNewlineCodePoint(std::uint32_t c) {
  return c <= 0xFFFF && isWhitespaceOrNewline(static_cast<char16_t>(c));
}

// Trims white space and newline characters from both ends of UTF-8 text.
void trimUtf8(std::string& text) {
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
      --start;
    }
    std::size_t length = 0;
    if (!isWhitespaceOrNewlineCodePoint(decodeUtf8(text, start, length))) {
      break;
    }
    text.resize(start);
  }
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t length = 0;
    if (!isWhitespaceOrNewlineCodePoint(decodeUtf8(text, begin, length))) {
      break;
    }
    begin += length;
  }
  text.erase(0, begin);
}

std::string characterText(char16_t c) {
  std::string text;
  char16_t pending = 0;
  appendUtf8(std::u16string_view(&c, 1), text, pending);
  finishUtf8(text, pending);
  return text;
}

std::string hexText(char16_t c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(c));
  return buffer;
}

}  // namespace

std::unique_ptr<CHCSVParser> CHCSVParser::parserWithCSVString(std::string csvString) {
  std::string encoding = kCSVEncodingUTF8;
  return std::make_unique<CHCSVParser>(std::make_unique<std::istringstream>(std::move(csvString)),
                                       &encoding, u',');
}

std::unique_ptr<CHCSVParser> CHCSVParser::parserWithContentsOfCSVFile(const std::string& path) {
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!file->is_open()) {
    std::string encoding = kCSVEncodingUTF8;
    auto parser = std::make_unique<CHCSVParser>(std::move(file), &encoding, u',');
    parser->inputEnded_ = true;
    parser->inputError_ = Error{kCHCSVErrorDomain, kCHCSVErrorCodeUnreadableInput,
                                "The file \"" + path + "\" could not be opened."};
    return parser;
  }
  return std::make_unique<CHCSVParser>(std::move(file), nullptr, u',');
}

CHCSVParser::CHCSVParser(std::unique_ptr<std::istream> stream, std::string* usedEncoding,
                         char16_t delimiter)
    : stream_(std::move(stream)), delimiter_(delimiter) {
  if (!stream_) {
    throw InternalInconsistencyException("Invalid parameter not satisfying: stream != nil");
  }
  if (delimiter == 0) {
    throw InternalInconsistencyException("Invalid parameter not satisfying: delimiter");
  }
  if (isNewline(delimiter)) {
    throw InternalInconsistencyException("The field delimiter may not be a newline");
  }
  if (delimiter == u'"') {
    throw InternalInconsistencyException("The field delimiter may not be a double quote");
  }
  if (delimiter == u'#') {
    throw InternalInconsistencyException("The field delimiter may not be an octothorpe");
  }

  if (usedEncoding && !usedEncoding->empty()) {
    encoding_ = *usedEncoding;
  } else {
    readBlock(kDetectionBlockSize);
    const CSVTextDecoder::Detection detection = CSVTextDecoder::detectEncoding(pendingBytes_);
    if (detection.guessed) {
      std::fprintf(stderr, "unable to determine stream encoding; assuming MacOSRoman\n");
    }
    encoding_ = detection.encoding;
    pendingBytes_.erase(0, detection.signatureLength);
    if (usedEncoding) {
      *usedEncoding = encoding_;
    }
  }
  decoder_ = std::make_unique<CSVTextDecoder>(encoding_);
  if (!decoder_->valid()) {
    inputEnded_ = true;
    inputError_ = Error{kCHCSVErrorDomain, kCHCSVErrorCodeUnknownEncoding,
                        "The text encoding \"" + encoding_ + "\" is not supported."};
  }
}

CHCSVParser::~CHCSVParser() = default;

void CHCSVParser::setOptions(CHCSVParserOptions options) {
  setRecognizesBackslashesAsEscapes((options & kCHCSVParserOptionsRecognizesBackslashesAsEscapes) !=
                                    0);
  setSanitizesFields((options & kCHCSVParserOptionsSanitizesFields) != 0);
  setRecognizesComments((options & kCHCSVParserOptionsRecognizesComments) != 0);
  setStripsLeadingAndTrailingWhitespace(
      (options & kCHCSVParserOptionsStripsLeadingAndTrailingWhitespace) != 0);
}

// Takes up to `size` bytes from the stream into pendingBytes_.
void CHCSVParser::readBlock(std::size_t size) {
  if (streamEnded_) {
    return;
  }
  const std::size_t old = pendingBytes_.size();
  pendingBytes_.resize(old + size);
  stream_->read(pendingBytes_.data() + old, static_cast<std::streamsize>(size));
  const auto got = static_cast<std::size_t>(stream_->gcount());
  pendingBytes_.resize(old + got);
  totalBytesRead_ += got;
  if (stream_->bad()) {
    inputError_ =
        Error{kCHCSVErrorDomain, kCHCSVErrorCodeUnreadableInput, "The input could not be read."};
  }
  if (got < size || stream_->bad()) {
    streamEnded_ = true;
  }
}

// Decodes the next block of input into the text window. Bytes that cannot be
// decoded end the text there; nothing after them is read.
void CHCSVParser::decodeNextBlock() {
  if (cancelled()) {
    inputEnded_ = true;
    return;
  }
  if (pendingBytes_.empty() && !streamEnded_) {
    readBlock(readBlockSize_);
  }
  if (!pendingBytes_.empty()) {
    const bool decoded = decoder_->decode(pendingBytes_, text_);
    pendingBytes_.clear();
    if (!decoded) {
      inputEnded_ = true;
      return;
    }
  }
  if (streamEnded_) {
    decoder_->finish(text_);
    inputEnded_ = true;
  }
}

void CHCSVParser::refill() {
  // Drop consumed text from the front of the window; what a field delivered
  // raw has consumed so far moves to the field first.
  const std::size_t keep = position_;
  if (keep >= kCompactionThreshold) {
    flushRawField();
    text_.erase(0, keep);
    position_ = 0;
    if (anchor_ != SIZE_MAX) {
      anchor_ = 0;
    }
  }
  const auto lookahead = [this] {
    return std::max<std::size_t>(10, std::min(text_.size() / 3, kMaxLookahead));
  };
  while (!inputEnded_ && text_.size() - position_ <= lookahead()) {
    decodeNextBlock();
  }
  refillMark_ = inputEnded_ ? SIZE_MAX : text_.size() - lookahead();
}

char16_t CHCSVParser::peekSecond() {
  peek();
  if (position_ + 1 >= text_.size() && !inputEnded_) {
    refill();
  }
  return position_ + 1 < text_.size() ? text_[position_ + 1] : u'\0';
}

void CHCSVParser::parse() {
  if (parsed_) {
    return;
  }
  parsed_ = true;
  for (char16_t c = 0; c < 128; ++c) {
    ordinaryASCII_[c] = c != 0 && !isNewline(c) && c != u'"' && c != delimiter_ &&
                        !(recognizesBackslashesAsEscapes_ && c == u'\\');
  }
  if (delegate_) {
    delegate_->parserDidBeginDocument(*this);
  }
  recordNumber_ = 0;
  if (inputError_) {
    error_ = inputError_;
  } else {
    while (!cancelled() && parseRecord()) {
    }
    if (!error_ && inputError_) {
      error_ = inputError_;
    }
  }
  if (!delegate_) {
    return;
  }
  if (error_ && !cancelled()) {
    delegate_->parserDidFailWithError(*this, *error_);
  } else {
    delegate_->parserDidEndDocument(*this);
  }
}

bool CHCSVParser::parseRecord() {
  if (recognizesComments_) {
    while (peek() == u'#') {
      parseComment();
      if (!consumeLineBreak()) {
        break;
      }
    }
  }
  fieldIndex_ = 0;
  ++recordNumber_;
  if (delegate_ && !cancelled()) {
    delegate_->parserDidBeginLine(*this, recordNumber_);
  }
  bool fieldRead = parseField();
  while (fieldRead && parseDelimiter()) {
    fieldRead = parseField();
  }
  const bool lineBreak = !error_ && consumeLineBreak();
  if (delegate_ && !cancelled()) {
    delegate_->parserDidEndLine(*this, recordNumber_);
  }
  return lineBreak && !error_;
}

void CHCSVParser::parseComment() {
  std::u16string comment;  // comments are rare and short: no streaming
  for (;;) {
    char16_t c = peek();
    if (c == 0 || isNewline(c)) {
      break;
    }
    if (c == u'\\' && recognizesBackslashesAsEscapes_) {
      comment.push_back(c);
      advance();
      c = peek();
      if (c == 0) {
        break;
      }
    }
    comment.push_back(c);
    advance();
  }
  if (delegate_ && !cancelled()) {
    std::string text;
    char16_t pending = 0;
    appendUtf8(comment, text, pending);
    finishUtf8(text, pending);
    delegate_->parserDidReadComment(*this, text);
  }
}

bool CHCSVParser::consumeLineBreak() {
  bool consumed = false;
  while (isNewline(peek())) {
    advance();
    consumed = true;
  }
  return consumed;
}

void CHCSVParser::skipWhitespace() {
  for (char16_t c = peek(); isWhitespace(c) && c != delimiter_; c = peek()) {
    advance();
  }
}

bool CHCSVParser::parseField() {
  peek();  // the window may move before the field's start is taken
  // Raw text is taken from the window from here on.
  anchor_ = sanitizesFields_ ? SIZE_MAX : position_;
  field_.clear();
  pendingSurrogate_ = 0;
  if (stripsLeadingAndTrailingWhitespace_) {
    skipWhitespace();
  }
  if (peek() == u'"') {
    if (!parseQuotedField()) {
      anchor_ = SIZE_MAX;
      return false;
    }
  } else {
    parseUnquotedField();
  }
  if (stripsLeadingAndTrailingWhitespace_) {
    skipWhitespace();
  }
  deliverField();
  anchor_ = SIZE_MAX;
  ++fieldIndex_;
  return true;
}

bool CHCSVParser::isOrdinary(char16_t c) const {
  if (c < 128) {
    return ordinaryASCII_[c];
  }
  return c != delimiter_ && c != 0x85 && c != 0x2028 && c != 0x2029;
}

void CHCSVParser::parseUnquotedField() {
  for (;;) {
    // Runs of ordinary characters inside the decoded window are taken
    // without a refill check per character.
    const std::size_t runStart = position_;
    const std::size_t limit = std::min(refillMark_, text_.size());
    while (position_ < limit && isOrdinary(text_[position_])) {
      ++position_;
    }
    if (sanitizesFields_) {
      appendSanitized(std::u16string_view(text_).substr(runStart, position_ - runStart));
    }
    char16_t c = peek();
    if (c == u'\\' && recognizesBackslashesAsEscapes_) {
      advance();
      c = peek();
      if (c == 0) {
        break;
      }
    } else if (!isOrdinary(c)) {
      break;
    }
    if (sanitizesFields_) {
      appendSanitized(std::u16string_view(&c, 1));
    }
    advance();
  }
  if (sanitizesFields_ && stripsLeadingAndTrailingWhitespace_) {
    finishUtf8(field_, pendingSurrogate_);
    trimUtf8(field_);
  }
}

bool CHCSVParser::parseQuotedField() {
  advance();  // the opening quote
  for (;;) {
    const std::size_t runStart = position_;
    const std::size_t limit = std::min(refillMark_, text_.size());
    while (position_ < limit) {
      const char16_t c = text_[position_];
      if (c == u'"' || c == 0 || (c == u'\\' && recognizesBackslashesAsEscapes_)) {
        break;
      }
      ++position_;
    }
    if (sanitizesFields_) {
      appendSanitized(std::u16string_view(text_).substr(runStart, position_ - runStart));
    }
    char16_t c = peek();
    if (c == 0) {
      return false;  // no closing quote before the end of input
    }
    if (c == u'"') {
      if (peekSecond() != u'"') {
        advance();
        return true;
      }
      advance();
    } else if (c == u'\\' && recognizesBackslashesAsEscapes_) {
      advance();
      c = peek();
      if (c == 0) {
        return false;
      }
    }
    if (sanitizesFields_) {
      appendSanitized(std::u16string_view(&c, 1));
    }
    advance();
  }
}

bool CHCSVParser::parseDelimiter() {
  const char16_t c = peek();
  if (c == delimiter_) {
    advance();
    return true;
  }
  if (c == 0 || isNewline(c)) {
    return false;
  }
  error_ = Error{kCHCSVErrorDomain, kCHCSVErrorCodeInvalidFormat,
                 "Unexpected delimiter. Expected '" + characterText(delimiter_) + "' (0x" +
                     hexText(delimiter_) + "), but got '" + characterText(c) + "' (0x" +
                     hexText(c) + ")"};
  return false;
}

void CHCSVParser::appendSanitized(std::u16string_view text) {
  appendUtf8(text, field_, pendingSurrogate_);
}

void CHCSVParser::flushRawField() {
  if (anchor_ != SIZE_MAX) {
    appendUtf8(std::u16string_view(text_).substr(anchor_, position_ - anchor_), field_,
               pendingSurrogate_);
    anchor_ = position_;
  }
}

void CHCSVParser::deliverField() {
  if (!delegate_ || cancelled()) {
    return;
  }
  flushRawField();
  finishUtf8(field_, pendingSurrogate_);
  if (!sanitizesFields_ && stripsLeadingAndTrailingWhitespace_) {
    trimUtf8(field_);
  }
  delegate_->parserDidReadField(*this, field_, fieldIndex_);
}

namespace {

std::optional<CSVRecords> collect(CHCSVParser& parser, CHCSVParserOptions options, Error* error) {
  CHCSVAggregator aggregator;
  parser.setOptions(options);
  parser.setDelegate(&aggregator);
  parser.parse();
  if (aggregator.error()) {
    if (error) {
      *error = *aggregator.error();
    }
    return std::nullopt;
  }
  return aggregator.takeLines();
}

}  // namespace

std::optional<CSVRecords> arrayWithContentsOfCSVFile(const std::string& path,
                                                     CHCSVParserOptions options, Error* error) {
  auto parser = CHCSVParser::parserWithContentsOfCSVFile(path);
  return collect(*parser, options, error);
}

std::optional<CSVRecords> arrayWithContentsOfCSVFile(const std::string& path, Error* error) {
  return arrayWithContentsOfCSVFile(path, 0, error);
}

std::optional<CSVRecords> CSVComponents(std::string_view text, CHCSVParserOptions options,
                                        Error* error) {
  auto parser = CHCSVParser::parserWithCSVString(std::string(text));
  return collect(*parser, options, error);
}

std::optional<CSVRecords> CSVComponents(std::string_view text, Error* error) {
  return CSVComponents(text, 0, error);
}

}  // namespace quorvel
