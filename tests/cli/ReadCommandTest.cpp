#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "cli/Cli.h"
#include "platform/UserDefaults.h"
#include "testsupport/FixtureManifest.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using nlohmann::ordered_json;
using test::fixture;

using Result = test::CliResult;
using test::runCli;

std::vector<std::string> keysOf(const ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& item : object.items()) keys.push_back(item.key());
  return keys;
}

std::string base64(const Data& data) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  const std::uint8_t* p = data.bytes();
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::uint32_t n = p[i] << 16 | (i + 1 < data.size() ? p[i + 1] << 8 : 0) |
                            (i + 2 < data.size() ? p[i + 2] : 0);
    out += alphabet[n >> 18 & 63];
    out += alphabet[n >> 12 & 63];
    out += i + 1 < data.size() ? alphabet[n >> 6 & 63] : '=';
    out += i + 2 < data.size() ? alphabet[n & 63] : '=';
  }
  return out;
}

std::string frameHex(const std::string& file, const std::string& id) {
  for (const auto& frame : test::manifestEntry(file)["tags"]["ID3v2"]["frames"]) {
    if (frame["id"] == id) return frame["data_hex"];
  }
  return "";
}

TEST(ReadCommand, ReadingOnSeveralThreadsPrintsWhatOneThreadPrints) {
  const std::string dir = test::fixtureDir().string();
  const Result serial = runCli({"read", "--json", "-j", "1", dir});
  const Result parallel = runCli({"read", "--json", "-j", "4", dir});
  const Result two = runCli({"read", "--json", "-j2", dir});
  // The corrupt/ folder holds files that cannot be read.
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(parallel.status, serial.status);
  EXPECT_EQ(two.status, serial.status);
  EXPECT_TRUE(parallel.out == serial.out) << "the -j 4 output differs from -j 1";
  EXPECT_TRUE(two.out == serial.out) << "the -j2 output differs from -j 1";
  EXPECT_EQ(parallel.err, serial.err);

  auto document = ordered_json::parse(serial.out, nullptr, false);
  ASSERT_TRUE(document.is_array());
  EXPECT_GT(document.size(), 90u);
  // The layout people script against: exactly a standard two-space dump.
  EXPECT_TRUE(serial.out == document.dump(2) + "\n") << "the layout of --json changed";
  std::size_t failures = 0;
  for (const auto& entry : document) failures += entry.contains("error");
  EXPECT_GT(failures, 5u);
  // Walk order: paths sorted as the folder walk gives them, every time.
  const Result text = runCli({"read", "-j", "3", dir});
  EXPECT_EQ(text.out, runCli({"read", dir}).out);
}

