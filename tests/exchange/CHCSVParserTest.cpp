#include "exchange/CHCSVParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "exchange/CHCSVAggregator.h"
#include "exchange/CHCSVWriter.h"
#include "support/Text.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using Rows = CSVRecords;

// Logs every delegate message as one short line, so a test can check the
// order and the arguments of the whole conversation.
class Recorder : public CHCSVParserDelegate {
 public:
  std::vector<std::string> events;
  std::function<void(CHCSVParser&, const std::string&)> onField;

  void parserDidBeginDocument(CHCSVParser&) override { events.push_back("begin"); }
  void parserDidBeginLine(CHCSVParser&, std::uint64_t n) override {
    events.push_back("line " + std::to_string(n));
  }
  void parserDidReadField(CHCSVParser& parser, const std::string& field,
                          std::size_t index) override {
    events.push_back("field " + std::to_string(index) + " " + field);
    if (onField) {
      onField(parser, field);
    }
  }
  void parserDidReadComment(CHCSVParser&, const std::string& comment) override {
    events.push_back("comment " + comment);
  }
  void parserDidEndLine(CHCSVParser&, std::uint64_t n) override {
    events.push_back("end " + std::to_string(n));
  }
  void parserDidEndDocument(CHCSVParser&) override { events.push_back("done"); }
  void parserDidFailWithError(CHCSVParser&, const Error& error) override {
    events.push_back("error " + std::to_string(error.code) + " " + error.localizedDescription);
  }
};

struct Result {
  std::optional<Rows> rows;
  std::optional<Error> error;
  std::string encoding;
};

// Parses `bytes` through a stream, detecting the encoding unless one is given.
Result parseBytes(std::string bytes, CHCSVParserOptions options = 0, std::size_t blockSize = 512,
                  std::string encoding = "", char16_t delimiter = u',') {
  CHCSVParser parser(std::make_unique<std::istringstream>(std::move(bytes)), &encoding, delimiter);
  parser.setOptions(options);
  parser.setReadBlockSize(blockSize);
  CHCSVAggregator aggregator;
  parser.setDelegate(&aggregator);
  parser.parse();
  return {aggregator.takeLines(), aggregator.error(), encoding};
}

Rows rows(std::string_view text, CHCSVParserOptions options = 0) {
  Error error;
  auto result = CSVComponents(text, options, &error);
  EXPECT_TRUE(result) << error.localizedDescription;
  return result.value_or(Rows{});
}

std::string utf16(std::string_view utf8, bool bigEndian) {
  std::string out;
  for (char16_t c : utf8ToUtf16(utf8)) {
    const char hi = static_cast<char>(c >> 8);
    const char lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

std::string utf32(std::string_view utf8, bool bigEndian) {
  std::string out;
  const std::u16string u = utf8ToUtf16(utf8);
  for (std::size_t i = 0; i < u.size(); ++i) {
    std::uint32_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
    }
    for (int k = 0; k < 4; ++k) {
      const int shift = bigEndian ? 24 - 8 * k : 8 * k;
      out.push_back(static_cast<char>((c >> shift) & 0xFF));
    }
  }
  return out;
}

TEST(CHCSVParser, RecordsAndLineBreaks) {
  EXPECT_EQ(rows("a,b\nc,d"), (Rows{{"a", "b"}, {"c", "d"}}));
  // The end of input after the last line break starts one more record.
  EXPECT_EQ(rows("a,b\n"), (Rows{{"a", "b"}, {""}}));
  EXPECT_EQ(rows(""), (Rows{{""}}));
  // A run of line breaks of any kind is one break: no empty records.
  EXPECT_EQ(rows("a\r\nb\rc\n\n\nd\u0085e\u2028f\u2029g\r\n"),
            (Rows{{"a"}, {"b"}, {"c"}, {"d"}, {"e"}, {"f"}, {"g"}, {""}}));
  EXPECT_EQ(rows("a,,b,"), (Rows{{"a", "", "b", ""}}));
  EXPECT_EQ(rows(",\n,"), (Rows{{"", ""}, {"", ""}}));
  // "#" is an ordinary character without comments.
  EXPECT_EQ(rows("#a,b#"), (Rows{{"#a", "b#"}}));
}

TEST(CHCSVParser, QuotedFields) {
  const std::string text = "\"a,b\nc\"\"d\",e\n\"\",\"\"\"\"";
  EXPECT_EQ(rows(text, kCHCSVParserOptionsSanitizesFields), (Rows{{"a,b\nc\"d", "e"}, {"", "\""}}));
  EXPECT_EQ(rows(text), (Rows{{"\"a,b\nc\"\"d\"", "e"}, {"\"\"", "\"\"\"\""}}));
  EXPECT_EQ(rows("\"x\r\ny\"\r\n", kCHCSVParserOptionsSanitizesFields), (Rows{{"x\r\ny"}, {""}}));
}

TEST(CHCSVParser, StrayCharacterAfterFieldStopsWithError) {
  Error error;
  EXPECT_FALSE(CSVComponents("a,b\nab\"c,d\ne", &error));
  EXPECT_EQ(error.domain, kCHCSVErrorDomain);
  EXPECT_EQ(error.code, kCHCSVErrorCodeInvalidFormat);
  EXPECT_EQ(error.localizedDescription,
            "Unexpected delimiter. Expected ',' (0x2C), but got '\"' (0x22)");

  // Text after a closing quote; the field before the stray text is still told.
  auto parser = CHCSVParser::parserWithCSVString("\"a\"b\u00e9");
  Recorder recorder;
  parser->setDelegate(&recorder);
  parser->parse();
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"begin", "line 1", "field 0 \"a\"", "end 1",
                                      "error 1 Unexpected delimiter. Expected ',' (0x2C), but "
                                      "got 'b' (0x62)"}));
  ASSERT_TRUE(parser->error());

  // A non-ASCII delimiter and stray character show as themselves.
  CHCSVParser semicolon(std::make_unique<std::istringstream>("\"a\"\u00e9"), nullptr, u';');
  semicolon.parse();
  ASSERT_TRUE(semicolon.error());
  EXPECT_EQ(semicolon.error()->localizedDescription,
            "Unexpected delimiter. Expected ';' (0x3B), but got '\u00e9' (0xE9)");
}

