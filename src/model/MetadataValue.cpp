#include "model/MetadataValue.h"

#include "support/Text.h"

namespace quorvel {

MetadataValue::MetadataValue(std::string key, std::int32_t type)
    : type_(type), key_(std::move(key)) {}

MetadataValue::MetadataValue(std::string key, Object value, std::int32_t type)
    : type_(type), key_(std::move(key)) {
  // addValue on an empty list, taking the value instead of copying it.
  if (!value.isNone()) {
    dataType_ = static_cast<std::int32_t>(value.kind());
    values_.push_back(std::move(value));
  }
}

MetadataValue::MetadataValue(std::string key, const ObjectList& values, std::int32_t type)
    : type_(type), key_(std::move(key)) {
  values_.reserve(values.size());
  for (const Object& value : values) {
    addValue(value);
  }
}

Object MetadataValue::convertedValue(const Object& value, std::int32_t dataType) {
  const auto kind = static_cast<std::int32_t>(value.kind());
  if (dataType == DataTypeNone || kind == dataType) {
    return value;
  }
  switch (dataType) {
    case DataTypeText:
      if (value.isNumber()) {
        return Object(value.number().stringValue());
      }
      if (value.isData()) {
        std::string_view bytes = value.data().view();
        if (isValidUtf8(bytes)) {
          return Object(std::string(bytes));
        }
      }
      return Object();
    case DataTypeNumber:
      if (value.isText()) {
        if (auto number = numberFromLocalizedString(value.text())) {
          return Object(*number);
        }
      }
      return Object();
    case DataTypeData:
      if (value.isText()) {
        return Object(Data::fromString(value.text()));
      }
      return Object();
    default:
      // A list holding objects of no known kind takes nothing more.
      return Object();
  }
}

bool MetadataValue::addValue(const Object& value) {
  if (value.isNone()) {
    return false;
  }
  if (dataType_ == DataTypeNone) {
    values_.push_back(value);
    dataType_ = static_cast<std::int32_t>(value.kind());
    return true;
  }
  Object converted = convertedValue(value, dataType_);
  if (converted.isNone()) {
    return false;
  }
  values_.push_back(std::move(converted));
  return true;
}

bool MetadataValue::insertValue(const Object& value, std::size_t index) {
  if (value.isNone() || index > values_.size()) {
    return false;
  }
  if (dataType_ == DataTypeNone && values_.empty()) {
    return addValue(value);
  }
  Object converted = convertedValue(value, dataType_);
  if (converted.isNone()) {
    return false;
  }
  values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(index), std::move(converted));
  return true;
}

bool MetadataValue::replaceValue(std::size_t index, const Object& value) {
  if (value.isNone() || index >= values_.size()) {
    return false;
  }
  if (values_.size() == 1) {
    // Replacing the only value replaces the whole content, kind included.
    setValue(value);
    return true;
  }
  Object converted = convertedValue(value, dataType_);
  if (converted.isNone()) {
    return false;
  }
  values_[index] = std::move(converted);
  return true;
}

void MetadataValue::setValue(const Object& value) {
  values_.clear();
  dataType_ = DataTypeNone;
  addValue(value);
}

void MetadataValue::removeAllValues() { setValue(Object()); }

std::optional<std::string> MetadataValue::stringValue() const {
  if (values_.empty()) {
    return std::nullopt;
  }
  return values_.front().stringValue();
}

std::optional<Number> MetadataValue::numberValue() const {
  if (values_.empty()) {
    return std::nullopt;
  }
  const Object& first = values_.front();
  if (first.isNumber()) {
    return first.number();
  }
  if (first.isText()) {
    return numberFromLocalizedString(first.text());
  }
  return std::nullopt;
}

std::optional<Data> MetadataValue::dataValue() const {
  if (values_.empty()) {
    return std::nullopt;
  }
  const Object& first = values_.front();
  if (first.isData()) {
    return first.data();
  }
  if (first.isText()) {
    return Data::fromString(first.text());
  }
  return std::nullopt;
}

}  // namespace quorvel
