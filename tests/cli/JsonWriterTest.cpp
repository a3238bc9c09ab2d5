#include "cli/JsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace quorvel::cli {
namespace {

using nlohmann::ordered_json;

std::string standardDump(const std::string& text) {
  return ordered_json::parse(text).dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

// The writer must lay out exactly what a standard two-space dump gives, for
// every kind of value, including text that needs escaping.
TEST(JsonWriter, LaysOutAsTheStandardDump) {
  const std::string hostile = "quote \" backslash \\ tab \t newline \n bell \x07 del \x7f é ☃";
  JsonWriter out;
  out.beginObject();
  out.key("text");
  out.string(hostile);
  out.key("empty object");
  out.beginObject();
  out.endObject();
  out.key("empty array");
  out.beginArray();
  out.endArray();
  out.key("numbers");
  out.beginArray();
  out.integer(-42);
  out.integer(std::numeric_limits<std::int64_t>::max());
  out.number(200.5);
  out.number(3.0);
  out.number(1e-7);
  out.number(1e300);
  out.number(std::nan(""));
  out.endArray();
  out.key("nested");
  out.beginArray();
  out.beginObject();
  out.key("flag");
  out.boolean(true);
  out.key("nothing");
  out.null();
  out.endObject();
  out.beginArray();
  out.endArray();
  out.endArray();
  out.endObject();
  EXPECT_EQ(out.text(), standardDump(out.text()));
  auto parsed = ordered_json::parse(out.text());
  EXPECT_EQ(parsed["numbers"][6], nullptr);
  EXPECT_EQ(parsed["text"], hostile);
}

TEST(JsonWriter, ReplacesBytesThatAreNotUtf8AndIndentsFromItsDepth) {
  JsonWriter out(1);
  out.beginObject();
  out.key("bad");
  out.string(std::string("ok \xC3 \xFF end"));
  out.endObject();
  EXPECT_EQ(out.text(), "{\n    \"bad\": \"ok \xEF\xBF\xBD \xEF\xBF\xBD end\"\n  }");
}

}  // namespace
}  // namespace quorvel::cli
