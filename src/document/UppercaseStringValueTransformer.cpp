#include "document/UppercaseStringValueTransformer.h"

#include "support/Error.h"
#include "support/Text.h"

namespace quorvel {

Object UppercaseStringValueTransformer::transformedValue(const Object& value) const {
  if (value.isNone()) {
    return {};
  }
  if (!value.isText()) {
    throw InternalInconsistencyException("Value was not NSString.");
  }
  return Object(uppercaseString(value.text()));
}

Object UppercaseStringValueTransformer::reverseTransformedValue(const Object& value) const {
  return value;
}

}  // namespace quorvel