TEST(CHCSVParser, UnterminatedQuoteAndNulEndTheInputQuietly) {
  for (CHCSVParserOptions options = 0; options < 16; ++options) {
    SCOPED_TRACE(options);
    EXPECT_EQ(rows("a,b\nc,\"open\nmore,x", options), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(rows(std::string("a,b\0c,d\ne", 7), options), (Rows{{"a", "b"}}));
    EXPECT_EQ(rows(std::string("a,\"b\0\"\nc", 8), options), (Rows{{"a"}}));
    EXPECT_EQ(rows("\"", options), Rows(1));
  }
}

TEST(CHCSVParser, EveryOptionCombination) {
  // A comment line, a quoted field with a delimiter and a doubled quote, an
  // escaped delimiter with white space around it, a final line break.
  const std::string text = "#x,y\n\"q,\"\"r\", s\\,t \n";
  for (CHCSVParserOptions options = 0; options < 16; ++options) {
    SCOPED_TRACE(options);
    const bool escapes = options & kCHCSVParserOptionsRecognizesBackslashesAsEscapes;
    const bool sanitize = options & kCHCSVParserOptionsSanitizesFields;
    const bool comments = options & kCHCSVParserOptionsRecognizesComments;
    const bool strip = options & kCHCSVParserOptionsStripsLeadingAndTrailingWhitespace;
    Rows expected;
    if (!comments) {
      expected.push_back({"#x", "y"});
    }
    std::vector<std::string> line{sanitize ? "q,\"r" : "\"q,\"\"r\""};
    if (!escapes) {
      line.push_back(strip ? "s\\" : " s\\");
      line.push_back(strip ? "t" : "t ");
    } else if (sanitize) {
      line.push_back(strip ? "s,t" : " s,t ");
    } else {
      line.push_back(strip ? "s\\,t" : " s\\,t ");
    }
    expected.push_back(line);
    expected.push_back({""});
    EXPECT_EQ(rows(text, options), expected);
    // Streamed in tiny blocks the result is the same.
    EXPECT_EQ(parseBytes(text, options, 1).rows, expected);
  }
}

TEST(CHCSVParser, Escapes) {
  const auto escSan =
      kCHCSVParserOptionsRecognizesBackslashesAsEscapes | kCHCSVParserOptionsSanitizesFields;
  EXPECT_EQ(rows("\"a\\\"b\",c\\\nd,\\\"", escSan), (Rows{{"a\"b", "c\nd", "\""}}));
  EXPECT_EQ(rows("a\\", escSan), (Rows{{"a"}}));
  EXPECT_EQ(rows("a\\", kCHCSVParserOptionsRecognizesBackslashesAsEscapes), (Rows{{"a\\"}}));
  // An escape at the end of input inside quotes leaves the field unterminated.
  EXPECT_EQ(rows("x\n\"a\\", escSan), (Rows{{"x"}, {}}));
  // Without escapes a backslash before a quote closes the field.
  EXPECT_FALSE(CSVComponents("\"a\\\"b\"", kCHCSVParserOptionsSanitizesFields));
}

TEST(CHCSVParser, CommentsAndDelegateOrder) {
  auto parser = CHCSVParser::parserWithCSVString("#one\r\n#two \\\nx\na,b\n#three");
  parser->setRecognizesComments(true);
  parser->setRecognizesBackslashesAsEscapes(true);
  Recorder recorder;
  parser->setDelegate(&recorder);
  parser->parse();
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"begin", "comment #one", "comment #two \\\nx", "line 1",
                                      "field 0 a", "field 1 b", "end 1", "comment #three", "line 2",
                                      "field 0 ", "end 2", "done"}));
  EXPECT_FALSE(parser->error());
  // Only a line's first character starts a comment.
  EXPECT_EQ(rows("a,#b\n #c", kCHCSVParserOptionsRecognizesComments), (Rows{{"a", "#b"}, {" #c"}}));
}

