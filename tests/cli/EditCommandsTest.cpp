#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliTestSupport.h"
#include "cli/Cli.h"
#include "model/AudioFileReader.h"
#include "model/AudioFileWriter.h"
#include "model/AudioMetadata.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

using Result = test::CliResult;
using test::runCli;

class EditCommandsTest : public ::testing::Test {
 protected:
  std::string copyFixture(const std::string& name) {
    auto target = dir_ / name;
    fs::copy_file(test::fixture(name), target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  static std::shared_ptr<AudioMetadata> read(const std::string& path) {
    auto record = AudioFileReader::metadataFromFile(path);
    EXPECT_TRUE(record) << path;
    return record;
  }
  static std::vector<std::string> texts(const AudioMetadata& record, const std::string& key) {
    std::vector<std::string> out;
    if (auto values = record.metadataObjectValuesForKey(key)) {
      for (const auto& v : *values) out.push_back(v.stringValue().value_or("?"));
    }
    return out;
  }
  test::TemporaryDirectory dir_;
};

TEST_F(EditCommandsTest, SetAppliesEveryKindOfEditAndSavesEachFile) {
  const std::string mp3 = copyFixture("id3v24.mp3");
  const std::string flac = copyFixture("tagged.flac");
  const std::string image = test::fixture("images/back.png").string();

  Result result = runCli({"set", "-t", "ALBUM=Blue", "-t", "GENRE=Jazz", "-t", "GENRE=Soul",
                          "--add", "COMPOSER=Extra", "--remove", "LYRICS", "--remove-artwork",
                          "--add-artwork", image, "--json", mp3, flac});
  ASSERT_EQ(result.status, 0) << result.err;
  auto json = nlohmann::json::parse(result.out);
  ASSERT_EQ(json.size(), 2U);
  EXPECT_FALSE(json[0]["needsSaving"].get<bool>());
  EXPECT_EQ(json[1]["tags"]["ALBUM"]["values"][0], "Blue");

  for (const auto& path : {mp3, flac}) {
    auto record = read(path);
    ASSERT_TRUE(record);
    EXPECT_EQ(texts(*record, "ALBUM"), std::vector<std::string>{"Blue"}) << path;
    EXPECT_EQ(texts(*record, "GENRE"), (std::vector<std::string>{"Jazz", "Soul"})) << path;
    EXPECT_EQ(texts(*record, "COMPOSER").back(), "Extra") << path;
    EXPECT_TRUE(texts(*record, "LYRICS").empty()) << path;
    ASSERT_EQ(record->artworks().size(), 1U) << path;
    EXPECT_EQ(record->artworks()[0]->mimeType(), "image/png");
  }
}

TEST_F(EditCommandsTest, AFailingFileIsLoggedAndTheOthersAreStillSaved) {
  const std::string wavpack = copyFixture("tagged.wv");  // read, but not writable by design
  const std::string flac = copyFixture("plain.flac");
  const std::string missing = (dir_ / "missing.mp3").string();
  const std::string before = test::readFile(wavpack);

  Result result = runCli({"set", "-t", "TRACKTITLE=New", wavpack, missing, flac});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("\tError Saving File: " + wavpack + ".  "), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("\tCould Not Add File At Path: " + missing), std::string::npos)
      << result.err;
  EXPECT_EQ(test::readFile(wavpack), before);
  EXPECT_EQ(texts(*read(flac), "TRACKTITLE"), std::vector<std::string>{"New"});
}

TEST_F(EditCommandsTest, StripAndRemoveEmpty) {
  const std::string mp3 = copyFixture("id3v24.mp3");
  const std::string flac = copyFixture("tagged.flac");

  ASSERT_EQ(runCli({"set", "-t", "MOOD=", "--add", "GENRE=", "--add", "GENRE=Rock", flac}).status,
            0);
  ASSERT_EQ(runCli({"remove-empty", flac}).status, 0);
  auto record = read(flac);
  EXPECT_TRUE(texts(*record, "MOOD").empty());
  auto genres = texts(*record, "GENRE");
  EXPECT_EQ(std::count(genres.begin(), genres.end(), ""), 0);
  EXPECT_EQ(genres.back(), "Rock");

  Result result = runCli({"strip", mp3, flac});
  ASSERT_EQ(result.status, 0) << result.err;
  for (const auto& path : {mp3, flac}) {
    auto stripped = read(path);
    EXPECT_TRUE(stripped->allMetadataKeys().empty()) << path;
    EXPECT_TRUE(stripped->artworks().empty()) << path;
  }
}

TEST_F(EditCommandsTest, UsageErrors) {
  EXPECT_EQ(runCli({"set", "-t", "NOEQUALS", "x.mp3"}).status, 2);
  EXPECT_EQ(runCli({"set", "-t", "ALBUM=x"}).status, 2);
  EXPECT_EQ(runCli({"set", "--artwork", "/nonexistent.png", "x.mp3"}).status, 2);
  EXPECT_EQ(runCli({"strip", "--bogus", "x.mp3"}).status, 2);
  EXPECT_EQ(runCli({"remove-empty"}).status, 2);
}

}  // namespace
}  // namespace quorvel
