#include "exchange/CHCSVWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <sstream>

#include "exchange/CHCSVAggregator.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

// Writes through `body` into memory and returns the bytes.
template <typename Body>
std::string written(const std::string& encoding, char16_t delimiter, Body body) {
  auto stream = std::make_unique<std::ostringstream>();
  std::ostringstream& memory = *stream;
  CHCSVWriter writer(std::move(stream), encoding, delimiter);
  body(writer);
  EXPECT_TRUE(writer.closeStream());
  return memory.str();
}

TEST(CHCSVWriter, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CSVString({{"plain", "a\"b", "c,d", "", " x "},
                       {"cr\r", "lf\n", "ls\u2028", "nel\u0085", "#", "back\\slash"}}),
            "plain,\"a\"\"b\",\"c,d\",, x \n"
            "\"cr\r\",\"lf\n\",\"ls\u2028\",\"nel\u0085\",#,back\\slash\n");
  // With another delimiter, commas are plain text and the delimiter is quoted.
  EXPECT_EQ(written("UTF-8", u';',
                    [](CHCSVWriter& w) {
                      w.writeLineOfFields({"a,b", "c;d", "e"});
                    }),
            "a,b;\"c;d\";e\n");
}

TEST(CHCSVWriter, LinesAndComments) {
  const std::string text = written("UTF-8", u',', [](CHCSVWriter& w) {
    w.writeField("a");
    w.writeField("b");
    w.writeLineOfFields({"c"});  // finishes the open line first
    w.writeLineOfFields({});     // an empty line
    w.writeField("d");
    w.writeComment("one\r\ntwo");
    w.writeField("e");
    w.finishLine();
  });
  EXPECT_EQ(text, "a,b\nc\n\nd\n#one\n#\n#two\ne\n");
}

TEST(CHCSVWriter, ByteOrderMarksAndEncodings) {
  auto line = [](CHCSVWriter& w) { w.writeLineOfFields({"a", "\u00e9"}); };
  EXPECT_EQ(written("UTF-8", u',', line), "a,\u00e9\n");
  // The mark (in the host's byte order) is written once, never before later
  // pieces.
  EXPECT_EQ(written("UTF-16", u',', line), std::endian::native == std::endian::little
                                               ? std::string("\xFF\xFE"
                                                             "a\0,\0\xE9\0\n\0",
                                                             10)
                                               : std::string("\xFE\xFF\0a\0,\0\xE9\0\n", 10));
  EXPECT_EQ(written("UTF-16LE", u',', line), std::string("a\0,\0\xE9\0\n\0", 8));
  EXPECT_EQ(written("UTF-32", u',', line).size(), 4u + 4 * 4);
  EXPECT_EQ(written("macintosh", u',', line), "a,\x8E\n");
  EXPECT_THROW(written("no-such-encoding", u',', line), InternalInconsistencyException);
  EXPECT_THROW(written("UTF-8", u'"', line), InternalInconsistencyException);
}

TEST(CHCSVWriter, Files) {
  test::TemporaryDirectory dir;
  const std::string path = (dir / "out.csv").string();
  test::writeFile(path, "old contents that are longer");
  {
    CHCSVWriter writer(path);
    writer.writeLineOfFields({"x", "y z"});
    EXPECT_TRUE(writer.closeStream());
  }
  EXPECT_EQ(test::readFile(path), "x,y z\n");

  CHCSVWriter broken((dir / "missing" / "out.csv").string());
  broken.writeLineOfFields({"x"});
  Error error;
  EXPECT_FALSE(broken.closeStream(&error));
  EXPECT_EQ(error.domain, kQuorvelErrorDomain);
  EXPECT_NE(error.localizedDescription.find("missing"), std::string::npos);
}

TEST(CHCSVWriter, HostileValuesRoundTrip) {
  // Every value the reader could trip over. Each record has two fields, as a
  // record of one empty field is an empty line, which the reader skips.
  const std::vector<std::string> hostile = {
      "",           "\"",      "\"\"",         ",",          "a,b\nc\"d", "\r",
      "\r\n",       "\n\n",    " lead",        "trail ",     "#hash",     "back\\",
      "\\\"",       "\u2028",  "\u0085x",      "\U0001F600", "caf\u00e9", "\t",
      "\"quoted\"", "a\"b\"c", "\u00a0\u3000", "'",          ",\n\"",     "x"};
  CSVRecords records;
  for (const std::string& a : hostile) {
    records.push_back({a, "k" + std::to_string(records.size())});
    records.push_back({"k", a, a});
  }
  CSVRecords expected = records;
  expected.push_back({""});

  EXPECT_EQ(CSVComponents(CSVString(records), kCHCSVParserOptionsSanitizesFields), expected);

  for (const char* encoding : {"UTF-16", "UTF-32", "UTF-16LE"}) {
    for (char16_t delimiter : {u',', u';', u'\t'}) {
      SCOPED_TRACE(std::string(encoding) + " " + std::to_string(delimiter));
      const std::string bytes = written(encoding, delimiter, [&](CHCSVWriter& w) {
        for (const auto& record : records) {
          w.writeLineOfFields(record);
        }
      });
      // Marked encodings are detected; the unmarked one is given.
      std::string used = std::string(encoding) == "UTF-16LE" ? encoding : "";
      CHCSVParser parser(std::make_unique<std::istringstream>(bytes), &used, delimiter);
      parser.setSanitizesFields(true);
      parser.setReadBlockSize(3);
      CHCSVAggregator aggregator;
      parser.setDelegate(&aggregator);
      parser.parse();
      EXPECT_EQ(aggregator.lines(), expected);
    }
  }
}

}  // namespace
}  // namespace quorvel
