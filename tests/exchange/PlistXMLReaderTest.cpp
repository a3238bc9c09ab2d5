#include "exchange/PlistXMLReader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "exchange/AudioMetadataXMLImporter.h"
#include "platform/PropertyList.h"

namespace quorvel {
namespace {

std::string xml(const PlistValue& value) { return std::string(plist::serialize(value).view()); }

// What the quick reader accepts, the general parser must read the same way.
// Returns whether the quick reader accepted.
bool agrees(std::string_view document) {
  auto quick = PlistXMLReader::read(document);
  if (!quick) {
    return false;
  }
  auto general = plist::parse(Data::fromString(document));
  EXPECT_TRUE(general) << "accepted what the general parser refuses:\n" << document;
  EXPECT_TRUE(general && *quick == *general) << "read differently:\n" << document;
  return true;
}

std::string wrap(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" +
         std::string(body) + "\n</plist>\n";
}

PlistValue sampleExport() {
  PlistDict first{
      {"TRACKTITLE", "A <b> & \"c\" 'd' \n line2\t tab  "},
      {"ALBUM", "Électro — ℗ 2001 > ]]> &amp;"},
      {"COMMENTS", ""},
      {"BPM", std::int64_t{120}},
      {"OFFSET", std::int64_t{-5}},
      {"BIG", std::int64_t{999999999999999999}},
      {"GAIN", 0.1},
      {"TINY", -2.5e-300},
      {"COMPILATION", true},
      {"SKIP", false},
      {"GENRE", PlistArray{"Rock", "Jazz", std::int64_t{7}}},
      {"EMPTYLIST", PlistArray{}},
      {"NESTED", PlistDict{{"x", PlistArray{PlistDict{}}}}},
      {"REF", PlistDict{{"CF$UID", std::int64_t{3}}}},
      {"File Path", "/music/a&b/<c>.flac"},
  };
  PlistArray records{PlistValue(first), PlistValue("not a dictionary")};
  for (std::size_t n = 0; n < 8; ++n) {
    ByteBuffer bytes(n * 7 + n % 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<std::uint8_t>(i * 37 + n);
    }
    records.emplace_back(PlistDict{{"ARTWORK", Data(std::move(bytes))}, {"", "empty key"}});
  }
  return PlistValue(std::move(records));
}

TEST(PlistXMLReaderTest, ReadsWrittenListsAsTheGeneralParserDoes) {
  const std::string document = xml(sampleExport());
  ASSERT_TRUE(agrees(document)) << document;
  auto read = PlistXMLReader::read(document);
  const auto& records = *read->get<PlistArray>();
  const auto& first = *records[0].get<PlistDict>();
  EXPECT_EQ(first.at("TRACKTITLE"), PlistValue("A <b> & \"c\" 'd' \n line2\t tab  "));
  EXPECT_EQ(first.at("REF"), PlistValue(PlistUID{3}));
  EXPECT_EQ(records[3].get<PlistDict>()->at("ARTWORK").get<Data>()->size(), 8u);

  // Reals in every magnitude read back to the same bits.
  std::mt19937_64 random(20240517);
  PlistArray reals;
  while (reals.size() < 3000) {
    double v = std::bit_cast<double>(random());
    if (std::isfinite(v)) {
      reals.emplace_back(v);
    }
  }
  reals.emplace_back(-0.0);
  reals.emplace_back(1e300);
  EXPECT_TRUE(agrees(xml(PlistValue(std::move(reals)))));

  // The forms a writer may choose that this reader takes as well.
  for (const char* body :
       {"<array/>", "<dict/>", "<string/>", "<data/>", "<data>\n\t\t</data>", "<data>AA==</data>",
        "<data>AAA=</data>", "<data> A A E C </data>", "<integer>-0</integer>", "<real>1E+2</real>",
        "<dict><key>a</key><string>1</string><key>a</key><string>2</string>"
        "</dict>",
        "<dict><key></key><string>v</string></dict>", "<string>\xff\xfe</string>"}) {
    EXPECT_TRUE(agrees(wrap(body))) << body;
  }
  EXPECT_TRUE(agrees("<plist version=\"1.0\"><true/></plist>"));
}

TEST(PlistXMLReaderTest, DeclinesWhatItDoesNotKnowAndTheImportStillReadsIt) {
  const char* const declined[] = {
      "<date>2001-01-01T00:01:40Z</date>",
      "<string>a<!-- c -->b</string>",
      "<string><![CDATA[x<y]]></string>",
      "<string>&#65;</string>",
      "<string>a&foo;b</string>",
      "<string>a\r\nb</string>",
      "<string >a</string>",
      "<integer>007</integer>",
      "<integer>+5</integer>",
      "<integer>0x10</integer>",
      "<integer>9223372036854775807</integer>",
      "<real>.5</real>",
      "<real>nan</real>",
      "<true></true>",
      "<data>AAE</data>",
      "<data>AA=C</data>",
      "<data>AA=A</data>",
      "<data>AB==</data>",
      "<dict><key/><string>v</string></dict>",
      "<dict><key>a</key></dict>",
      "<array><string>a</string>junk</array>",
      "<array/><array/>",
  };
  for (const char* body : declined) {
    const std::string document = wrap(body);
    EXPECT_FALSE(PlistXMLReader::read(document)) << body;
  }
  EXPECT_FALSE(PlistXMLReader::read(wrap("<array/>") + "junk"));
  EXPECT_FALSE(PlistXMLReader::read("\xEF\xBB\xBF" + wrap("<array/>")));

  // Declined documents are the general parser's: a date inside an export is
  // read, an unreadable file is nothing.
  const std::string withDate = wrap(
      "<array><dict><key>ALBUM</key><string>Blue</string><key>WHEN</key>"
      "<date>2001-01-01T00:01:40Z</date></dict></array>");
  auto dictionaries = AudioMetadataXMLImporter::metadataArrayFromData(Data::fromString(withDate));
  ASSERT_TRUE(dictionaries);
  EXPECT_EQ(dictionaries->at(0).at("ALBUM"), PlistValue("Blue"));
  EXPECT_TRUE(dictionaries->at(0).at("WHEN").is<PlistDate>());
  EXPECT_FALSE(AudioMetadataXMLImporter::metadataArrayFromData(Data::fromString(wrap("<arr"))));
}

// Damaged copies of a written list: every truncation and a handful of byte
// substitutions at every position. None may crash, and whatever the quick
// reader accepts must read as the general parser reads it.
TEST(PlistXMLReaderTest, DamagedDocumentsNeverReadDifferently) {
  PlistDict record{{"TRACKTITLE", "So <What> & \"More\""},
                   {"GENRE", PlistArray{"Jazz", "Modal"}},
                   {"BPM", std::int64_t{136}},
                   {"GAIN", -6.5},
                   {"ARTWORK", Data::fromString("\x89PNG\r\n")},
                   {"COMPILATION", true}};
  const std::string document = xml(PlistValue(PlistArray{PlistValue(record)}));
  ASSERT_TRUE(agrees(document));
  std::size_t accepted = 0;
  for (std::size_t length = 0; length < document.size(); ++length) {
    accepted += agrees(std::string_view(document).substr(0, length)) ? 1 : 0;
  }
  const std::string substitutes("<>&/=\"\r\n\t\0 x9-.A;#", 19);
  for (std::size_t i = 0; i < document.size(); ++i) {
    for (char c : substitutes) {
      std::string damaged = document;
      damaged[i] = c;
      accepted += agrees(damaged) ? 1 : 0;
    }
  }
  // Many damages stay inside the subset (a letter for a letter), so the
  // comparison above compared something.
  EXPECT_GT(accepted, document.size());
}

}  // namespace
}  // namespace quorvel
