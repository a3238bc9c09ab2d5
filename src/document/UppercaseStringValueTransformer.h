#pragma once

#include "support/Value.h"

namespace quorvel {

// Shows tag keys in capitals. One-way: the reverse hands the value back as it
// is. Stateless; any thread.
class UppercaseStringValueTransformer {
 public:
  static bool allowsReverseTransformation() { return false; }
  // The text in upper case (full Unicode mapping: "ß" -> "SS"); none for
  // none. Throws InternalInconsistencyException "Value was not NSString."
  // for a value that is not text.
  Object transformedValue(const Object& value) const;
  // `value` unchanged.
  Object reverseTransformedValue(const Object& value) const;
};

}  // namespace quorvel
