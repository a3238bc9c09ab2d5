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
// Wrong-type reads follow the desktop platform's numeric coercions: a boolean
// read accepts integers and reals (non-zero is true) and the strings "YES" and
// "true" (any case) or a non-zero integer text; integer and float reads accept
// booleans (0/1), each other's type (reals truncate toward zero) and strings
// holding just a number; a string read gives numbers as decimal text. Any
// other mismatch gives the empty answer.
//
// Persistence: every write saves the user's layer at once (atomic rewrite of
// the whole file). A file that is not a property-list dictionary is moved
// aside to "<name>.corrupt-<timestamp>" with a warning on stderr. A file that
// exists but cannot be read is never overwritten: that store keeps changes in
// memory only.
//
// Thread safety: every read may come from any thread; writes come from the
// main thread and may overlap reads. Reads take a shared snapshot of the
// layers and never wait for a write to reach the disk.
class UserDefaults {
 public:
  // The process-wide store. On first use it loads the user's file
  // (standardPath()) and registers the first values of the defaults file
  // (defaultsFilePath(); a missing one is reported once on stderr). Thread: any;
  // the first call should come from the main thread before workers start.
  static UserDefaults& standard();
  // $QUORVEL_SETTINGS, else $XDG_CONFIG_HOME/quorvel/settings.plist, else
  // ~/.config/quorvel/settings.plist. Thread: any.
  static std::string standardPath();
  // $QUORVEL_DEFAULTS, else the first QuorvelDefaults.plist that exists in the
  // source tree's resources/, the installed share/quorvel, or ../share/quorvel
  // beside the executable; empty when none exists. Thread: any.
  static std::string defaultsFilePath();

  // Typed reads: the volatile value, else the user's, else the registered
  // one, else false / 0 / none (see the coercions above). Thread: any.
  bool boolForKey(const std::string& key) const;
  std::int64_t integerForKey(const std::string& key) const;
  double floatForKey(const std::string& key) const;
  std::optional<std::string> stringForKey(const std::string& key) const;
  std::optional<Data> dataForKey(const std::string& key) const;
  std::optional<PlistValue> objectForKey(const std::string& key) const;
  // Every key with the value a read would give, all layers merged. Thread: any.
  PlistDict dictionaryRepresentation() const;

  // Writes to the user's layer, saved at once; a failed save is reported on
  // stderr and the value still holds for this run. Thread: main.
  void setBool(bool value, const std::string& key);
  void setInteger(std::int64_t value, const std::string& key);
  void setObject(const PlistValue& value, const std::string& key);  // none removes
  void removeObjectForKey(const std::string& key);

  // Adds first values (later registrations win per key); never saved. Thread: main.
  void registerDefaults(const PlistDict& defaults);
  // Registers the dictionary in a property-list file. False with `error` when
  // it cannot be read or is not a dictionary. Thread: main.
  bool registerDefaultsFromFile(const std::string& path, Error* error = nullptr);
  // Values for this run only (the CLI's -s): above the user's values, never
  // saved; none removes. Thread: main.
  void setVolatileValue(const PlistValue& value, const std::string& key);

  // The path of the user's file; empty for an in-memory store. Thread: any.
  std::string path() const;

  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // A store on the given file (tests); an empty path keeps everything in
  // memory. Loads the file at once; nothing is registered. Thread: any.
  explicit UserDefaults(std::string path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel
