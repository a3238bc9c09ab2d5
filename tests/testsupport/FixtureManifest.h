#pragma once

// The manifest of the generated fixtures (tests/fixtures/README.md): what each
// file holds, as written by the tools that made it.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/Value.h"
#include "testsupport/TestSupport.h"

namespace quorvel::test {

// The parsed manifest.json; an empty object, after a test failure, when the
// fixtures were not generated.
inline const nlohmann::json& fixtureManifest() {
  static const nlohmann::json manifest = [] {
    const auto path = fixtureDir() / "manifest.json";
    auto json = nlohmann::json::parse(readFile(path), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
      ADD_FAILURE() << "no fixture manifest at " << path << " (run the 'fixtures' target)";
      return nlohmann::json::object();
    }
    return json;
  }();
  return manifest;
}

// The manifest entry of one fixture; null when it has none.
inline const nlohmann::json& manifestEntry(const std::string& name) {
  static const nlohmann::json none;
  auto it = fixtureManifest().find("fixtures");
  if (it == fixtureManifest().end() || !it->contains(name)) {
    ADD_FAILURE() << "manifest has no entry for " << name;
    return none;
  }
  return (*it)[name];
}

inline Data dataFromHex(const std::string& hex) {
  auto nibble = [](char c) {
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  };
  ByteBuffer bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
  }
  return Data(std::move(bytes));
}

// One setting for the length of a scope (a volatile value, so nothing is
// saved), then back to the stored value.
class SettingOverride {
 public:
  SettingOverride(std::string key, PlistValue value) : key_(std::move(key)) {
    UserDefaults::standard().setVolatileValue(value, key_);
  }
  ~SettingOverride() { UserDefaults::standard().setVolatileValue(PlistValue(), key_); }
  SettingOverride(const SettingOverride&) = delete;
  SettingOverride& operator=(const SettingOverride&) = delete;

 private:
  std::string key_;
};

}  // namespace quorvel::test
