#include "platform/KeyedArchive.h"

#include <gtest/gtest.h>

#include "platform/PropertyList.h"

namespace quorvel {
namespace {

KeyedArchive::Object sample() {
  KeyedArchive::Object object;
  object.className = "Sample";
  object.fields = {{"count", std::int64_t{-42}},
                   {"name", std::string("naïve")},
                   {"bytes", Data::fromString(std::string("\0\1\2", 3))},
                   {"nothing", KeyedArchive::Value{}},
                   {"$class", std::string("reserved, never written")}};
  return object;
}

TEST(KeyedArchiveTest, WritesTheKeyedArchiverLayout) {
  const Data archive = KeyedArchive::archive(sample());
  ASSERT_EQ(archive.view().substr(0, 8), "bplist00");
  auto parsed = plist::parse(archive);
  ASSERT_TRUE(parsed);
  const auto& top = *parsed->get<PlistDict>();
  EXPECT_EQ(top.at("$archiver"), PlistValue("NSKeyedArchiver"));
  EXPECT_EQ(top.at("$version"), PlistValue(100000));
  EXPECT_EQ(top.at("$top"), PlistValue(PlistDict{{"root", PlistUID{1}}}));
  const auto& objects = *top.at("$objects").get<PlistArray>();
  ASSERT_EQ(objects.size(), 5u);  // $null, root, two referenced values, class
  EXPECT_EQ(objects[0], PlistValue("$null"));
  const auto& root = *objects[1].get<PlistDict>();
  EXPECT_EQ(root.at("count"), PlistValue(-42));
  EXPECT_EQ(root.at("nothing"), PlistValue(PlistUID{0}));
  EXPECT_EQ(objects[root.at("name").get<PlistUID>()->value], PlistValue("naïve"));
  EXPECT_EQ(objects[root.at("$class").get<PlistUID>()->value],
            PlistValue(PlistDict{{"$classname", "Sample"},
                                 {"$classes", PlistArray{"Sample", "NSObject"}}}));

  Error error;
  auto back = KeyedArchive::unarchive(archive, "Sample", &error);
  ASSERT_TRUE(back) << error.localizedDescription;
  auto expected = sample().fields;
  expected.erase("$class");
  EXPECT_EQ(back->fields, expected);
  EXPECT_EQ(back->classes, (std::vector<std::string>{"Sample", "NSObject"}));
}

// As the desktop writes it in XML form, with a mutable string and mutable
// data as objects of their own, a boolean and a float field.
constexpr const char* kXmlArchive = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>$archiver</key><string>NSKeyedArchiver</string>
<key>$version</key><integer>100000</integer>
<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>
<key>$objects</key><array>
  <string>$null</string>
  <dict>
    <key>$class</key><dict><key>CF$UID</key><integer>5</integer></dict>
    <key>comments</key><dict><key>CF$UID</key><integer>2</integer></dict>
    <key>data</key><dict><key>CF$UID</key><integer>3</integer></dict>
    <key>flag</key><true/>
    <key>ratio</key><real>0.5</real>
    <key>self</key><dict><key>CF$UID</key><integer>1</integer></dict>
  </dict>
  <dict><key>NS.string</key><string>mutable</string><key>$class</key><dict><key>CF$UID</key><integer>4</integer></dict></dict>
  <dict><key>NS.data</key><data>AAEC</data><key>$class</key><dict><key>CF$UID</key><integer>4</integer></dict></dict>
  <dict><key>$classname</key><string>NSMutableString</string></dict>
  <dict><key>$classname</key><string>Thing</string><key>$classes</key><array><string>Thing</string><string>NSObject</string></array></dict>
</array>
</dict></plist>)";

TEST(KeyedArchiveTest, ReadsTheDesktopsXmlFormAndMutableValues) {
  Error error;
  auto object = KeyedArchive::unarchive(Data::fromString(kXmlArchive), "Thing", &error);
  ASSERT_TRUE(object) << error.localizedDescription;
  EXPECT_EQ(object->fields.at("comments"), KeyedArchive::Value(std::string("mutable")));
  EXPECT_EQ(object->fields.at("data"),
            KeyedArchive::Value(Data::fromString(std::string("\0\1\2", 3))));
  EXPECT_EQ(object->fields.at("flag"), KeyedArchive::Value(std::int64_t{1}));
  // Floats and nested objects are not fields of a flat record.
  EXPECT_FALSE(object->fields.contains("ratio"));
  EXPECT_FALSE(object->fields.contains("self"));

  // Damaged text reads as what a property list would write back.
  std::string damaged = kXmlArchive;
  damaged.replace(damaged.find("mutable"), 7, "mu\xFFtable");
  object = KeyedArchive::unarchive(Data::fromString(damaged), "Thing", &error);
  ASSERT_TRUE(object) << error.localizedDescription;
  EXPECT_EQ(object->fields.at("comments"), KeyedArchive::Value(std::string("mu\uFFFDtable")));
  auto again = KeyedArchive::unarchive(KeyedArchive::archive(*object), "Thing");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->fields, object->fields);
}

TEST(KeyedArchiveTest, RefusesHostileArchives) {
  auto edited = [](auto&& change) {
    auto top = *plist::parse(KeyedArchive::archive(sample()));
    change(*top.template get<PlistDict>());
    return plist::serialize(top, true);
  };
  auto objectsOf = [](PlistDict& top) -> PlistArray& { return *top["$objects"].get<PlistArray>(); };
  const std::vector<std::pair<const char*, Data>> cases = {
      {"empty", Data()},
      {"not a list", Data::fromString("just text")},
      {"not a dictionary", plist::serialize(PlistValue(PlistArray{1, 2}), true)},
      {"other archiver", edited([](PlistDict& t) { t["$archiver"] = "NSArchiver"; })},
      {"no objects", edited([](PlistDict& t) { t.erase("$objects"); })},
      {"objects not a list", edited([](PlistDict& t) { t["$objects"] = 5; })},
      {"no top", edited([](PlistDict& t) { t.erase("$top"); })},
      {"root not a UID", edited([](PlistDict& t) {
         t["$top"] = PlistDict{{"root", 1}};
       })},
      {"root past the table", edited([](PlistDict& t) {
         t["$top"] = PlistDict{{"root", PlistUID{1u << 31}}};
       })},
      {"root is $null", edited([](PlistDict& t) {
         t["$top"] = PlistDict{{"root", PlistUID{0}}};
       })},
      {"class not a record",
       edited([&](PlistDict& t) { (*objectsOf(t)[1].get<PlistDict>())["$class"] = PlistUID{0}; })},
      {"class past the table",
       edited([&](PlistDict& t) { (*objectsOf(t)[1].get<PlistDict>())["$class"] = PlistUID{99}; })},
      {"field past the table",
       edited([&](PlistDict& t) { (*objectsOf(t)[1].get<PlistDict>())["name"] = PlistUID{99}; })},
      {"class name not text",
       edited([&](PlistDict& t) { (*objectsOf(t).back().get<PlistDict>())["$classname"] = 7; })},
  };
  for (const auto& [what, bytes] : cases) {
    Error error;
    EXPECT_FALSE(KeyedArchive::unarchive(bytes, "Sample", &error)) << what;
    EXPECT_EQ(error.code, KeyedArchive::kReadCorruptError) << what;
  }
  // An archive of another class is refused, whatever it holds.
  EXPECT_FALSE(KeyedArchive::unarchive(KeyedArchive::archive(sample()), "AlbumArtwork"));
}

}  // namespace
}  // namespace quorvel
