#include "document/ArrayController.h"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "model/AudioMetadata.h"
#include "support/Text.h"

namespace quorvel {

namespace {

// One record's value under one sort key, reduced to something cheap to compare.
struct SortValue {
  int rank = 0;  // 0 none, 1 number, 2 text
  double number = 0;
  std::string text;  // collation key
};

std::optional<double> wholeNumber(const std::string& text) {
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return static_cast<double>(value);
}

SortValue sortValueOf(const Object& value) {
  SortValue result;
  if (value.isNone()) {
    return result;
  }
  if (value.isNumber()) {
    result.rank = 1;
    result.number = value.number().doubleValue();
    return result;
  }
  std::string text = value.stringValue().value_or(std::string());
  // Track numbers and the like are often stored as text: "10" after "9".
  if (auto number = wholeNumber(text)) {
    result.rank = 1;
    result.number = *number;
    return result;
  }
  result.rank = 2;
  result.text = localizedCaseInsensitiveSortKey(text);
  return result;
}

int compare(const SortValue& a, const SortValue& b) {
  if (a.rank != b.rank) {
    return a.rank < b.rank ? -1 : 1;
  }
  if (a.rank == 1) {
    return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
  }
  if (a.rank == 2) {
    return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
  }
  return 0;
}

}  // namespace

// --- FilterPredicate ----------------------------------------------------------------

ArrayController::FilterPredicate::FilterPredicate(std::vector<std::string> keys, std::string text)
    : keys_(std::move(keys)), text_(std::move(text)), foldedText_(foldForMatching(text_)) {}

std::string ArrayController::FilterPredicate::predicateFormat() const {
  std::string format;
  for (const std::string& key : keys_) {
    if (!format.empty()) {
      format += " OR ";
    }
    format += "(" + key + ".stringValue contains[cd] \"" + text_ + "\")";
  }
  return format;
}

bool ArrayController::FilterPredicate::evaluate(const AudioMetadata& record) const {
  for (const std::string& key : keys_) {
    auto text = valueForColumn(record, key).stringValue();
    if (text && foldForMatching(*text).find(foldedText_) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// --- ArrayController ----------------------------------------------------------------

Object ArrayController::valueForColumn(const AudioMetadata& record, const std::string& key) {
  if (key.starts_with("_")) {
    return record.sourceValueForKey(key);
  }
  return record.metadataObjectValueForKey(key);
}

void ArrayController::addObject(Record record) {
  if (!record) {
    return;
  }
  if (!filter_ || filter_->evaluate(*record)) {
    arranged_.push_back(record);
    selected_.push_back(0);
  }
  content_.push_back(std::move(record));
}

void ArrayController::insertObject(Record record, std::size_t arrangedIndex) {
  if (!record) {
    return;
  }
  arrangedIndex = std::min(arrangedIndex, arranged_.size());
  auto contentPosition = content_.end();
  if (arrangedIndex < arranged_.size()) {
    contentPosition = std::find(content_.begin(), content_.end(), arranged_[arrangedIndex]);
  }
  content_.insert(contentPosition, record);
  arranged_.insert(arranged_.begin() + static_cast<std::ptrdiff_t>(arrangedIndex),
                   std::move(record));
  selected_.insert(selected_.begin() + static_cast<std::ptrdiff_t>(arrangedIndex), 0);
}

void ArrayController::removeObjects(const std::vector<Record>& records) {
  if (records.empty()) {
    return;
  }
  std::unordered_set<const AudioMetadata*> doomed;
  for (const auto& record : records) {
    doomed.insert(record.get());
  }
  std::erase_if(content_, [&](const Record& r) { return doomed.contains(r.get()); });
  std::size_t kept = 0;
  selectedCount_ = 0;
  for (std::size_t i = 0; i < arranged_.size(); ++i) {
    if (doomed.contains(arranged_[i].get())) {
      continue;
    }
    arranged_[kept] = std::move(arranged_[i]);
    selected_[kept] = selected_[i];
    selectedCount_ += selected_[kept] ? 1 : 0;
    ++kept;
  }
  arranged_.resize(kept);
  selected_.resize(kept);
}

bool ArrayController::replaceObject(const Record& record, Record replacement) {
  auto it = std::find(content_.begin(), content_.end(), record);
  if (it == content_.end() || !replacement) {
    return false;
  }
  *it = replacement;
  auto shown = std::find(arranged_.begin(), arranged_.end(), record);
  if (shown != arranged_.end()) {
    *shown = std::move(replacement);
  }
  return true;
}

std::size_t ArrayController::indexOfArrangedObject(const AudioMetadata* record) const {
  for (std::size_t i = 0; i < arranged_.size(); ++i) {
    if (arranged_[i].get() == record) {
      return i;
    }
  }
  return NotFound;
}

void ArrayController::setSortDescriptors(std::vector<SortDescriptor> descriptors) {
  sortDescriptors_ = std::move(descriptors);
  rearrangeObjects();
}

void ArrayController::setFilterPredicate(std::optional<FilterPredicate> predicate) {
  filter_ = std::move(predicate);
  rearrangeObjects();
}

void ArrayController::rearrangeObjects() {
  std::unordered_set<const AudioMetadata*> selection;
  for (std::size_t i = 0; i < arranged_.size(); ++i) {
    if (selected_[i]) {
      selection.insert(arranged_[i].get());
    }
  }

  std::vector<Record> shown;
  shown.reserve(content_.size());
  for (const auto& record : content_) {
    if (!filter_ || filter_->evaluate(*record)) {
      shown.push_back(record);
    }
  }

  if (!sortDescriptors_.empty() && shown.size() > 1) {
    // Each value is reduced once, not once per comparison.
    const std::size_t columns = sortDescriptors_.size();
    std::vector<SortValue> values(shown.size() * columns);
    for (std::size_t i = 0; i < shown.size(); ++i) {
      for (std::size_t c = 0; c < columns; ++c) {
        values[i * columns + c] = sortValueOf(valueForColumn(*shown[i], sortDescriptors_[c].key));
      }
    }
    std::vector<std::size_t> order(shown.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      for (std::size_t c = 0; c < columns; ++c) {
        int result = compare(values[a * columns + c], values[b * columns + c]);
        if (result != 0) {
          return sortDescriptors_[c].ascending ? result < 0 : result > 0;
        }
      }
      return false;
    });
    std::vector<Record> sorted;
    sorted.reserve(shown.size());
    for (std::size_t index : order) {
      sorted.push_back(std::move(shown[index]));
    }
    shown = std::move(sorted);
  }

  arranged_ = std::move(shown);
  selected_.assign(arranged_.size(), 0);
  selectedCount_ = 0;
  if (!selection.empty()) {
    for (std::size_t i = 0; i < arranged_.size(); ++i) {
      if (selection.contains(arranged_[i].get())) {
        selected_[i] = 1;
        ++selectedCount_;
      }
    }
  }
}

std::vector<std::size_t> ArrayController::selectionIndexes() const {
  std::vector<std::size_t> indexes;
  indexes.reserve(selectedCount_);
  for (std::size_t i = 0; i < selected_.size(); ++i) {
    if (selected_[i]) {
      indexes.push_back(i);
    }
  }
  return indexes;
}

bool ArrayController::setSelectionIndexes(const std::vector<std::size_t>& indexes) {
  std::vector<char> selection(arranged_.size(), 0);
  std::size_t count = 0;
  for (std::size_t index : indexes) {
    if (index < selection.size() && !selection[index]) {
      selection[index] = 1;
      ++count;
    }
  }
  if (selection == selected_) {
    return false;
  }
  selected_ = std::move(selection);
  selectedCount_ = count;
  return true;
}

std::size_t ArrayController::selectionIndex() const {
  if (selectedCount_ == 0) {
    return NotFound;
  }
  for (std::size_t i = 0; i < selected_.size(); ++i) {
    if (selected_[i]) {
      return i;
    }
  }
  return NotFound;
}

bool ArrayController::setSelectionIndex(std::size_t index) {
  if (index >= arranged_.size()) {
    return false;
  }
  return setSelectionIndexes({index});
}

std::vector<ArrayController::Record> ArrayController::selectedObjects() const {
  std::vector<Record> records;
  records.reserve(selectedCount_);
  for (std::size_t i = 0; i < selected_.size(); ++i) {
    if (selected_[i]) {
      records.push_back(arranged_[i]);
    }
  }
  return records;
}

bool ArrayController::setSelectedObjects(const std::vector<Record>& records) {
  std::unordered_set<const AudioMetadata*> wanted;
  for (const auto& record : records) {
    wanted.insert(record.get());
  }
  std::vector<std::size_t> indexes;
  for (std::size_t i = 0; i < arranged_.size(); ++i) {
    if (wanted.contains(arranged_[i].get())) {
      indexes.push_back(i);
    }
  }
  return setSelectionIndexes(indexes);
}

bool ArrayController::selectAll() {
  std::vector<std::size_t> indexes(arranged_.size());
  std::iota(indexes.begin(), indexes.end(), 0);
  return setSelectionIndexes(indexes);
}

bool ArrayController::isSelected(std::size_t arrangedIndex) const {
  return arrangedIndex < selected_.size() && selected_[arrangedIndex];
}

}  // namespace quorvel
