#include "functions/FormatSpecifiers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "model/AudioMetadata.h"
#include "support/Text.h"

namespace quorvel {
namespace {

using Values = std::map<std::string, std::string>;

FormatValueForKey valuesFrom(Values values) {
  return [values = std::move(values)](const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  };
}

std::string expand(std::string_view format, const Values& values,
                   const FormatExpansionOptions& options = {}) {
  return expandFormatSpecifiers(format, valuesFrom(values), options);
}

FormatExpansionOptions renameOptions(std::optional<std::string> replacement = "_") {
  FormatExpansionOptions options;
  options.twoDigitTrackNumbers = true;
  options.twoDigitDiscNumbers = true;
  options.filenameWhenTitleIsMissing = true;
  options.fallbackWords = true;
  options.filenameMode = true;
  options.replacement = std::move(replacement);
  return options;
}

TEST(FormatSpecifiersTest, VocabularyIsLongestFirst) {
  const auto& keys = formatSpecifierKeys();
  ASSERT_EQ(keys.size(), 96u + 16u);
  for (std::size_t i = 1; i < keys.size(); ++i) {
    const bool ordered = keys[i - 1].size() > keys[i].size() ||
                         (keys[i - 1].size() == keys[i].size() && keys[i - 1] < keys[i]);
    EXPECT_TRUE(ordered) << keys[i - 1] << " before " << keys[i];
  }
  // Only the longest key in a group is the placeholder.
  EXPECT_EQ(expand("{ALBUMARTIST}", {{"ALBUM", "Live"}, {"ALBUMARTIST", "Band"}}), "Band");
  EXPECT_EQ(expand("{ALBUM - TRACKTITLE}", {{"ALBUM", "Live"}, {"TRACKTITLE", "Intro"}}),
            "ALBUM - Intro");
  EXPECT_EQ(expand("{_FILEDATEMODIFIED}", {{"_FILEDATEMODIFIED", "1/2/24"}}), "1/2/24");
}

TEST(FormatSpecifiersTest, GroupsWithLiteralText) {
  const Values full{{"TRACKNUMBER", "3"}, {"TRACKTITLE", "Intro"}};
  EXPECT_EQ(expand("{TRACKNUMBER. }{TRACKTITLE}", full), "3. Intro");
  EXPECT_EQ(expand("{TRACKNUMBER. }{TRACKTITLE}", {{"TRACKTITLE", "Intro"}}), "Intro");
  FormatExpansionOptions twoDigits;
  twoDigits.twoDigitTrackNumbers = true;
  EXPECT_EQ(expand("{TRACKNUMBER. }{TRACKTITLE}", full, twoDigits), "03. Intro");
  // Every occurrence in the group is replaced; text outside groups stays,
  // folder separators included.
  EXPECT_EQ(expand("{TRACKTITLE/TRACKTITLE}", full), "Intro/Intro");
  EXPECT_EQ(expand("Music/{TRACKNUMBER} - {TRACKTITLE}.mp3", full), "Music/3 - Intro.mp3");
  // Custom tags, and the default format naming a tag of its own.
  EXPECT_EQ(expand("[{MYTAG}]", {{"MYTAG", "x"}}), "[x]");
  EXPECT_EQ(expand("", {{"sourceFilename", "song"}}), "song");
  EXPECT_EQ(expand("", {}), "");
  // A zero is a value.
  EXPECT_EQ(expand("{BPM bpm}", {{"BPM", "0"}}), "0 bpm");
  // Empty groups, unknown keys and unmatched braces.
  EXPECT_EQ(expand("a{}b{NOSUCHKEY}c", {}), "abc");
  EXPECT_EQ(expand("a{b", {}), "a{b");
  EXPECT_EQ(expand("a}b", {}), "a}b");
  EXPECT_EQ(expand("}{ALBUM}{", {{"ALBUM", "Live"}}), "}Live{");
  EXPECT_EQ(expand("{ALBUM}}{GENRE}", {{"ALBUM", "Live"}, {"GENRE", "Jazz"}}), "Live}Jazz");
}

TEST(FormatSpecifiersTest, NestedGroups) {
  const char* format = "{ALBUM{ (Disc DISCNUMBER)}}";
  EXPECT_EQ(expand(format, {{"ALBUM", "Live"}, {"DISCNUMBER", "1"}}), "Live (Disc 1)");
  EXPECT_EQ(expand(format, {{"ALBUM", "Live"}}), "Live");
  EXPECT_EQ(expand(format, {{"DISCNUMBER", "1"}}), "");
  // An outer group without a key of its own vanishes, whatever is inside.
  EXPECT_EQ(expand("{{DISCNUMBER}-}", {{"DISCNUMBER", "1"}}), "");
  EXPECT_EQ(expand("{{DISCNUMBER}-}x", {}), "x");
  // Siblings and levels in any arrangement.
  EXPECT_EQ(
      expand("{A{ALBUM}B}{GENRE{ - YEAR}}", {{"ALBUM", "L"}, {"GENRE", "G"}, {"YEAR", "1999"}}),
      "G - 1999");
  EXPECT_EQ(expand("{GENRE{ - YEAR}}|{ALBUM}", {{"ALBUM", "L"}, {"GENRE", "G"}, {"YEAR", "1999"}}),
            "G - 1999|L");
  // Deep nesting is expanded from the inside out without recursion; a level
  // holding only the value of the level inside it has no key of its own.
  std::string deep;
  std::string expected;
  for (int level = 0; level < 300; ++level) {
    deep += "{ALBUM";
    expected += "Live";
  }
  deep += std::string(300, '}');
  EXPECT_EQ(expand(deep, {{"ALBUM", "Live"}}), expected);
  EXPECT_EQ(expand("{{{ALBUM}}}", {{"ALBUM", "Live"}}), "");
}

TEST(FormatSpecifiersTest, TwoDigitNumbers) {
  FormatExpansionOptions both;
  both.twoDigitTrackNumbers = true;
  both.twoDigitDiscNumbers = true;
  const char* format = "{DISCNUMBER-}{TRACKNUMBER}";
  EXPECT_EQ(expand(format, {{"DISCNUMBER", "1"}, {"TRACKNUMBER", "5"}}, both), "01-05");
  EXPECT_EQ(expand(format, {{"TRACKNUMBER", "5"}}, both), "05");
  EXPECT_EQ(expand(format, {{"DISCNUMBER", "1"}, {"TRACKNUMBER", "5"}}), "1-5");
  EXPECT_EQ(
      expand("{TRACKNUMBER}/{TRACKTOTAL}", {{"TRACKNUMBER", "12"}, {"TRACKTOTAL", "123"}}, both),
      "12/123");
  // The number at the start of the text counts; text without one reads 0.
  EXPECT_EQ(expand("{TRACKNUMBER}", {{"TRACKNUMBER", "3/12"}}, both), "03");
  EXPECT_EQ(expand("{TRACKNUMBER}", {{"TRACKNUMBER", "side B"}}, both), "00");
  EXPECT_EQ(expand("{DISCTOTAL}", {{"DISCTOTAL", "99999999999999999999999"}}, both),
            "18446744073709551615");
  // Only the keys of the option that is on.
  FormatExpansionOptions discOnly;
  discOnly.twoDigitDiscNumbers = true;
  EXPECT_EQ(expand("{DISCTOTAL}.{TRACKTOTAL}", {{"DISCTOTAL", "2"}, {"TRACKTOTAL", "9"}}, discOnly),
            "02.9");
}

TEST(FormatSpecifiersTest, MissingTitleAndFallbackWords) {
  const Values noTitle{{"_FILENAME", "01 Intro"}};
  EXPECT_EQ(expand("{TRACKTITLE}", noTitle), "");
  FormatExpansionOptions fallback;
  fallback.fallbackWords = true;
  EXPECT_EQ(expand("{TRACKTITLE}", noTitle, fallback), "Untitled");
  FormatExpansionOptions filename;
  filename.filenameWhenTitleIsMissing = true;
  EXPECT_EQ(expand("{TRACKTITLE}", noTitle, filename), "01 Intro");
  filename.fallbackWords = true;
  EXPECT_EQ(expand("{TRACKTITLE}", noTitle, filename), "01 Intro");
  EXPECT_EQ(expand("{TRACKTITLE}", {}, filename), "Untitled");

  EXPECT_EQ(
      expand("{TRACKARTIST}|{ALBUMARTIST}|{ALBUM}|{COMPOSER}|{GENRE}|{YEAR}|{MYTAG}", {}, fallback),
      "Unknown Artist|Unknown Artist|Unknown Album|Unknown Composer|Unknown Genre||");
  // The fallback word stands in for the placeholder only.
  EXPECT_EQ(expand("{by TRACKARTIST}", {}, fallback), "by Unknown Artist");
}

TEST(FormatSpecifiersTest, FileNameMode) {
  const Values values{
      {"TRACKTITLE", "AC/DC: Live"}, {"_FILENAME", "a:b/c"}, {"_FILEFULLPATH", "/music/a:b.mp3"}};
  EXPECT_EQ(expand("{TRACKTITLE}", values, renameOptions("_")), "AC:DC_ Live");
  EXPECT_EQ(expand("{TRACKTITLE}", values, renameOptions(std::nullopt)), "AC:DC Live");
  EXPECT_EQ(expand("{TRACKTITLE}", values, renameOptions("::")), "AC:DC:: Live");
  EXPECT_EQ(expand("{TRACKTITLE}", values), "AC/DC: Live");
  // Outside file-name mode a ":" in a file name shows as "/".
  EXPECT_EQ(expand("{_FILENAME}|{_FILEFULLPATH}", values), "a/b/c|/music/a/b.mp3");
  EXPECT_EQ(expand("{_FILENAME}", values, renameOptions("-")), "a-b:c");
  // The literal text of a group and text outside groups are left alone.
  EXPECT_EQ(expand("x/{TRACKTITLE: }y", values, renameOptions("_")), "x/AC:DC_ Live: y");
}

TEST(FormatSpecifiersTest, ValuesAreNeverExpandedAgain) {
  // A value that reads like a format is inserted as it is.
  EXPECT_EQ(expand("{TRACKTITLE}", {{"TRACKTITLE", "{TRACKTITLE}"}}), "{TRACKTITLE}");
  EXPECT_EQ(expand("{TRACKTITLE}{ALBUM}", {{"TRACKTITLE", "{ALBUM"}, {"ALBUM", "}x"}}), "{ALBUM}x");
  EXPECT_EQ(expand("{ALBUM}", {{"ALBUM", "{{{{"}}, renameOptions()), "{{{{");
  // Key names inside an inner value are not taken as the outer placeholder,
  // and an outer group made only of a value and literal text vanishes.
  const Values tricky{{"ALBUM", "Live"}, {"TRACKTITLE", "ALBUMARTIST {GENRE} TRACKTITLE"}};
  EXPECT_EQ(expand("{ALBUM{ (TRACKTITLE)}}", tricky), "Live (ALBUMARTIST {GENRE} TRACKTITLE)");
  EXPECT_EQ(expand("{ALB{TRACKTITLE}}", {{"TRACKTITLE", "UM"}, {"ALBUM", "Live"}}), "");
  EXPECT_EQ(expand("{x{TRACKTITLE}}", {{"TRACKTITLE", "MYTAG"}, {"xMYTAG", "no"}}), "");
}

TEST(FormatSpecifiersTest, CountsInUtf16) {
  FormatSpecifiers emoji("😀{A}é{B}");
  EXPECT_EQ(emoji.rangeOfDeepestBracketContainingAnyFormatSpecifier(), (TextRange{6, 3}));
  EXPECT_EQ(emoji.rangeOfDeepestBracketContainingAnyFormatSpecifierInArray({"A"}),
            (TextRange{2, 3}));
  emoji.replaceFormatSpecifier("A", "🎵🎵", TextRange{2, 3});
  EXPECT_EQ(emoji.string(), "😀🎵🎵é{B}");
  EXPECT_EQ(emoji.rangeOfDeepestBracketContainingAnyFormatSpecifier(), (TextRange{7, 3}));
  // A range that ends inside the group leaves it alone.
  emoji.removeFormatSpecifier("B", TextRange{7, 2});
  EXPECT_EQ(emoji.string(), "😀🎵🎵é{B}");
  emoji.removeFormatSpecifier("B", TextRange{7, 3});
  EXPECT_EQ(emoji.string(), "😀🎵🎵é");

  EXPECT_EQ(expand("🎸{TRACKTITLE 🎤}🎸", {{"TRACKTITLE", "Ünïcode 😀"}}), "🎸Ünïcode 😀 🎤🎸");
  EXPECT_EQ(expand("{TRACKTITLE}", {{"TRACKTITLE", "a😀:b"}}, renameOptions("🙂")), "a😀🙂b");
  // Selections of a field being edited are in UTF-16 units too.
  EXPECT_EQ(insertFormatSpecifierForMenuTag(1, "😀x😀", TextRange{2, 1}), "😀{ALBUM}😀");
  EXPECT_EQ(insertFormatSpecifierForMenuTag(1, "😀", TextRange{2, 0}), "😀{ALBUM}");
  EXPECT_EQ(insertFormatSpecifierForMenuTag(1, "ab", TextRange{9, 4}), "ab{ALBUM}");
}

TEST(FormatSpecifiersTest, BracketOperations) {
  // The rightmost group at the deepest level; unmatched braces stay literal.
  EXPECT_EQ(FormatSpecifiers("{a}{b}").rangeOfDeepestBracketContainingAnyFormatSpecifier(),
            (TextRange{3, 3}));
  EXPECT_EQ(FormatSpecifiers("{{a}{b}}{c}").rangeOfDeepestBracketContainingAnyFormatSpecifier(),
            (TextRange{4, 3}));
  EXPECT_EQ(FormatSpecifiers("}{a}").rangeOfDeepestBracketContainingAnyFormatSpecifier(),
            (TextRange{1, 3}));
  EXPECT_FALSE(FormatSpecifiers("a{b").rangeOfDeepestBracketContainingAnyFormatSpecifier().found());
  EXPECT_FALSE(FormatSpecifiers("}{").rangeOfDeepestBracketContainingAnyFormatSpecifier().found());
  EXPECT_FALSE(FormatSpecifiers("").rangeOfDeepestBracketContainingAnyFormatSpecifier().found());

  // Restricted to groups with a given specifier: a deeper group without one
  // does not hide a shallower one with it.
  FormatSpecifiers nested("{ALBUM{x}} {GENRE}");
  EXPECT_EQ(nested.rangeOfDeepestBracketContainingAnyFormatSpecifierInArray({"{ALBUM}"}),
            (TextRange{0, 10}));
  EXPECT_EQ(nested.rangeOfDeepestBracketContainingAnyFormatSpecifierInArray({"x", "GENRE"}),
            (TextRange{6, 3}));
  EXPECT_FALSE(
      nested.rangeOfDeepestBracketContainingAnyFormatSpecifierInArray({"YEAR", "", "{}"}).found());

  // Replace over the whole string: every group with the specifier, braces
  // around it optional, others untouched.
  FormatSpecifiers text("{ALBUM} and {ALBUM - ALBUM} {GENRE} ALBUM");
  text.replaceFormatSpecifier("{ALBUM}", "Live");
  EXPECT_EQ(text.string(), "Live and Live - Live {GENRE} ALBUM");
  text.replaceFormatSpecifier("GENRE", "");
  EXPECT_EQ(text.string(), "Live and Live - Live  ALBUM");
  // Inserted text is a value to later operations too.
  text = FormatSpecifiers("{A} {B}");
  text.replaceFormatSpecifier("A", "{B}");
  text.replaceFormatSpecifier("B", "x");
  EXPECT_EQ(text.string(), "{B} x");
  // Within a range only; an empty specifier matches nothing.
  text = FormatSpecifiers("{A}{A}");
  text.replaceFormatSpecifier("A", "1", TextRange{3, 3});
  EXPECT_EQ(text.string(), "{A}1");
  text.replaceFormatSpecifier("{}", "z");
  text.replaceFormatSpecifier("A", "2", TextRange{100, 3});
  EXPECT_EQ(text.string(), "{A}1");
  // The first "{" and the first "}" after the scan position pair up.
  text = FormatSpecifiers("}{A}x{a{A}");
  text.replaceFormatSpecifier("A", "1");
  EXPECT_EQ(text.string(), "}1xa{1");

  FormatSpecifiers removing("a{ALBUM}b{GENRE}c{ALBUM - x}d}{");
  removing.removeFormatSpecifier("ALBUM");
  EXPECT_EQ(removing.string(), "ab{GENRE}cd}{");
  removing.removeFormatSpecifier("{GENRE}", TextRange{0, 5});
  EXPECT_EQ(removing.string(), "ab{GENRE}cd}{");
  removing.removeFormatSpecifier("GENRE", TextRange{2, 7});
  EXPECT_EQ(removing.string(), "abcd}{");
}

TEST(FormatSpecifiersTest, MenuTags) {
  // The ends of each run of tags; the gaps between runs are separators.
  EXPECT_EQ(formatSpecifierKeyForMenuTag(1), "ALBUM");
  EXPECT_EQ(formatSpecifierKeyForMenuTag(16), "_FILENAME");
  EXPECT_EQ(formatSpecifierKeyForMenuTag(18), "_BITRATE");
  EXPECT_EQ(formatSpecifierKeyForMenuTag(42), "WORK");
  for (int tag : {-1, 0, 17, 30, 43, 1000}) {
    EXPECT_EQ(formatSpecifierKeyForMenuTag(tag), "") << tag;
  }
  // Every key the pop-up offers is in the vocabulary.
  const auto& keys = formatSpecifierKeys();
  for (int tag = 1; tag <= 42; ++tag) {
    const std::string key = formatSpecifierKeyForMenuTag(tag);
    if (!key.empty()) {
      EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
    }
  }
  EXPECT_EQ(insertFormatSpecifierForMenuTag(12, "old text", std::nullopt), "{TRACKARTIST}");
  EXPECT_EQ(insertFormatSpecifierForMenuTag(17, "ab", TextRange{1, 0}), "a{}b");
  EXPECT_EQ(insertFormatSpecifierForMenuTag(11, "{ALBUM} - x", TextRange{10, 1}),
            "{ALBUM} - {TRACKTITLE}");
}

std::shared_ptr<AudioMetadata> sampleRecord() {
  auto record = std::make_shared<AudioMetadata>();
  record->setSourceLocation("/music/AC:DC/01 Intro.flac");
  record->setMetadataObjectValue(Object("Live"), "ALBUM");
  record->setMetadataObjectValue(Object(Number(3)), "TRACKNUMBER");
  record->setMetadataObjectValues({Object("Jazz"), Object("Soul")}, "GENRE");
  record->setSourceBitrate(Number(320000));
  record->setSourceSampleRate(Number(44100));
  record->setSourceChannels(Number(2));
  record->setSourceSampleSize(Number(0));
  record->setSourceBitrateMode("VBR");
  record->setSourceChannelMode("Joint Stereo");
  record->setSourceFormat("Free Lossless Audio Codec");
  record->setSourceKind("FLAC");
  record->setSourceTagFormat("Vorbis Comment, ID3v2");
  record->setSourceFileSize(Number(1500000));
  record->setSourceLength(3725.9);
  return record;
}

TEST(FormatSpecifiersTest, RecordValuesAndSourceKeys) {
  const auto record = sampleRecord();
  EXPECT_EQ(expandFormatSpecifiers("{_FILENAME}|{_FILEEXTENSION}|{_FILEFULLPATH}", *record),
            "01 Intro|flac|/music/AC/DC/01 Intro.flac");
  EXPECT_EQ(expandFormatSpecifiers("{_BITRATE}|{_SAMPLERATE}|{_CHANNELS}|{_SAMPLESIZE}", *record),
            "320000|44100|2|0");
  EXPECT_EQ(expandFormatSpecifiers(
                "{_BITRATEMETHOD}|{_CHANNELMODE}|{_FILEFORMAT}|{_FILEKIND}|{_TAGFORMAT}", *record),
            "VBR|Joint Stereo|Free Lossless Audio Codec|FLAC|Vorbis Comment, ID3v2");
  EXPECT_EQ(expandFormatSpecifiers("{_FILESIZE}|{_FILELENGTH}", *record), "1.50 MB|(1:2:05)");
  // Tags: the first value's text; numbers in decimal.
  EXPECT_EQ(expandFormatSpecifiers("{GENRE}, {TRACKNUMBER}. {ALBUM}", *record), "Jazz, 3. Live");
  EXPECT_EQ(expandFormatSpecifiers("{TRACKNUMBER}", *record, renameOptions()), "03");

  // The rename function's view of the same record.
  EXPECT_EQ(
      expandFormatSpecifiers("{TRACKARTIST} - {ALBUM}/{DISCNUMBER-}{TRACKNUMBER} {TRACKTITLE}",
                             *record, renameOptions("_")),
      "Unknown Artist - Live/03 01 Intro");
  EXPECT_EQ(expandFormatSpecifiers("{_FILENAME}", *record, renameOptions("_")), "01 Intro");
  record->setSourceLocation("/music/a:b/c:d.e.mp3");
  EXPECT_EQ(expandFormatSpecifiers("{_FILENAME}", *record, renameOptions("_")), "c_d.e");
  EXPECT_EQ(expandFormatSpecifiers("{_FILEFULLPATH}", *record, renameOptions("_")),
            ":music:a_b:c_d.e.mp3");
  record->setSourceLocation("/music/.hidden");
  EXPECT_EQ(expandFormatSpecifiers("{_FILENAME}|{_FILEEXTENSION}", *record), ".hidden|");

  // Absent properties give empty values, so their groups vanish.
  const auto empty = std::make_shared<AudioMetadata>();
  EXPECT_EQ(expandFormatSpecifiers("[{_FILENAME}{_BITRATE}{_FILESIZE}{_FILELENGTH}"
                                   "{_FILEDATEMODIFIED}{_FILEKIND}{ALBUM}]",
                                   *empty),
            "[]");
  EXPECT_EQ(formatSpecifierValueForKey(*empty, "_NOSUCHSOURCE"), "");
}

TEST(FormatSpecifiersTest, FileDatesInTheUsersLocale) {
  const std::string previous = defaultLocaleName();
  auto record = std::make_shared<AudioMetadata>();
  // Midday UTC, so the calendar day is the same in every time zone in use.
  const auto noon = std::chrono::sys_days{std::chrono::year{2024} / 1 / 2} + std::chrono::hours{12};
  record->setSourceDateModified(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(noon));
  record->setSourceDateCreated(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(noon));
  setDefaultLocaleName("en_US");
  const std::string english = expandFormatSpecifiers("{_FILEDATEMODIFIED}", *record);
  EXPECT_EQ(english.rfind("1/2/24, ", 0), 0u) << english;
  setDefaultLocaleName("de_DE");
  const std::string german = expandFormatSpecifiers("{_FILEDATECREATED}", *record);
  EXPECT_EQ(german.rfind("02.01.24, ", 0), 0u) << german;
  setDefaultLocaleName(previous);
  // In file-name mode the separators of a date cannot make folders.
  setDefaultLocaleName("en_US");
  EXPECT_EQ(
      expandFormatSpecifiers("{_FILEDATEMODIFIED}", *record, renameOptions("-")).find_first_of("/"),
      std::string::npos);
  setDefaultLocaleName(previous);
}

}  // namespace
}  // namespace quorvel
