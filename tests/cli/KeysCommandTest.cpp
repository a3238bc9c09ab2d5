#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "cli/Cli.h"
#include "model/TagMappings.h"
#include "platform/UserDefaults.h"

namespace quorvel {
namespace {

using Result = test::CliResult;
using test::runCli;

const nlohmann::ordered_json* entryFor(const nlohmann::ordered_json& document,
                                       const std::string& key) {
  for (const auto& entry : document["keys"]) {
    if (entry["key"] == key) return &entry;
  }
  return nullptr;
}

using Names = std::vector<std::string>;

// -s settings stay in the process-wide store; take them out again so that no
// other test sees them.
class KeysCommand : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* key : {"VorbisTag_TRACKTITLE", kITunesWorkMovementCompatibilityKey}) {
      UserDefaults::standard().setVolatileValue(PlistValue(), key);
    }
    for (TagFormat format : {TagFormat::ID3v2, TagFormat::MP4, TagFormat::ASF, TagFormat::APE,
                             TagFormat::Vorbis, TagFormat::INFO}) {
      tagMappingsDidChange(format);
    }
  }
};

TEST_F(KeysCommand, ListsEveryKeyAsJSON) {
  Result result = runCli({"keys", "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  auto document = nlohmann::ordered_json::parse(result.out);
  ASSERT_EQ(document["keys"].size(), 96u);
  EXPECT_EQ(document["keys"][0]["key"], "ALBUM");
  EXPECT_EQ(document["keys"][95]["key"], "YEAR");

  // Every entry has the same fields in the same order; names come from the
  // mapping tables for each format.
  const auto& album = document["keys"][0];
  std::vector<std::string> fields;
  for (const auto& [field, value] : album.items()) fields.push_back(field);
  EXPECT_EQ(fields, (Names{"key", "displayName", "description", "id3v2.3", "id3v2.4", "mp4",
                           "vorbis", "ape", "asf", "info"}));
  EXPECT_EQ(album["displayName"], "Album");
  EXPECT_EQ(album["mp4"].get<Names>(), Names{"©alb"});
  const auto* involved = entryFor(document, "INVOLVEDPEOPLELIST");
  ASSERT_NE(involved, nullptr);
  EXPECT_EQ((*involved)["id3v2.3"].get<Names>(), Names{"IPLS"});
  EXPECT_EQ((*involved)["id3v2.4"].get<Names>(), Names{"TIPL"});
  EXPECT_EQ((*involved)["mp4"].get<Names>(), Names{});
  // A key without a display name shows itself.
  EXPECT_EQ((*entryFor(document, "WORK"))["displayName"], "WORK");

  ASSERT_EQ(document["sourceKeys"].size(), 16u);
  EXPECT_EQ(document["sourceKeys"][0], "_BITRATE");
  EXPECT_EQ(document["sourceKeys"][15], "_TAGFORMAT");
}

TEST_F(KeysCommand, SettingsGivenWithDashSChangeTheNames) {
  Result on = runCli({"-s", "VorbisTag_TRACKTITLE=TITLE, NAME", "-s",
                      "iTunesWorkMovementCompatibility=true", "keys", "--json"});
  ASSERT_EQ(on.status, 0) << on.err;
  auto document = nlohmann::ordered_json::parse(on.out);
  EXPECT_EQ((*entryFor(document, "TRACKTITLE"))["vorbis"].get<Names>(), (Names{"TITLE", "NAME"}));
  EXPECT_EQ((*entryFor(document, "WORK"))["id3v2.4"].get<Names>(), Names{"TIT1"});
  EXPECT_EQ((*entryFor(document, "GROUPING"))["id3v2.3"].get<Names>(), Names{"GRP1"});

  Result off = runCli({"-s", "VorbisTag_TRACKTITLE=", "-s", "iTunesWorkMovementCompatibility=false",
                       "keys", "--json"});
  ASSERT_EQ(off.status, 0) << off.err;
  document = nlohmann::ordered_json::parse(off.out);
  EXPECT_EQ((*entryFor(document, "TRACKTITLE"))["vorbis"].get<Names>(), Names{"TITLE"});
  EXPECT_EQ((*entryFor(document, "WORK"))["id3v2.4"].get<Names>(), Names{});
  EXPECT_EQ((*entryFor(document, "GROUPING"))["id3v2.4"].get<Names>(), Names{"TIT1"});
}

TEST_F(KeysCommand, TextListingAndUsageErrors) {
  Result text = runCli({"keys"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("ALBUM                       Album\n"), std::string::npos);
  EXPECT_NE(text.out.find("    MP4      ©alb\n"), std::string::npos);
  EXPECT_NE(text.out.find("Source keys:\n    _BITRATE\n"), std::string::npos);

  Result unknown = runCli({"keys", "--xml"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("usage: quorvel-cli [-s KEY=VALUE]... keys [--json]"),
            std::string::npos);
  EXPECT_EQ(runCli({"keys", "ALBUM"}).status, 2);
}

}  // namespace
}  // namespace quorvel
