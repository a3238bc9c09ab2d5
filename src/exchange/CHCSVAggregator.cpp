#include "exchange/CHCSVAggregator.h"

namespace quorvel {

void CHCSVAggregator::parserDidBeginDocument(CHCSVParser&) { lines_.emplace(); }

void CHCSVAggregator::parserDidBeginLine(CHCSVParser&, std::uint64_t) { currentLine_.clear(); }

void CHCSVAggregator::parserDidReadField(CHCSVParser&, const std::string& field, std::size_t) {
  currentLine_.push_back(field);
}

void CHCSVAggregator::parserDidEndLine(CHCSVParser&, std::uint64_t) {
  if (lines_) {
    lines_->push_back(std::move(currentLine_));
  }
  currentLine_.clear();
  // Lines of one file have as many fields as the last: room for them up
  // front instead of growing field by field.
  if (lines_ && !lines_->empty()) {
    currentLine_.reserve(lines_->back().size());
  }
}

void CHCSVAggregator::parserDidFailWithError(CHCSVParser&, const Error& error) {
  error_ = error;
  lines_.reset();
}

}  // namespace quorvel
