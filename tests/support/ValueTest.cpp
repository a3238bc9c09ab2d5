#include "support/Value.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ValueTest, NumbersRenderAsDecimalText) {
  EXPECT_EQ(Number(5).stringValue(), "5");
  EXPECT_EQ(Number(1.5).stringValue(), "1.5");
  EXPECT_EQ(Number(120.0).stringValue(), "120");
  EXPECT_EQ(Number(-3).stringValue(), "-3");
  EXPECT_EQ(Number(5), Number(5.0));
}

TEST(ValueTest, DataComparesByContentAndSharesCopies) {
  Data a = Data::fromString("abc");
  Data b = a;
  EXPECT_TRUE(a.isSameObject(b));
  EXPECT_EQ(a, Data::fromString("abc"));
  EXPECT_FALSE(a.isSameObject(Data::fromString("abc")));
  EXPECT_NE(a, Data::fromString("abd"));
}

TEST(ValueTest, StringValueDecodesOnlyValidUtf8) {
  EXPECT_EQ(Object(Data::fromString("h\xC3\xA9")).stringValue(), "h\xC3\xA9");
  EXPECT_FALSE(Object(Data::fromString("\xC3")).stringValue());
  EXPECT_FALSE(Object(Data::fromString("\xC0\xAF")).stringValue());      // overlong
  EXPECT_FALSE(Object(Data::fromString("\xED\xA0\x80")).stringValue());  // surrogate
  EXPECT_EQ(Object(Number(7)).stringValue(), "7");
  EXPECT_FALSE(Object().stringValue());
}

TEST(ValueTest, ZeroLengthMeansEmptyTextOrData) {
  EXPECT_TRUE(Object("").hasZeroLength());
  EXPECT_TRUE(Object(Data()).hasZeroLength());
  EXPECT_FALSE(Object(Number(0)).hasZeroLength());
  EXPECT_FALSE(Object("x").hasZeroLength());
}

}  // namespace
}  // namespace quorvel
