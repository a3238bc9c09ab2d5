#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quorvel::test {

namespace {
// Every test process gets its own settings file so tests never share state
// with each other or with the user's real settings.
struct SettingsIsolation {
  SettingsIsolation() {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("quorvel-test-settings-" + std::to_string(::getpid()) + ".plist"))
                           .string();
    std::filesystem::remove(path);
    ::setenv("QUORVEL_SETTINGS", path.c_str(), 1);
  }
};
const SettingsIsolation settingsIsolation;
}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path fixtureDir() { return QUORVEL_FIXTURE_DIR; }

std::filesystem::path fixture(const std::string& name) {
  auto path = fixtureDir() / name;
  if (!std::filesystem::exists(path)) {
    ADD_FAILURE() << "fixture missing: " << path << " (run the 'fixtures' target)";
  }
  return path;
}

std::filesystem::path corpusDir() {
  std::filesystem::path dir = QUORVEL_CORPUS_DIR;
  return std::filesystem::is_directory(dir) ? dir : std::filesystem::path();
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace quorvel::test
