#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "document/BitrateFormatter.h"
#include "document/FileSizeFormatter.h"
#include "document/SampleRateFormatter.h"
#include "document/SecondsFormatter.h"
#include "document/UppercaseStringValueTransformer.h"
#include "support/Error.h"

namespace quorvel {
namespace {

TEST(FormattersTest, RatesShowTheirUnitsAndNothingForNonNumbers) {
  BitrateFormatter bitrate;
  SampleRateFormatter sampleRate;
  EXPECT_EQ(bitrate.stringForObjectValue(Object(128000)), "128.00 kbps");
  EXPECT_EQ(bitrate.stringForObjectValue(Object(320500.0)), "320.50 kbps");
  EXPECT_EQ(bitrate.stringForObjectValue(Object(" 96000")), "96.00 kbps");
  EXPECT_EQ(sampleRate.stringForObjectValue(Object(44100)), "44.100 kHz");
  EXPECT_EQ(sampleRate.stringForObjectValue(Object(2822400)), "2822.400 kHz");
  for (const Object& nothing : {Object(), Object("abc"), Object(""), Object(Data::fromString("1")),
                                Object(std::numeric_limits<double>::quiet_NaN())}) {
    EXPECT_EQ(bitrate.stringForObjectValue(nothing), "");
    EXPECT_EQ(sampleRate.stringForObjectValue(nothing), "");
  }
}

TEST(FormattersTest, FileSizesScaleByThousands) {
  FileSizeFormatter size;
  EXPECT_EQ(size.stringForObjectValue(Object(0)), "0.00 B");
  EXPECT_EQ(size.stringForObjectValue(Object(999)), "999.00 B");
  EXPECT_EQ(size.stringForObjectValue(Object(1000)), "1.00 KB");
  EXPECT_EQ(size.stringForObjectValue(Object(1500000)), "1.50 MB");
  EXPECT_EQ(size.stringForObjectValue(Object(999999)), "1000.00 KB");  // rounds after scaling
  EXPECT_EQ(size.stringForObjectValue(Object(std::int64_t{5'000'000'000})), "5.00 GB");
  EXPECT_EQ(size.stringForObjectValue(Object(1e24)), "1.00 YB");
  EXPECT_EQ(size.stringForObjectValue(Object(1e27)), "1000.00 YB");  // no prefix past Y
  EXPECT_EQ(size.stringForObjectValue(Object(-5)), "-5.00 B");
  EXPECT_EQ(size.stringForObjectValue(Object(std::numeric_limits<double>::max())).substr(0, 4),
            "1797");
  EXPECT_EQ(size.stringForObjectValue(Object()), "");
}

TEST(FormattersTest, SecondsShowMinutesThenHours) {
  SecondsFormatter seconds;
  EXPECT_EQ(seconds.stringForObjectValue(Object(0)), "(0:00)");
  EXPECT_EQ(seconds.stringForObjectValue(Object(65.99)), "(1:05)");  // truncated, not rounded
  EXPECT_EQ(seconds.stringForObjectValue(Object(3599)), "(59:59)");
  EXPECT_EQ(seconds.stringForObjectValue(Object(3600)), "(1:0:00)");
  EXPECT_EQ(seconds.stringForObjectValue(Object(3725)), "(1:2:05)");
  EXPECT_EQ(seconds.stringForObjectValue(Object(-1)), "");
  EXPECT_EQ(seconds.stringForObjectValue(Object(1e30)), "");
  EXPECT_EQ(seconds.stringForObjectValue(Object("inf")), "");
  EXPECT_EQ(seconds.stringForObjectValue(Object()), "");
}

TEST(FormattersTest, SecondsReadBackFromColonSeparatedIntegers) {
  SecondsFormatter seconds;
  auto read = [&](const std::string& text) -> std::string {
    Object value;
    std::string error = "untouched";
    if (!seconds.getObjectValue(&value, text, &error)) {
      return "error: " + error;
    }
    EXPECT_EQ(error, "untouched");
    return std::to_string(value.number().int64Value());
  };
  EXPECT_EQ(read("1:02:05"), "3725");
  EXPECT_EQ(read(" 4 : 05 "), "245");
  const std::string failed = "error: Couldn't convert to seconds";
  EXPECT_EQ(read(""), failed);
  EXPECT_EQ(read(" : "), failed);
  EXPECT_EQ(read("1:x"), failed);
  EXPECT_EQ(read("-5"), failed);
  EXPECT_EQ(read("(1:02)"), failed);
  EXPECT_EQ(read("99999999999999999999"), failed);
  EXPECT_EQ(read("1:1:1:1:1:1:1:1:1:1:1:1"), failed);  // 60^11 overflows
  Object untouched = 7;
  EXPECT_FALSE(seconds.getObjectValue(&untouched, "x", nullptr));
  EXPECT_EQ(untouched, Object(7));
}

TEST(FormattersTest, UppercaseTransformerTakesTextOnly) {
  UppercaseStringValueTransformer upper;
  EXPECT_EQ(upper.transformedValue(Object("album artist")), Object("ALBUM ARTIST"));
  EXPECT_EQ(upper.transformedValue(Object("stra\xC3\x9F"
                                          "e")),
            Object("STRASSE"));
  EXPECT_TRUE(upper.transformedValue(Object()).isNone());
  try {
    upper.transformedValue(Object(3));
    ADD_FAILURE() << "a number was accepted";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_STREQ(e.what(), "Value was not NSString.");
  }
}

}  // namespace
}  // namespace quorvel
