#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/CHCSVParser.h"
#include "support/Error.h"

namespace quorvel {

// Writes CSV: fields quoted only when they hold a newline character, the
// delimiter or a double quote (whose quotes are then doubled), lines ended by
// "\n", text encoded in the writer's encoding with its byte-order mark, if it
// has one, once at the start. Used on one thread at a time.
class CHCSVWriter {
 public:
  // Writes to the file at `path`, created or truncated, in UTF-8 with a comma
  // delimiter. A file that cannot be opened makes every write a no-op and
  // closeStream() report the error.
  explicit CHCSVWriter(const std::string& path);
  // Writes to `stream` in `encoding` (an ICU converter name; "UTF-16" and
  // "UTF-32" write a byte-order mark, "UTF-8" and the endian-specific forms
  // none) with `delimiter`. Throws InternalInconsistencyException for a null
  // stream, an unknown encoding, a NUL delimiter, or a delimiter that is a
  // newline character, a double quote or "#".
  CHCSVWriter(std::unique_ptr<std::ostream> stream, const std::string& encoding,
              char16_t delimiter);
  // Flushes; errors are dropped (call closeStream() to see them).
  ~CHCSVWriter();
  CHCSVWriter(const CHCSVWriter&) = delete;
  CHCSVWriter& operator=(const CHCSVWriter&) = delete;

  // Writes one field (UTF-8) of the current line, after a delimiter unless it
  // is the line's first.
  void writeField(std::string_view field);
  // Ends the current line with "\n".
  void finishLine();
  // Finishes an unfinished line, then writes `fields` as one line (an empty
  // list writes an empty line).
  void writeLineOfFields(const std::vector<std::string>& fields);
  // Finishes an unfinished line, then writes each line of `comment` as "#"
  // followed by the line and "\n".
  void writeComment(std::string_view comment);
  // Flushes and closes the output. Returns false, filling `error`
  // (kQuorvelErrorDomain), when any write failed or the file could not be
  // opened. Later writes are no-ops.
  bool closeStream(Error* error = nullptr);

  // The output stream, for a caller that passed an in-memory stream.
  std::ostream& stream() { return *stream_; }

 private:
  void writeText(std::u16string_view text);
  void writeBytes(std::string_view bytes);

  struct Encoder;
  std::unique_ptr<std::ostream> stream_;
  std::unique_ptr<Encoder> encoder_;
  std::u16string delimiter_;
  std::string encodedDelimiter_;
  std::string encodedNewline_;
  std::size_t bomLength_ = 0;
  std::size_t currentField_ = 0;
  bool closed_ = false;
  std::optional<Error> error_;
  std::string path_;
  std::u16string scratch_;
  std::string encoded_;
};

// The records as one CSV text: UTF-8, comma, "\n" after every record.
// Never fails; any thread.
std::string CSVString(const CSVRecords& records);

}  // namespace quorvel
