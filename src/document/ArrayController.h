#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Value.h"

namespace quorvel {

class AudioMetadata;

// The file list as the file table shows it: the content (the controller's
// records, in the order they were added), the arranged objects (the content
// sorted by the sort descriptors and narrowed by the filter) and a selection
// of arranged objects. The selection follows its records when the
// arrangement changes.
//
// Main thread only; not thread-safe.
class ArrayController {
 public:
  using Record = std::shared_ptr<AudioMetadata>;
  static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

  // One sort criterion: a tag key or a source key ("_FILENAME"). Values
  // compare as numbers when both are numbers (or both texts are whole
  // numbers), else as text in the locale's case-insensitive order; a record
  // without a value sorts first when ascending.
  struct SortDescriptor {
    std::string key;
    bool ascending = true;
  };

  // The search filter: a record passes when the text form of any of the
  // keys' first values contains the text, ignoring case and diacritics.
  class FilterPredicate {
   public:
    FilterPredicate(std::vector<std::string> keys, std::string text);
    const std::vector<std::string>& keys() const { return keys_; }
    const std::string& text() const { return text_; }
    // The predicate as text: one "(KEY.stringValue contains[cd] \"text\")"
    // term per key, joined with " OR ".
    std::string predicateFormat() const;
    bool evaluate(const AudioMetadata& record) const;

   private:
    std::vector<std::string> keys_;
    std::string text_;
    std::string foldedText_;
  };

  // The value a table column shows for `key`: a source key's property, else
  // the key's first value. Any thread that may read the record.
  static Object valueForColumn(const AudioMetadata& record, const std::string& key);

  // --- Content ----------------------------------------------------------------

  const std::vector<Record>& content() const { return content_; }
  const std::vector<Record>& arrangedObjects() const { return arranged_; }
  // Appends to the content, and to the arranged objects when it passes the
  // filter (the sort order applies at the next rearrangeObjects). Null is ignored.
  void addObject(Record record);
  // Inserts at `index` of the arranged objects (clamped to the end) and, in
  // the content, before the record that stood there (else at the end).
  void insertObject(Record record, std::size_t arrangedIndex);
  // Removes each record (by identity) from content, arrangement and selection.
  void removeObjects(const std::vector<Record>& records);
  // Puts `replacement` where `record` stands, in content and arrangement,
  // keeping its selection. False when `record` is not in the content.
  bool replaceObject(const Record& record, Record replacement);
  // Index in the arranged objects, or NotFound.
  std::size_t indexOfArrangedObject(const AudioMetadata* record) const;

  // --- Arrangement ------------------------------------------------------------

  const std::vector<SortDescriptor>& sortDescriptors() const { return sortDescriptors_; }
  // Sets the criteria (first decides, later ones break ties) and rearranges.
  void setSortDescriptors(std::vector<SortDescriptor> descriptors);
  const std::optional<FilterPredicate>& filterPredicate() const { return filter_; }
  // Sets or removes the filter and rearranges.
  void setFilterPredicate(std::optional<FilterPredicate> predicate);
  // Builds the arranged objects again from the content: filtered, then
  // sorted stably. The selection keeps the records that are still shown.
  void rearrangeObjects();

  // --- Selection ----------------------------------------------------------------

  // Selected indexes of the arranged objects, ascending.
  std::vector<std::size_t> selectionIndexes() const;
  // Selects these indexes (out-of-range ones dropped). Returns whether the
  // selection changed.
  bool setSelectionIndexes(const std::vector<std::size_t>& indexes);
  // The first selected index, or NotFound.
  std::size_t selectionIndex() const;
  // Selects just `index` (NotFound or out of range: nothing). Returns whether
  // the selection changed.
  bool setSelectionIndex(std::size_t index);
  // The selected records, in arranged order.
  std::vector<Record> selectedObjects() const;
  // Selects those of `records` that are shown. Returns whether it changed.
  bool setSelectedObjects(const std::vector<Record>& records);
  bool selectAll();
  bool deselectAll() { return setSelectionIndexes({}); }
  std::size_t selectionCount() const { return selectedCount_; }
  bool isSelected(std::size_t arrangedIndex) const;

 private:
  // The selection is one flag per arranged object.
  std::vector<Record> content_;
  std::vector<Record> arranged_;
  std::vector<char> selected_;
  std::size_t selectedCount_ = 0;
  std::vector<SortDescriptor> sortDescriptors_;
  std::optional<FilterPredicate> filter_;
};

}  // namespace quorvel
