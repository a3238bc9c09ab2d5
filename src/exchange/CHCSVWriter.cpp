#include "exchange/CHCSVWriter.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/FileOperations.h"
#include "support/Text.h"

namespace quorvel {

struct CHCSVWriter::Encoder {
  UConverter* handle = nullptr;
  bool utf8 = false;  // UTF-8 text is written as it is, without ICU
  ~Encoder() {
    if (handle) {
      ucnv_close(handle);
    }
  }

  // The bytes of `text` in the encoding, from a fresh converter state (so a
  // stateful encoding's header or a byte-order mark comes first each time).
  std::string encode(std::u16string_view text) const {
    std::string out;
    if (utf8) {
      out = utf16ToUtf8(text);
      return out;
    }
    ucnv_resetFromUnicode(handle);
    out.resize(text.size() * 4 + 16);
    for (;;) {
      UErrorCode status = U_ZERO_ERROR;
      const std::int32_t length =
          ucnv_fromUChars(handle, out.data(), static_cast<std::int32_t>(out.size()), text.data(),
                          static_cast<std::int32_t>(text.size()), &status);
      if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(static_cast<std::size_t>(length));
        ucnv_resetFromUnicode(handle);
        continue;
      }
      out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
      return out;
    }
  }
};

namespace {

bool isNewline(char16_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

void checkDelimiter(char16_t delimiter) {
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
}

}  // namespace

CHCSVWriter::CHCSVWriter(const std::string& path)
    : CHCSVWriter(std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc),
                  "UTF-8", u',') {
  path_ = path;
  auto* file = dynamic_cast<std::ofstream*>(stream_.get());
  if (file && !file->is_open()) {
    const int code = errno == EACCES ? fileerror::kWriteNoPermission : fileerror::kWriteUnknown;
    error_ = Error{
        kQuorvelErrorDomain, code,
        "The file \"" + path + "\" could not be opened for writing: " + std::strerror(errno) + "."};
    closed_ = true;
  }
}

CHCSVWriter::CHCSVWriter(std::unique_ptr<std::ostream> stream, const std::string& encoding,
                         char16_t delimiter)
    : stream_(std::move(stream)), encoder_(std::make_unique<Encoder>()), delimiter_(1, delimiter) {
  if (!stream_) {
    throw InternalInconsistencyException("Invalid parameter not satisfying: stream != nil");
  }
  checkDelimiter(delimiter);
  UErrorCode status = U_ZERO_ERROR;
  encoder_->handle = ucnv_open(encoding.c_str(), &status);
  if (U_FAILURE(status) || !encoder_->handle) {
    encoder_->handle = nullptr;
    throw InternalInconsistencyException("Invalid parameter not satisfying: encoding");
  }
  status = U_ZERO_ERROR;
  encoder_->utf8 = std::strcmp(ucnv_getName(encoder_->handle, &status), "UTF-8") == 0;

  // Encoding one character and then two tells the byte-order mark (or a
  // stateful encoding's header) apart from the text: it is whatever the
  // second encoding did not double.
  const std::string one = encoder_->encode(u"a");
  const std::string two = encoder_->encode(u"aa");
  if (two.size() < one.size() * 2) {
    bomLength_ = one.size() * 2 - two.size();
    writeBytes(std::string_view(one).substr(0, bomLength_));
  }
  encodedDelimiter_ = encoder_->encode(delimiter_).substr(bomLength_);
  encodedNewline_ = encoder_->encode(u"\n").substr(bomLength_);
}

CHCSVWriter::~CHCSVWriter() {
  if (!closed_) {
    stream_->flush();
  }
}

void CHCSVWriter::writeBytes(std::string_view bytes) {
  if (closed_ || bytes.empty()) {
    return;
  }
  stream_->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!*stream_ && !error_) {
    const std::string where = path_.empty() ? "the output stream" : "\"" + path_ + "\"";
    error_ =
        Error{kQuorvelErrorDomain, fileerror::kWriteUnknown, "Writing to " + where + " failed."};
  }
}

void CHCSVWriter::writeText(std::u16string_view text) {
  const std::string bytes = encoder_->encode(text);
  writeBytes(std::string_view(bytes).substr(std::min(bomLength_, bytes.size())));
}

void CHCSVWriter::writeField(std::string_view field) {
  if (currentField_ > 0) {
    writeBytes(encodedDelimiter_);
  }
  const std::u16string text = utf8ToUtf16(field);
  bool needsQuotes = false;
  for (char16_t c : text) {
    if (isNewline(c) || c == delimiter_[0] || c == u'"') {
      needsQuotes = true;
      break;
    }
  }
  if (needsQuotes) {
    scratch_.assign(1, u'"');
    for (char16_t c : text) {
      scratch_.push_back(c);
      if (c == u'"') {
        scratch_.push_back(u'"');
      }
    }
    scratch_.push_back(u'"');
    writeText(scratch_);
  } else {
    writeText(text);
  }
  ++currentField_;
}

void CHCSVWriter::finishLine() {
  writeBytes(encodedNewline_);
  currentField_ = 0;
}

void CHCSVWriter::writeLineOfFields(const std::vector<std::string>& fields) {
  if (currentField_ > 0) {
    finishLine();
  }
  for (const std::string& field : fields) {
    writeField(field);
  }
  finishLine();
}

void CHCSVWriter::writeComment(std::string_view comment) {
  if (currentField_ > 0) {
    finishLine();
  }
  // Every newline character starts a line of its own, so "\r\n" gives an
  // empty comment line between its halves.
  const std::u16string text = utf8ToUtf16(comment);
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < text.size() && !isNewline(text[end])) {
      ++end;
    }
    scratch_.assign(1, u'#');
    scratch_.append(text, start, end - start);
    writeText(scratch_);
    writeBytes(encodedNewline_);
    if (end == text.size()) {
      break;
    }
    start = end + 1;
  }
}

bool CHCSVWriter::closeStream(Error* error) {
  if (!closed_) {
    stream_->flush();
    if (auto* file = dynamic_cast<std::ofstream*>(stream_.get())) {
      file->close();
    }
    if (!*stream_ && !error_) {
      const std::string where = path_.empty() ? "the output stream" : "\"" + path_ + "\"";
      error_ =
          Error{kQuorvelErrorDomain, fileerror::kWriteUnknown, "Writing to " + where + " failed."};
    }
    closed_ = true;
  }
  if (error_) {
    return setError(error, error_->domain, error_->code, error_->localizedDescription);
  }
  return true;
}

std::string CSVString(const CSVRecords& records) {
  auto stream = std::make_unique<std::ostringstream>();
  std::ostringstream& memory = *stream;
  CHCSVWriter writer(std::move(stream), "UTF-8", u',');
  for (const auto& record : records) {
    writer.writeLineOfFields(record);
  }
  writer.closeStream();
  return memory.str();
}

}  // namespace quorvel
