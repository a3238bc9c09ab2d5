#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "support/Value.h"

namespace quorvel {

// The ordered values of one tag key, all of one kind once the first is added,
// with a type code telling which tag format they came from.
//
// Shared between a record and the undo tasks that restore it
// (std::shared_ptr<MetadataValue>). Not thread-safe: one thread at a time.
class MetadataValue {
 public:
  // Origin of the values (one per MetadataValue).
  static constexpr std::int32_t TypeID3v2 = 4;
  static constexpr std::int32_t TypeMP4 = 8;
  static constexpr std::int32_t TypeASF = 16;
  static constexpr std::int32_t TypeAPE = 32;
  static constexpr std::int32_t TypeVorbis = 64;
  static constexpr std::int32_t TypeUser = 128;  // object-value operations, ID3v1, imports
  static constexpr std::int32_t TypePreview = 256;
  static constexpr std::int32_t TypeINFO = 1024;

  // Kinds of values held (dataType); numbered as ValueKind.
  static constexpr std::int32_t DataTypeNone = 0;
  static constexpr std::int32_t DataTypeText = 1;
  static constexpr std::int32_t DataTypeNumber = 2;
  static constexpr std::int32_t DataTypeData = 3;

  // No values. dataType starts at 0.
  MetadataValue(std::string key, std::int32_t type);
  // One value (none gives no values).
  MetadataValue(std::string key, Object value, std::int32_t type);
  // Each value added in order with addValue, so later ones take the first's kind.
  MetadataValue(std::string key, const ObjectList& values, std::int32_t type);

  // Appends `value`, converted to the kind already held: to text a number
  // becomes its decimal text and data its UTF-8 decoding; to a number text is
  // parsed with the current locale; to data text becomes its UTF-8 bytes.
  // Anything that cannot be converted is dropped, and a none value ignored.
  // Returns true when a value was appended.
  bool addValue(const Object& value);
  // Inserts `value` at `index` (<= count) with the same conversion as addValue.
  // Returns false, changing nothing, for none, an index past the end, or a
  // value that cannot be converted.
  bool insertValue(const Object& value, std::size_t index);
  // Replaces the value at `index` (< count), converted to the held kind; when it
  // is the only value the kind follows the new value. Returns false, changing
  // nothing, for none, a bad index or a value that cannot be converted.
  bool replaceValue(std::size_t index, const Object& value);
  // Removes every value, resets dataType to 0 and adds `value` unless none.
  void setValue(const Object& value);
  // setValue with none.
  void removeAllValues();

  // The live list; the record's operations edit it in place.
  ObjectList& allValues() { return values_; }
  const ObjectList& allValues() const { return values_; }

  // True when both value lists are equal element by element (type and
  // dataType are not compared).
  bool isEqualToMetadataValue(const MetadataValue& other) const { return values_ == other.values_; }

  // The first value as text: text itself, a number's decimal text, data
  // decoded as UTF-8. None when there is no value or the data is not UTF-8.
  std::optional<std::string> stringValue() const;
  // The first value as a number: a number itself, text parsed with the current
  // locale. None otherwise.
  std::optional<Number> numberValue() const;
  // The first value as bytes: data itself, text as its UTF-8 bytes. None otherwise.
  std::optional<Data> dataValue() const;

  const std::string& key() const { return key_; }
  void setKey(std::string key) { key_ = std::move(key); }
  std::int32_t type() const { return type_; }
  void setType(std::int32_t type) { type_ = type; }
  std::int32_t dataType() const { return dataType_; }
  void setDataType(std::int32_t dataType) { dataType_ = dataType; }

  // `value` converted to the kind `dataType` (unchanged for dataType 0 or the
  // same kind); none when it cannot be converted. Thread: any.
  static Object convertedValue(const Object& value, std::int32_t dataType);

 private:
  std::int32_t type_;
  std::int32_t dataType_ = DataTypeNone;
  std::string key_;
  ObjectList values_;
};

}  // namespace quorvel