TEST(CHCSVParser, StrippingWhitespace) {
  const auto strip = kCHCSVParserOptionsStripsLeadingAndTrailingWhitespace;
  const auto stripSan = strip | kCHCSVParserOptionsSanitizesFields;
  const std::string text = "  a  ,\t\" b \"  ,\u3000c d\u00a0";
  EXPECT_EQ(rows(text, stripSan), (Rows{{"a", " b ", "c d"}}));
  EXPECT_EQ(rows(text, strip), (Rows{{"a", "\" b \"", "c d"}}));
  // Without stripping the space before the quote makes the quote stray.
  EXPECT_FALSE(CSVComponents(text));
  // A tab delimiter is never skipped as white space.
  EXPECT_EQ(parseBytes("a\t\t b \t", stripSan, 512, "", u'\t').rows, (Rows{{"a", "", "b", ""}}));
  EXPECT_FALSE(CSVComponents("\"a\"  x", stripSan));
}

TEST(CHCSVParser, DelimiterRules) {
  EXPECT_EQ(parseBytes("a;b,c\n\"d;e\";f", kCHCSVParserOptionsSanitizesFields, 512, "", u';').rows,
            (Rows{{"a", "b,c"}, {"d;e", "f"}}));
  auto make = [](char16_t delimiter) {
    CHCSVParser parser(std::make_unique<std::istringstream>("a"), nullptr, delimiter);
  };
  for (char16_t bad : {u'\n', u'\r', u'\u2028', u'"', u'#', u'\0'}) {
    EXPECT_THROW(make(bad), InternalInconsistencyException) << int(bad);
  }
  EXPECT_THROW({ CHCSVParser parser(nullptr, nullptr, u','); }, InternalInconsistencyException);
}

TEST(CHCSVParser, EncodingDetection) {
  const std::string text = "Name,\u00c4rger\n\"x,\u20ac\",\U0001D11E\n";
  const Rows expected{{"Name", "\u00c4rger"}, {"x,\u20ac", "\U0001D11E"}, {""}};
  struct Case {
    std::string bytes;
    const char* encoding;
  };
  const Case cases[] = {
      {text, "UTF-8"},
      {"\xEF\xBB\xBF" + text, "UTF-8"},
      {"\xFF\xFE" + utf16(text, false), "UTF-16LE"},
      {"\xFE\xFF" + utf16(text, true), "UTF-16BE"},
      {std::string("\xFF\xFE\0\0", 4) + utf32(text, false), "UTF-32LE"},
      {std::string("\0\0\xFE\xFF", 4) + utf32(text, true), "UTF-32BE"},
  };
  for (const Case& c : cases) {
    for (std::size_t block : {1, 2, 3, 5, 512}) {
      SCOPED_TRACE(std::string(c.encoding) + " block " + std::to_string(block));
      const Result result = parseBytes(c.bytes, kCHCSVParserOptionsSanitizesFields, block);
      EXPECT_EQ(result.encoding, c.encoding);
      EXPECT_EQ(result.rows, expected);
    }
  }
  // ISO-2022-KR by its designator.
  EXPECT_EQ(parseBytes("\x1B$)Ca,\x0E\x30\x21\x0F").rows, (Rows{{"a", "\uac00"}}));
  // Mac OS Roman when the start is not UTF-8.
  Result roman = parseBytes("caf\x8E,\x80\xA5\n");
  EXPECT_EQ(roman.encoding, "macintosh");
  EXPECT_EQ(roman.rows, (Rows{{"caf\u00e9", "\u00c4\u2022"}, {""}}));
  // UTF-16 without a mark: ASCII is read as UTF-8 up to its first NUL byte;
  // anything else falls back to Mac OS Roman, again up to the first NUL.
  EXPECT_EQ(parseBytes(utf16("ab,c", false)).rows, (Rows{{"a"}}));
  Result utf16Latin = parseBytes(utf16("\u00e9,x", false));
  EXPECT_EQ(utf16Latin.encoding, "macintosh");
  EXPECT_EQ(utf16Latin.rows, (Rows{{"\u00c8"}}));
  // A given encoding is used as it is.
  EXPECT_EQ(parseBytes(utf16("a,\u00e9", false), 0, 512, "UTF-16LE").rows, (Rows{{"a", "\u00e9"}}));
  Result unknown = parseBytes("a", 0, 512, "no-such-encoding");
  ASSERT_TRUE(unknown.error);
  EXPECT_EQ(unknown.error->code, kCHCSVErrorCodeUnknownEncoding);
}

