#include "platform/FileOperations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/FileReplacement.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::size_t entriesIn(const fs::path& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

TEST(FileReplacementTest, CommitSwapsTheCopyInAndAnythingElseLeavesTheOriginal) {
  test::TemporaryDirectory dir;
  const fs::path path = dir / "file.bin";
  test::writeFile(path, std::string(100000, 'a'));
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);

  {
    FileReplacement replacement;
    ASSERT_TRUE(replacement.prepare(path.string(), nullptr));
    EXPECT_EQ(test::readFile(replacement.temporaryPath()), std::string(100000, 'a'));
    test::writeFile(replacement.temporaryPath(), "changed");
    EXPECT_EQ(entriesIn(dir.path()), 2u);
  }  // never committed
  EXPECT_EQ(test::readFile(path), std::string(100000, 'a'));
  EXPECT_EQ(entriesIn(dir.path()), 1u);

  FileReplacement replacement;
  ASSERT_TRUE(replacement.prepare(path.string(), nullptr));
  test::writeFile(replacement.temporaryPath(), "changed");
  Error error;
  ASSERT_TRUE(replacement.commit(&error)) << error.localizedDescription;
  EXPECT_EQ(test::readFile(path), "changed");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  EXPECT_EQ(entriesIn(dir.path()), 1u);
  EXPECT_FALSE(replacement.commit(&error));

  EXPECT_FALSE(replacement.prepare((dir / "missing").string(), &error));
  EXPECT_EQ(error.code, fileerror::kNoSuchFile);
  EXPECT_FALSE(replacement.prepare(dir.path().string(), &error));
}

TEST(FileOperationsTest, MovesAndCopiesNeverReplace) {
  test::TemporaryDirectory dir;
  auto operations = FileOperations::current();
  test::writeFile(dir / "a", "a");
  test::writeFile(dir / "b", "b");
  Error error;
  EXPECT_FALSE(operations->moveFile((dir / "a").string(), (dir / "b").string(), &error));
  EXPECT_EQ(error.code, fileerror::kWriteFileExists);
  EXPECT_FALSE(operations->copyFile((dir / "a").string(), (dir / "b").string(), &error));
  EXPECT_EQ(error.code, fileerror::kWriteFileExists);
  EXPECT_EQ(test::readFile(dir / "b"), "b");

  ASSERT_TRUE(operations->copyFile((dir / "a").string(), (dir / "c").string(), &error));
  EXPECT_EQ(test::readFile(dir / "c"), "a");
  ASSERT_TRUE(operations->moveFile((dir / "a").string(), (dir / "d").string(), &error));
  EXPECT_FALSE(fs::exists(dir / "a"));
  EXPECT_EQ(test::readFile(dir / "d"), "a");
  EXPECT_EQ(entriesIn(dir.path()), 3u);

  EXPECT_FALSE(operations->copyFile((dir / "none").string(), (dir / "e").string(), &error));
  EXPECT_EQ(error.code, fileerror::kNoSuchFile);
  EXPECT_FALSE(fs::exists(dir / "e"));
}

}  // namespace
}  // namespace quorvel
