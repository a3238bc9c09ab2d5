#include "platform/InfoDictionary.h"

#include <algorithm>

namespace quorvel {

InfoDictionary::InfoDictionary(std::initializer_list<Entry> entries) {
  for (const auto& [key, value] : entries) set(key, value);
}

const std::string* InfoDictionary::value(const std::string& key) const {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.first == key; });
  return it == entries_.end() ? nullptr : &it->second;
}

void InfoDictionary::set(const std::string& key, const std::string& value) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.first == key; });
  if (it != entries_.end()) {
    it->second = value;
  } else {
    entries_.emplace_back(key, value);
  }
}

bool InfoDictionary::remove(const std::string& key) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.first == key; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

}  // namespace quorvel
