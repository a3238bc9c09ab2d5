#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>
#include <vector>

#include "support/MD5.h"

namespace quorvel {
namespace {

// Switches the default locale for one test and puts the old one back.
class LocaleScope {
 public:
  explicit LocaleScope(const std::string& name) : previous_(defaultLocaleName()) {
    setDefaultLocaleName(name);
  }
  ~LocaleScope() { setDefaultLocaleName(previous_); }

 private:
  std::string previous_;
};

TEST(TextTest, Utf16RoundTripAndInvalidInput) {
  std::string text = "Bj\xC3\xB6rk \xF0\x9F\x8E\xB5";  // Björk + a musical note (two UTF-16 units)
  std::u16string u = utf8ToUtf16(text);
  EXPECT_EQ(u.size(), 8u);
  EXPECT_EQ(u[2], u'\u00F6');
  EXPECT_EQ(utf16ToUtf8(u), text);
  // Bad bytes and an unpaired surrogate become U+FFFD rather than failing.
  EXPECT_EQ(utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_TRUE(utf8ToUtf16("").empty());
}

TEST(TextTest, CaseMappingIgnoresLocale) {
  LocaleScope turkish("tr_TR");
  // Root rules: no dotted capital I for Turkish.
  EXPECT_EQ(uppercaseString("istanbul stra\xC3\x9F"
                            "e"),
            "ISTANBUL STRASSE");
  EXPECT_EQ(lowercaseString("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");  // ÉTÉ -> été
  EXPECT_EQ(asciiUppercase("album\xC3\xA9_x1"), "ALBUM\xC3\xA9_X1");
}

TEST(TextTest, LocalizedCaseInsensitiveCompare) {
  LocaleScope english("en_US");
  EXPECT_EQ(localizedCaseInsensitiveCompare("album", "ALBUM"), 0);
  EXPECT_LT(localizedCaseInsensitiveCompare("album", "ALBUMARTIST"), 0);
  EXPECT_LT(localizedCaseInsensitiveCompare("e", "\xC3\xA9"), 0);  // accents still count
  EXPECT_LT(localizedCaseInsensitiveCompare("\xC3\xA9", "f"), 0);
  EXPECT_GT(localizedCaseInsensitiveCompare("genre", "Album"), 0);

  // Sort keys order exactly as the comparison does.
  std::vector<std::string> words = {"genre", "ALBUM", "\xC3\xA9t\xC3\xA9", "Zebra", "album",
                                    "ete",   "f",     "ALBUMARTIST",       "10",    "9"};
  for (const auto& a : words) {
    for (const auto& b : words) {
      int byCompare = localizedCaseInsensitiveCompare(a, b);
      std::string ka = localizedCaseInsensitiveSortKey(a);
      std::string kb = localizedCaseInsensitiveSortKey(b);
      int byKey = ka < kb ? -1 : (kb < ka ? 1 : 0);
      EXPECT_EQ(byCompare < 0 ? -1 : (byCompare > 0 ? 1 : 0), byKey) << a << " vs " << b;
    }
  }
}

TEST(TextTest, PosixLocaleStillIgnoresCase) {
  // What ICU makes of LANG=C: its own collation is case-sensitive code-point order.
  LocaleScope posix("en_US_POSIX");
  EXPECT_EQ(localizedCaseInsensitiveCompare("album", "ALBUM"), 0);
  EXPECT_LT(localizedCaseInsensitiveCompare("album", "GENRE"), 0);
  EXPECT_LT(localizedCaseInsensitiveSortKey("album"), localizedCaseInsensitiveSortKey("GENRE"));
  EXPECT_EQ(numberFromLocalizedString("2.5"), Number(2.5));
}

TEST(TextTest, LocaleChangeReachesCachedTools) {
  {
    LocaleScope swedish("sv_SE");
    // Swedish sorts ä after z; the sort-key cache must not keep English keys.
    EXPECT_GT(localizedCaseInsensitiveCompare("\xC3\xA4", "z"), 0);
    EXPECT_GT(localizedCaseInsensitiveSortKey("\xC3\xA4"), localizedCaseInsensitiveSortKey("z"));
  }
  LocaleScope english("en_US");
  EXPECT_LT(localizedCaseInsensitiveCompare("\xC3\xA4", "z"), 0);
  EXPECT_LT(localizedCaseInsensitiveSortKey("\xC3\xA4"), localizedCaseInsensitiveSortKey("z"));
}

TEST(TextTest, NumberParsingFollowsLocale) {
  {
    LocaleScope english("en_US");
    // Text, then the number and whether it is an integer.
    const std::vector<std::tuple<std::string, double, bool>> numbers = {{"12", 12, true},
                                                                        {"1.5", 1.5, false},
                                                                        {"3.0", 3, true},
                                                                        {"-7", -7, true},
                                                                        {"1,234", 1234, true}};
    for (const auto& [text, value, integer] : numbers) {
      auto n = numberFromLocalizedString(text);
      ASSERT_TRUE(n) << text;
      EXPECT_DOUBLE_EQ(n->doubleValue(), value) << text;
      EXPECT_EQ(n->isInteger(), integer) << text;
    }
    EXPECT_EQ(numberFromLocalizedString("9223372036854775807")->int64Value(), INT64_MAX);
    // The whole text must be a number.
    for (const char* text : {"", "Jazz", "3/12", "12abc", "\xFF\xFE"}) {
      EXPECT_FALSE(numberFromLocalizedString(text)) << text;
    }
  }
  LocaleScope german("de_DE");
  EXPECT_DOUBLE_EQ(numberFromLocalizedString("1,5").value_or(Number(0)).doubleValue(), 1.5);
}

TEST(TextTest, TrimWhitespaceAndNewlines) {
  EXPECT_EQ(trimWhitespaceAndNewlines("  \t\r\nBlue Train \n"), "Blue Train");
  // No-break space, line separator and NEL count; inner spaces stay.
  EXPECT_EQ(trimWhitespaceAndNewlines("\xC2\xA0\xE2\x80\xA8"
                                      "a b\xC2\x85"),
            "a b");
  EXPECT_EQ(trimWhitespaceAndNewlines(" \n "), "");
  EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
  // Invalid bytes are content, not space.
  EXPECT_EQ(trimWhitespaceAndNewlines(" \xFF "), "\xFF");
}

TEST(TextTest, FoldForMatching) {
  EXPECT_EQ(foldForMatching("Caf\xC3\xA9"), "cafe");
  EXPECT_EQ(foldForMatching("CAFE\xCC\x81"), "cafe");  // combining acute accent
  EXPECT_EQ(foldForMatching("Stra\xC3\x9F"
                            "e"),
            "strasse");
  EXPECT_EQ(foldForMatching("\xC3\x85ngstr\xC3\xB6m"), foldForMatching("angstrom"));
  EXPECT_EQ(foldForMatching("cover.JPG"), "cover.jpg");
}

TEST(TextTest, ThreadsGetTheirOwnTools) {
  LocaleScope english("en_US");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 500; ++i) {
        if (localizedCaseInsensitiveCompare("ALBUM", "album") != 0 ||
            numberFromLocalizedString(std::to_string(i)) != Number(i) ||
            localizedCaseInsensitiveSortKey("GENRE") <= localizedCaseInsensitiveSortKey("ALBUM")) {
          ++failures[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(MD5Test, KnownDigests) {
  // RFC 1321 test vectors.
  EXPECT_EQ(md5Hex(std::string_view("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex(std::string_view("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5Hex(Data::fromString("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5Hex(Data()), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace quorvel
