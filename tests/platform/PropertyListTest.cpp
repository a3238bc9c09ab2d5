#include "platform/PropertyList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono;

PlistValue sampleTree() {
  PlistDict inner{{"empty array", PlistArray{}}, {"empty dict", PlistDict{}}};
  return PlistDict{
      {"bool true", true},
      {"bool false", false},
      {"zero", 0},
      {"negative", std::int64_t{-5}},
      {"int64 max", std::numeric_limits<std::int64_t>::max()},
      {"int64 min", std::numeric_limits<std::int64_t>::min()},
      {"real", 0.1},
      {"negative real", -1.5e300},
      {"text", "Ärger & <Tags> \"quoted\" \xF0\x9F\x8E\xB5"},
      {"empty text", ""},
      {"data", Data::fromString(std::string("\0\x01\xFF binary", 10))},
      {"empty data", Data()},
      {"date", PlistDate(seconds(1700000000))},
      {"old date", PlistDate(seconds(-1000000000))},  // before both epochs
      {"uid", PlistUID{42}},
      {"array", PlistArray{1, "two", 3.5, PlistArray{PlistUID{0}}}},
      {"", "empty key"},
      {"nested", inner},
  };
}

TEST(PropertyListTest, RoundTripsEveryTypeInXmlAndBinary) {
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "xml");
    PlistValue original = sampleTree();
    Data bytes = plist::serialize(original, binary);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.view().starts_with("bplist00"), binary);
    Error error;
    auto parsed = plist::parse(bytes, &error);
    ASSERT_TRUE(parsed) << error.localizedDescription;
    EXPECT_EQ(*parsed, original);
  }
}

TEST(PropertyListTest, InvalidUtf8IsRepairedSoBothFormsReadBack) {
  PlistValue value = PlistDict{{"bad\xFFkey", "caf\xE9 \xC3\xA9 \xED\xA0\x80 end"}};
  PlistValue repaired = PlistDict{
      {"bad\uFFFDkey", "caf\uFFFD \u00E9 \uFFFD\uFFFD\uFFFD end"}};  // a surrogate is 3 bad bytes
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "xml");
    Error error;
    auto parsed = plist::parse(plist::serialize(value, binary), &error);
    ASSERT_TRUE(parsed) << error.localizedDescription;
    EXPECT_EQ(*parsed, repaired);
  }
}

TEST(PropertyListTest, DatesKeepMicrosecondsInBinaryAndWholeSecondsInXml) {
  PlistDate precise = PlistDate(seconds(1700000000) + microseconds(250000));
  PlistDate beforeEpoch = PlistDate(seconds(-100) + microseconds(250000));
  PlistValue value = PlistArray{precise, beforeEpoch};

  auto binary = plist::parse(plist::serialize(value, true));
  ASSERT_TRUE(binary);
  EXPECT_EQ(*binary, value);

  auto xml = plist::parse(plist::serialize(value, false));
  ASSERT_TRUE(xml);
  const PlistArray& dates = *xml->get<PlistArray>();
  EXPECT_EQ(dates[0], PlistValue(PlistDate(seconds(1700000000))));
  EXPECT_EQ(dates[1], PlistValue(PlistDate(seconds(-100))));  // floor, not toward zero
}

TEST(PropertyListTest, ReadsHandWrittenXmlAndArchiveUids) {
  const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment with <dict> inside -->
<dict>
  <key>flag</key><true/>
  <key>count</key><integer>-12</integer>
  <key>ratio</key><real>2.5</real>
  <key>name</key><string>a &amp; b</string>
  <key>blob</key><data>AAEC</data>
  <key>when</key><date>2001-01-01T00:00:10Z</date>
  <key>ref</key><dict><key>CF$UID</key><integer>3</integer></dict>
  <key>notRef</key><dict><key>CF$UID</key><string>3</string></dict>
</dict>
</plist>)";
  Error error;
  auto parsed = plist::parse(Data::fromString(xml), &error);
  ASSERT_TRUE(parsed) << error.localizedDescription;
  const PlistDict& d = *parsed->get<PlistDict>();
  EXPECT_EQ(d.at("flag"), PlistValue(true));
  EXPECT_EQ(d.at("count"), PlistValue(-12));
  EXPECT_EQ(d.at("ratio"), PlistValue(2.5));
  EXPECT_EQ(d.at("name"), PlistValue("a & b"));
  EXPECT_EQ(d.at("blob"), PlistValue(Data::fromString(std::string("\0\1\2", 3))));
  EXPECT_EQ(d.at("when"), PlistValue(PlistDate(seconds(978307210))));
  EXPECT_EQ(d.at("ref"), PlistValue(PlistUID{3}));
  EXPECT_TRUE(d.at("notRef").is<PlistDict>());
}

