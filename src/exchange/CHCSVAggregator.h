#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/CHCSVParser.h"

namespace quorvel {

// The collecting delegate: turns a whole parse into a list of records, each a
// list of field strings. After an error it keeps the error and no records.
// Used on the parsing thread.
class CHCSVAggregator : public CHCSVParserDelegate {
 public:
  void parserDidBeginDocument(CHCSVParser& parser) override;
  void parserDidBeginLine(CHCSVParser& parser, std::uint64_t recordNumber) override;
  void parserDidReadField(CHCSVParser& parser, const std::string& field,
                          std::size_t index) override;
  void parserDidEndLine(CHCSVParser& parser, std::uint64_t recordNumber) override;
  void parserDidFailWithError(CHCSVParser& parser, const Error& error) override;

  // The records read (none before the document began or after an error).
  const std::optional<CSVRecords>& lines() const { return lines_; }
  // Moves the records out.
  std::optional<CSVRecords> takeLines() { return std::move(lines_); }
  const std::optional<Error>& error() const { return error_; }

 private:
  std::optional<CSVRecords> lines_;
  std::vector<std::string> currentLine_;
  std::optional<Error> error_;
};

}  // namespace quorvel