TEST(CHCSVParser, MultiByteSequencesCutByBlocks) {
  // The detection block ends inside a three-byte sequence: still UTF-8.
  const std::string head(511, 'a');
  Result cut = parseBytes(head + "\u20ac,b");
  EXPECT_EQ(cut.encoding, "UTF-8");
  EXPECT_EQ(cut.rows, (Rows{{head + "\u20ac", "b"}}));

  // Bytes that cannot be decoded end the text where they stand.
  std::string bad;
  for (int i = 0; i < 200; ++i) {
    bad += "a,b\n";
  }
  const Result truncated = parseBytes(bad +
                                      "c\xFF"
                                      "d,e\nf");
  ASSERT_TRUE(truncated.rows);
  EXPECT_EQ(truncated.rows->size(), 201u);
  EXPECT_EQ(truncated.rows->back(), std::vector<std::string>{"c"});
}

TEST(CHCSVParser, LongInputAcrossTheDecodingWindow) {
  // Fields of every shape, long enough that the decoded window moves many
  // times while fields (delivered raw or sanitized) are being read.
  Rows values;
  std::string big;
  for (int i = 0; i < 60000; ++i) {
    big += i % 2 ? "q\U0001F600" : "\u00e9";  // surrogate pairs cut by every boundary
  }
  for (int i = 0; i < 3000; ++i) {
    values.push_back({"plain" + std::to_string(i), "with,comma", "quote\"d", "line\r\nbreak",
                      i % 1000 == 0 ? big + "\"" + big : "\u00e9\U0001F600t"});
  }
  const std::string text = CSVString(values);
  Rows sanitized = values;
  sanitized.push_back({""});
  for (std::size_t block : {97, 512, 65536}) {
    SCOPED_TRACE(block);
    EXPECT_EQ(parseBytes(text, kCHCSVParserOptionsSanitizesFields, block).rows, sanitized);
    // Raw fields keep their quotes.
    const Result raw =
        parseBytes(text, kCHCSVParserOptionsStripsLeadingAndTrailingWhitespace, block);
    ASSERT_TRUE(raw.rows);
    ASSERT_EQ(raw.rows->size(), values.size() + 1);
    EXPECT_EQ((*raw.rows)[1000][2], "\"quote\"\"d\"");
    EXPECT_EQ((*raw.rows)[1000][4], "\"" + big + "\"\"" + big + "\"");
    EXPECT_EQ((*raw.rows)[2999][3], "\"line\r\nbreak\"");
  }
}

TEST(CHCSVParser, FilesAndCancel) {
  test::TemporaryDirectory dir;
  const std::string path = (dir / "t.csv").string();
  test::writeFile(path, "\xFF\xFE" + utf16("a,\"b\"\"\"\n", false));
  Error error;
  EXPECT_EQ(arrayWithContentsOfCSVFile(path, kCHCSVParserOptionsSanitizesFields, &error),
            (Rows{{"a", "b\""}, {""}}));
  auto parser = CHCSVParser::parserWithContentsOfCSVFile(path);
  parser->parse();
  EXPECT_EQ(parser->totalBytesRead(), 18u);
  EXPECT_EQ(parser->encoding(), "UTF-16LE");

  EXPECT_FALSE(arrayWithContentsOfCSVFile((dir / "missing.csv").string(), &error));
  EXPECT_EQ(error.code, kCHCSVErrorCodeUnreadableInput);

  // After cancelling nothing more is told, not even the error that follows.
  auto cancelled = CHCSVParser::parserWithCSVString("a,b,c\nd\ne\"f");
  Recorder recorder;
  recorder.onField = [](CHCSVParser& p, const std::string& field) {
    if (field == "b") {
      p.cancelParsing();
    }
  };
  cancelled->setDelegate(&recorder);
  cancelled->parse();
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"begin", "line 1", "field 0 a", "field 1 b", "done"}));
}

}  // namespace
}  // namespace quorvel