// Ends a hand-made binary list: offset and reference sizes, object count, top
// object 0, offset table position.
Data withTrailer(ByteBuffer out, std::uint8_t offsetSize, std::uint8_t refSize, std::uint64_t count,
                 std::uint64_t table) {
  out.insert(out.end(), 6, 0);
  out.push_back(offsetSize);
  out.push_back(refSize);
  for (std::uint64_t v : {count, std::uint64_t{0}, table}) {
    for (int s = 56; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
  }
  return Data(std::move(out));
}

TEST(PropertyListTest, RejectsGarbageTruncatedAndHostileInput) {
  Data good = plist::serialize(sampleTree(), false);
  Data goodBinary = plist::serialize(sampleTree(), true);

  std::vector<std::pair<std::string, Data>> bad = {
      {"empty", Data()},
      {"text", Data::fromString("hello, world")},
      {"json", Data::fromString(R"({"a": 1})")},
      {"truncated xml", Data(good.bytes(), good.size() / 2)},
      {"truncated binary", Data(goodBinary.bytes(), goodBinary.size() - 10)},
      {"binary header only", Data::fromString("bplist00")},
      {"unclosed", Data::fromString("<plist><dict><key>a</key><string>b")},
      {"binary of zeros", Data::fromString(std::string("bplist00") + std::string(64, '\0'))},
  };
  // Nesting far deeper than a parser's stack could take.
  std::string deepXml = "<plist>";
  for (int i = 0; i < 200000; ++i) deepXml += "<array>";
  for (int i = 0; i < 200000; ++i) deepXml += "</array>";
  deepXml += "</plist>";
  bad.emplace_back("deep xml", Data::fromString(deepXml));

  // Binary: object i is an array holding object i + 1, 200000 levels deep.
  auto deepBinary = [](std::uint32_t n, bool cycle) {
    ByteBuffer out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint32_t> offsets;
    auto be32 = [&](std::uint32_t v) {
      for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
    };
    for (std::uint32_t i = 0; i < n; ++i) {
      offsets.push_back(static_cast<std::uint32_t>(out.size()));
      if (i + 1 < n || cycle) {
        out.push_back(0xA1);
        be32(cycle && i + 1 == n ? 0 : i + 1);
      } else {
        out.push_back(0xA0);
      }
    }
    const std::uint64_t table = out.size();
    for (std::uint32_t o : offsets) be32(o);
    return withTrailer(std::move(out), 4, 4, n, table);
  };
  bad.emplace_back("deep binary", deepBinary(200000, false));
  bad.emplace_back("cyclic binary", deepBinary(3, true));

  // Shared arrays: each level refers twice to the next, 2^60 nodes when expanded.
  {
    ByteBuffer out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    const int levels = 60;
    for (int i = 0; i < levels; ++i) {
      out.insert(out.end(),
                 {0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
    }
    out.push_back(0x08);  // false
    const std::uint64_t table = out.size();
    for (int i = 0; i <= levels; ++i) out.push_back(static_cast<std::uint8_t>(8 + 3 * i));
    bad.emplace_back("expansion bomb", withTrailer(std::move(out), 1, 1, levels + 1, table));
  }

  // A dictionary whose key is an integer: {1: 2}.
  bad.emplace_back("integer key", withTrailer({'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xD1, 1, 2,
                                               0x10, 1, 0x10, 2, 8, 11, 13},
                                              1, 1, 3, 15));

  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    Error error;
    EXPECT_FALSE(plist::parse(bytes, &error));
    EXPECT_EQ(error.code, plist::kReadCorruptError);
    EXPECT_EQ(error.domain, kQuorvelErrorDomain);
    EXPECT_FALSE(error.localizedDescription.empty());
  }
  // The deep binary list is fine once it is shallow enough.
  EXPECT_TRUE(plist::parse(deepBinary(100, false)));
  EXPECT_TRUE(plist::parse(deepBinary(plist::kMaxDepth, false)));
  EXPECT_FALSE(plist::parse(deepBinary(plist::kMaxDepth + 1, false)));
}

TEST(PropertyListTest, SerialiseRefusesTooDeepValues) {
  PlistValue deep = PlistArray{};
  for (int i = 0; i < plist::kMaxDepth + 5; ++i) deep = PlistArray{deep};
  EXPECT_TRUE(plist::serialize(deep).empty());
  test::TemporaryDirectory dir;
  Error error;
  EXPECT_FALSE(plist::writeFile(deep, (dir / "deep.plist").string(), false, &error));
  EXPECT_EQ(error.code, plist::kWriteInvalidError);
  EXPECT_FALSE(std::filesystem::exists(dir / "deep.plist"));
}

TEST(PropertyListTest, WriteFileReplacesAtomicallyAndKeepsMode) {
  test::TemporaryDirectory dir;
  const std::string path = (dir / "out.plist").string();
  Error error;
  ASSERT_TRUE(plist::writeFile(PlistDict{{"a", 1}}, path, false, &error))
      << error.localizedDescription;
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(plist::writeFile(PlistDict{{"a", 2}}, path, true, &error));
  auto read = plist::readFile(path, &error);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, PlistValue(PlistDict{{"a", 2}}));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No temporary files are left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);

  // A link is followed: the target changes, the link stays a link.
  const std::string link = (dir / "link.plist").string();
  std::filesystem::create_symlink(path, link);
  ASSERT_TRUE(plist::writeFile(PlistDict{{"a", 3}}, link, false, &error));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(*plist::readFile(path), PlistValue(PlistDict{{"a", 3}}));

  // Failures leave an error and no file.
  EXPECT_FALSE(
      plist::writeFile(PlistDict{}, (dir / "missing" / "x.plist").string(), false, &error));
  EXPECT_EQ(error.code, plist::kWriteUnknownError);
  EXPECT_FALSE(plist::readFile((dir / "absent.plist").string(), &error));
  EXPECT_EQ(error.code, plist::kReadNoSuchFileError);
  EXPECT_FALSE(plist::readFile(dir.path().string(), &error));  // a folder
  EXPECT_NE(error.code, 0);
}

}  // namespace
}  // namespace quorvel
