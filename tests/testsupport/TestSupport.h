#pragma once

#include <filesystem>
#include <string>

namespace quorvel::test {

// A fresh folder under the system's temporary folder, removed at destruction.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Folder of generated fixtures (made by tests/fixtures/make_fixtures.sh).
std::filesystem::path fixtureDir();
// Path of a generated fixture; the test is skipped with a message when it is missing.
std::filesystem::path fixture(const std::string& name);
// The shared sample corpus (../shared/corpus); empty when absent.
std::filesystem::path corpusDir();

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace quorvel::test
