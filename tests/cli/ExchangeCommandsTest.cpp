#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CliTestSupport.h"
#include "cli/Cli.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

using Result = test::CliResult;
using test::runCli;

class ExchangeCommandsTest : public ::testing::Test {
 protected:
  std::string copyFixture(const std::string& name, const std::string& as = "") {
    auto target = dir_ / (as.empty() ? name : as);
    fs::copy_file(test::fixture(name), target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  static std::string title(const std::string& path) {
    auto record = AudioFileReader::metadataFromFile(path);
    EXPECT_TRUE(record) << path;
    return record ? record->metadataObjectValueForKey("TRACKTITLE").stringValue().value_or("") : "";
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  test::TemporaryDirectory dir_;
};

TEST_F(ExchangeCommandsTest, ExportStripImportRestoresTagsAndArtwork) {
  const std::string mp3 = copyFixture("id3v24.mp3");
  const std::string flac = copyFixture("tagged.flac");
  ASSERT_EQ(runCli({"set", "-t", "TRACKTITLE=First", mp3}).status, 0);
  ASSERT_EQ(runCli({"set", "-t", "TRACKTITLE=Second", flac}).status, 0);
  auto before = AudioFileReader::metadataFromFile(flac);
  ASSERT_TRUE(before && before->metadataHasArtwork());

  Result xml = runCli({"export", "--xml", "--artwork", path("out.xml"), mp3, flac});
  ASSERT_EQ(xml.status, 0) << xml.err;
  Result csv = runCli({"export", "--csv", path("out.csv"), dir_.path().string()});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(test::readFile(path("out.csv")).rfind("ALBUM,", 0), 0U);

  ASSERT_EQ(runCli({"strip", mp3, flac}).status, 0);
  Result imported = runCli({"import", path("out.xml"), mp3, flac});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(title(mp3), "First");
  EXPECT_EQ(title(flac), "Second");
  auto after = AudioFileReader::metadataFromFile(flac);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->artworks().size(), before->artworks().size());
  EXPECT_EQ(after->artworks()[0]->md5(), before->artworks()[0]->md5());
  EXPECT_EQ(after->metadataObjectValuesForKey("GENRE"),
            before->metadataObjectValuesForKey("GENRE"));

  // The table of the folder pairs by walk order; a CSV carries no artwork.
  ASSERT_EQ(runCli({"import", path("out.csv"), dir_.path().string()}).status, 0);
  EXPECT_EQ(title(mp3), "First");
  EXPECT_FALSE(AudioFileReader::metadataFromFile(flac)->metadataHasArtwork());
}

TEST_F(ExchangeCommandsTest, CountsThatDifferNeedAChoice) {
  const std::string a = copyFixture("plain.flac", "a.flac");
  const std::string b = copyFixture("plain.flac", "b.flac");
  const std::string c = copyFixture("plain.flac", "c.flac");
  test::writeFile(path("two.csv"), "TRACKTITLE,File Name\nOne,x\nTwo,y\n");
  const std::string untouched = test::readFile(c);

  Result refused = runCli({"import", path("two.csv"), a, b, c});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Counts Do Not Match. Importing 2 metadatas, but there are 3 files "
                             "selected.  What would you like to do?"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("--to-first: Import To First 2 Selected Files"), std::string::npos);
  EXPECT_EQ(test::readFile(c), untouched);
  EXPECT_NE(title(a), "One");

  ASSERT_EQ(runCli({"import", "--to-first", path("two.csv"), a, b, c}).status, 0);
  EXPECT_EQ(title(a), "One");
  EXPECT_EQ(title(b), "Two");
  EXPECT_EQ(test::readFile(c), untouched);

  ASSERT_EQ(runCli({"import", "--to-all", path("two.csv"), a, b, c}).status, 0);
  EXPECT_EQ(title(c), "One");  // the dictionaries repeat in turn

  // More dictionaries than files: either choice imports the first ones.
  test::writeFile(path("two.csv"), "TRACKTITLE\nUno\nDos\n");
  ASSERT_EQ(runCli({"import", "--to-first", path("two.csv"), b}).status, 0);
  EXPECT_EQ(title(b), "Uno");

  Result nothing = runCli({"import", "--to-all", path("two.csv"), path("missing.flac")});
  EXPECT_EQ(nothing.status, 1);
  EXPECT_NE(nothing.err.find("Nothing selected. Importing 2 metadatas, but no files are selected."),
            std::string::npos)
      << nothing.err;
}

// A file that cannot be saved is the save step's, as for "set"; here, what
// is particular to the exchange commands.
TEST_F(ExchangeCommandsTest, UnreadableInputAndUnwritableOutputAreReported) {
  const std::string flac = copyFixture("plain.flac");
  // A file that gives no metadata changes nothing.
  test::writeFile(path("bad.csv"), "TRACKTITLE\n\"unterminated\n");
  const std::string flacBefore = test::readFile(flac);
  Result bad = runCli({"import", "--to-all", path("bad.csv"), flac});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("no metadata could be read"), std::string::npos);
  EXPECT_EQ(test::readFile(flac), flacBefore);

  // An export that cannot be written says why and leaves nothing behind.
  Result unwritable = runCli({"export", "--csv", path("no/such/dir/x.csv"), flac});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("no/such/dir"), std::string::npos) << unwritable.err;
}

TEST_F(ExchangeCommandsTest, UsageErrors) {
  const std::string flac = copyFixture("plain.flac");
  EXPECT_EQ(runCli({"export", path("x.csv"), flac}).status, 2);
  EXPECT_EQ(runCli({"export", "--csv", "--xml", path("x.csv"), flac}).status, 2);
  EXPECT_EQ(runCli({"export", "--csv", "--artwork", path("x.csv"), flac}).status, 2);
  EXPECT_EQ(runCli({"export", "--xml", path("x.xml")}).status, 2);
  EXPECT_EQ(runCli({"import", "--to-all", "--to-first", path("x.csv"), flac}).status, 2);
  EXPECT_EQ(runCli({"import", "--bogus", path("x.csv"), flac}).status, 2);
  EXPECT_EQ(runCli({"import", path("x.csv")}).status, 2);
  EXPECT_FALSE(fs::exists(path("x.csv")));
  EXPECT_FALSE(fs::exists(path("x.xml")));
}

}  // namespace
}  // namespace quorvel
