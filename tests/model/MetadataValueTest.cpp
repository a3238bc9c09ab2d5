#include "model/MetadataValue.h"

#include <gtest/gtest.h>

#include "support/Text.h"

namespace quorvel {
namespace {

class MetadataValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousLocale_ = defaultLocaleName();
    setDefaultLocaleName("en_US");
  }
  void TearDown() override { setDefaultLocaleName(previousLocale_); }

 private:
  std::string previousLocale_;
};

TEST_F(MetadataValueTest, ConstructorsStartWithoutKindAndAddInOrder) {
  MetadataValue none("ALBUM", Object(), MetadataValue::TypeUser);
  EXPECT_TRUE(none.allValues().empty());
  EXPECT_EQ(none.dataType(), 0);

  // The first value fixes the kind; later ones are converted to it.
  MetadataValue list("TRACKNUMBER", ObjectList{Object(3), Object("4"), Object("x")},
                     MetadataValue::TypeID3v2);
  EXPECT_EQ(list.dataType(), MetadataValue::DataTypeNumber);
  EXPECT_EQ(list.allValues(), (ObjectList{Object(3), Object(4)}));
}

TEST_F(MetadataValueTest, AddValueConvertsToTheKindHeld) {
  MetadataValue text("GENRE", Object("Jazz"), MetadataValue::TypeUser);
  EXPECT_TRUE(text.addValue(Object(12)));
  EXPECT_TRUE(text.addValue(Object(1.5)));
  EXPECT_TRUE(text.addValue(Object(Data::fromString("Soul"))));
  EXPECT_FALSE(text.addValue(Object(Data::fromString("\xFF\xFE"))));  // not UTF-8
  EXPECT_FALSE(text.addValue(Object()));
  EXPECT_EQ(text.allValues(), (ObjectList{"Jazz", "12", "1.5", "Soul"}));
  EXPECT_EQ(text.dataType(), MetadataValue::DataTypeText);

  MetadataValue number("BPM", Object(120), MetadataValue::TypeUser);
  EXPECT_TRUE(number.addValue(Object("1,000")));
  EXPECT_FALSE(number.addValue(Object("fast")));
  EXPECT_FALSE(number.addValue(Object(Data::fromString("7"))));
  EXPECT_EQ(number.allValues(), (ObjectList{Object(120), Object(1000)}));

  MetadataValue data("PRIVATE", Object(Data::fromString("ab")), MetadataValue::TypeUser);
  EXPECT_TRUE(data.addValue(Object("c\xC3\xA9")));
  EXPECT_FALSE(data.addValue(Object(5)));
  EXPECT_EQ(data.allValues(),
            (ObjectList{Object(Data::fromString("ab")), Object(Data::fromString("c\xC3\xA9"))}));
}

TEST_F(MetadataValueTest, NumberParsingFollowsTheLocale) {
  MetadataValue number("BPM", Object(1), MetadataValue::TypeUser);
  setDefaultLocaleName("de_DE");
  EXPECT_TRUE(number.addValue(Object("2,5")));
  ASSERT_EQ(number.allValues().size(), 2u);
  EXPECT_DOUBLE_EQ(number.allValues()[1].number().doubleValue(), 2.5);
  MetadataValue text("BPM", Object("1,5"), MetadataValue::TypeUser);
  ASSERT_TRUE(text.numberValue());
  EXPECT_DOUBLE_EQ(text.numberValue()->doubleValue(), 1.5);
}

TEST_F(MetadataValueTest, SetValueResetsTheKind) {
  MetadataValue value("GENRE", ObjectList{"Rock", "Pop"}, MetadataValue::TypeAPE);
  value.setValue(Object(7));
  EXPECT_EQ(value.dataType(), MetadataValue::DataTypeNumber);
  EXPECT_EQ(value.allValues(), ObjectList{Object(7)});
  value.removeAllValues();
  EXPECT_EQ(value.dataType(), MetadataValue::DataTypeNone);
}

TEST_F(MetadataValueTest, InsertAndReplaceKeepOneKind) {
  MetadataValue value("TRACKNUMBER", ObjectList{Object(1), Object(3)}, MetadataValue::TypeUser);
  EXPECT_TRUE(value.insertValue(Object("2"), 1));
  EXPECT_FALSE(value.insertValue(Object(9), 4));  // past the end
  EXPECT_FALSE(value.insertValue(Object("two"), 0));
  EXPECT_FALSE(value.insertValue(Object(), 0));
  EXPECT_EQ(value.allValues(), (ObjectList{Object(1), Object(2), Object(3)}));
  EXPECT_TRUE(value.insertValue(Object(4), 3));  // at the end

  EXPECT_TRUE(value.replaceValue(0, Object("10")));
  EXPECT_FALSE(value.replaceValue(0, Object("ten")));
  EXPECT_FALSE(value.replaceValue(4, Object(1)));
  EXPECT_EQ(value.allValues(), (ObjectList{Object(10), Object(2), Object(3), Object(4)}));

  // The only value is the whole content: its kind may change.
  MetadataValue single("GENRE", Object("Rock"), MetadataValue::TypeUser);
  EXPECT_TRUE(single.replaceValue(0, Object(5)));
  EXPECT_EQ(single.dataType(), MetadataValue::DataTypeNumber);
}

TEST_F(MetadataValueTest, ConversionsOfTheFirstValue) {
  MetadataValue number("TRACKNUMBER", Object(7), MetadataValue::TypeUser);
  EXPECT_EQ(number.stringValue(), "7");
  EXPECT_EQ(number.numberValue(), Number(7));
  EXPECT_FALSE(number.dataValue());

  MetadataValue text("ALBUM", Object("Blue"), MetadataValue::TypeUser);
  EXPECT_EQ(text.stringValue(), "Blue");
  EXPECT_FALSE(text.numberValue());
  EXPECT_EQ(text.dataValue(), Data::fromString("Blue"));

  MetadataValue data("X", Object(Data::fromString("\xC3\xA9")), MetadataValue::TypeUser);
  EXPECT_EQ(data.stringValue(), "\xC3\xA9");
  EXPECT_FALSE(data.numberValue());
  MetadataValue binary("X", Object(Data::fromString("\x80")), MetadataValue::TypeUser);
  EXPECT_FALSE(binary.stringValue());
}

TEST_F(MetadataValueTest, EqualityComparesValuesOnly) {
  MetadataValue a("GENRE", ObjectList{"Jazz", "Soul"}, MetadataValue::TypeID3v2);
  MetadataValue b("STYLE", ObjectList{"Jazz", "Soul"}, MetadataValue::TypeVorbis);
  MetadataValue c("GENRE", ObjectList{"Soul", "Jazz"}, MetadataValue::TypeID3v2);
  EXPECT_TRUE(a.isEqualToMetadataValue(b));
  EXPECT_FALSE(a.isEqualToMetadataValue(c));
  // allValues is the live list.
  c.allValues().erase(c.allValues().begin());
  c.allValues().push_back("Soul");
  EXPECT_TRUE(a.isEqualToMetadataValue(c));
}

}  // namespace
}  // namespace quorvel
