#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvel {

// The info dictionary of an audio file: text keys ("artist", "title",
// "track number", ...) to text values, in the order the file lists them.
// A value type; not shared between threads without a lock.
class InfoDictionary {
 public:
  using Entry = std::pair<std::string, std::string>;

  InfoDictionary() = default;
  InfoDictionary(std::initializer_list<Entry> entries);

  // The entries in order; each key occurs once.
  const std::vector<Entry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // The value of `key` (compared exactly), or null when it has none. The
  // pointer is valid until the dictionary is next changed.
  const std::string* value(const std::string& key) const;
  bool contains(const std::string& key) const { return value(key) != nullptr; }
  // Sets the value of `key`, keeping its place when present, else adding it
  // at the end.
  void set(const std::string& key, const std::string& value);
  // Removes `key`; returns whether it was there.
  bool remove(const std::string& key);

  friend bool operator==(const InfoDictionary& a, const InfoDictionary& b) {
    return a.entries_ == b.entries_;
  }

 private:
  std::vector<Entry> entries_;
};

}  // namespace quorvel