TEST(ReadCommand, JsonShapeOfRecordsAndErrors) {
  const std::string file = fixture("id3v24.mp3").string();
  const std::string missing = file + ".missing.mp3";
  const Result result = runCli({"read", "--json", file, missing});
  EXPECT_EQ(result.status, 1);
  auto document = ordered_json::parse(result.out, nullptr, false);
  ASSERT_TRUE(document.is_array());
  ASSERT_EQ(document.size(), 2u);

  const auto& record = document[0];
  EXPECT_EQ(keysOf(record), (std::vector<std::string>{"path", "tags", "artworks", "properties",
                                                      "digest", "needsSaving"}));
  EXPECT_EQ(record["path"], file);
  const auto& artist = record["tags"]["TRACKARTIST"];
  EXPECT_EQ(keysOf(artist), (std::vector<std::string>{"type", "values"}));
  EXPECT_EQ(artist["type"], 4);
  EXPECT_EQ(artist["values"], ordered_json({"First Artist", "Second Artist"}));
  // Bytes as base64 objects.
  EXPECT_EQ(record["tags"]["PRIV:WM/MediaClassPrimaryID"]["values"],
            ordered_json::array(
                {{{"base64", base64(test::dataFromHex(frameHex("id3v24.mp3", "PRIV")))}}}));
  // Keys in byte order.
  const auto tagKeys = keysOf(record["tags"]);
  EXPECT_TRUE(std::is_sorted(tagKeys.begin(), tagKeys.end()));

  ASSERT_EQ(record["artworks"].size(), 2u);
  const auto& back = record["artworks"][0];
  EXPECT_EQ(keysOf(back),
            (std::vector<std::string>{"type", "mimeType", "comments", "originalFilename", "md5",
                                      "width", "height", "size"}));
  EXPECT_EQ(back["comments"], "Back Cover");
  EXPECT_TRUE(back["originalFilename"].is_null());
  EXPECT_EQ(back["md5"], test::fixtureManifest()["images"]["back.png"]["md5"]);
  EXPECT_EQ(back["width"], 32);
  EXPECT_EQ(back["size"], 117);

  const auto& properties = record["properties"];
  EXPECT_EQ(
      keysOf(properties),
      (std::vector<std::string>{"kind", "format", "length", "bitrate", "bitrateMode", "sampleRate",
                                "sampleSize", "channels", "channelMode", "tagFormat", "encodedWith",
                                "fileSize", "dateModified", "dateCreated"}));
  EXPECT_EQ(properties["kind"], "MPEG Layer 3");
  EXPECT_EQ(properties["length"], 1);
  EXPECT_EQ(properties["sampleRate"], 44100);
  EXPECT_TRUE(properties["sampleSize"].is_null());
  EXPECT_EQ(properties["tagFormat"], "ID3v2.4.0");
  EXPECT_EQ(properties["fileSize"], test::manifestEntry("id3v24.mp3")["size"]);
  const std::regex iso(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)");
  EXPECT_TRUE(std::regex_match(properties["dateModified"].get<std::string>(), iso));
  EXPECT_TRUE(std::regex_match(record["digest"].get<std::string>(), std::regex("[0-9a-f]{32}")));
  EXPECT_EQ(record["needsSaving"], false);

  const auto& error = document[1];
  EXPECT_EQ(keysOf(error), (std::vector<std::string>{"path", "error"}));
  EXPECT_EQ(error["path"], missing);
  EXPECT_FALSE(error["error"].get<std::string>().empty());

  // Nothing to read: an empty array and success.
  test::TemporaryDirectory empty;
  const Result none = runCli({"read", "--json", empty.path().string()});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "[]\n");
}

TEST(ReadCommand, TextOutputSettingsAndUsageErrors) {
  const std::string file = fixture("01 Intro.flac").string();
  const std::string missing = file + ".missing.flac";
  Result text = runCli({"read", file, missing});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("Kind: FLAC"), std::string::npos);
  EXPECT_EQ(text.err.find("quorvel-cli: " + missing + ": "), 0u) << text.err;

  // A setting for one run: the title from the file name.
  Result titled =
      runCli({"-s", "fallbackOnFilenameWhenTitleIsMissing=true", "read", "--json", "--", file});
  UserDefaults::standard().setVolatileValue(PlistValue(), "fallbackOnFilenameWhenTitleIsMissing");
  EXPECT_EQ(titled.status, 0);
  auto document = ordered_json::parse(titled.out, nullptr, false);
  ASSERT_TRUE(document.is_array());
  EXPECT_EQ(document[0]["tags"]["TRACKTITLE"]["values"][0], "01 Intro");
  EXPECT_EQ(document[0]["needsSaving"], true);

  for (const auto& args : std::vector<std::vector<std::string>>{{"read"},
                                                                {"read", "--json"},
                                                                {"read", "-j", "0", file},
                                                                {"read", "-j", "many", file},
                                                                {"read", "-j257", file},
                                                                {"read", file, "-j"},
                                                                {"read", "--bogus", file}}) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const Result usage = runCli(args);
    EXPECT_EQ(usage.status, 2) << joined;
    EXPECT_TRUE(usage.out.empty()) << joined;
    EXPECT_NE(usage.err.find("usage: quorvel-cli"), std::string::npos) << joined;
  }
}

}  // namespace
}  // namespace quorvel
