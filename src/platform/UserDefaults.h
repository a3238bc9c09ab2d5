#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/PropertyList.h"

namespace quorvel {

// The per-user settings store. Two layers: values the user set (persisted as a
// property list) and registered first values (from QuorvelDefaults.plist, never
// persisted). A read returns the user's value, else the registered one, else the
// type's empty answer. A value stored with the wrong type reads as that empty
// answer too.
//
// Thread safety: every read may come from any thread; writes come from the
// main thread and may overlap reads.
class UserDefaults {
 public:
  // The process-wide store. On first use it loads the user's file
  // ($QUORVEL_SETTINGS, else $XDG_CONFIG_HOME/quorvel/settings.plist) and
  // registers the first values of QuorvelDefaults.plist.
  static UserDefaults& standard();

  bool boolForKey(const std::string& key) const;
  std::int64_t integerForKey(const std::string& key) const;
  double floatForKey(const std::string& key) const;
  std::optional<std::string> stringForKey(const std::string& key) const;
  std::optional<Data> dataForKey(const std::string& key) const;
  std::optional<PlistValue> objectForKey(const std::string& key) const;

  void setBool(bool value, const std::string& key);
  void setInteger(std::int64_t value, const std::string& key);
  void setObject(const PlistValue& value, const std::string& key);  // none removes
  void removeObjectForKey(const std::string& key);

  void registerDefaults(const PlistDict& defaults);
  // Values for this run only (the CLI's -s): above the user's values, never saved.
  void setVolatileValue(const PlistValue& value, const std::string& key);

  // The path of the user's file; empty for an in-memory store.
  std::string path() const;

  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // A store on the given file (tests); an empty path keeps everything in memory.
  explicit UserDefaults(std::string path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel
