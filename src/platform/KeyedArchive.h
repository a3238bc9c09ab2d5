#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

// Keyed archives as the desktop's keyed archiver writes them: a binary
// property list {"$archiver": "NSKeyedArchiver", "$version": 100000,
// "$top": {"root": UID(1)}, "$objects": ["$null", root, ...objects...,
// class]}, where the root object's strings and bytes are objects of their own
// referred to by UID, integers stand inline, and "$class" names the class
// record {"$classname": ..., "$classes": [...]}.
//
// Only flat objects are handled: fields of integers, strings and bytes (and
// nil). That is all the archived records of this application contain.
class KeyedArchive {
 public:
  // One field: nil, an integer, a string or bytes.
  using Value = std::variant<std::monostate, std::int64_t, std::string, Data>;

  struct Object {
    std::string className;
    // The class and its ancestors, most derived first; empty means
    // {className, "NSObject"}.
    std::vector<std::string> classes;
    // Keys beginning with "$" are reserved by the format and are not written.
    std::map<std::string, Value> fields;
  };

  // The platform's code for an archive that cannot be decoded.
  static constexpr int kReadCorruptError = 4864;

  // Encodes `object` as the root of a binary keyed archive. Thread: any.
  static Data archive(const Object& object);

  // Decodes the root object of a keyed archive (binary or XML). Fails with
  // kReadCorruptError (domain kQuorvelErrorDomain) when the bytes are not a
  // keyed archive, a reference points nowhere or at the wrong kind of
  // object, or the root's class is not `className` (archives are checked
  // against the class the caller expects, never trusted to name it).
  // Integers and booleans become integers; strings and bytes, also in their
  // mutable archived forms ({"NS.string"}, {"NS.data"}), become strings and
  // bytes (in strings invalid UTF-8 reads as U+FFFD and a NUL ends the
  // text, as property lists write them); a reference to
  // "$null" becomes nil; fields of any other kind
  // (floats, dates, nested objects) are left out. Keys are text like
  // strings. Thread: any.
  static std::optional<Object> unarchive(const Data& archive, const std::string& className,
                                         Error* error = nullptr);
};

}  // namespace quorvel
