#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/PropertyList.h"
#include "support/Value.h"

namespace quorvel {

// Reads a property list of the layout the XML export writes: a root array
// whose dictionaries are the metadata dictionaries. Elements that are not
// dictionaries are not metadata and are dropped.
//
// Every operation is a pure function of its input; any thread.
class AudioMetadataXMLImporter {
 public:
  // The dictionaries of the property-list file at `path` (XML, or binary).
  // None when it cannot be read, is not a property list, its root is not an
  // array, or the array holds no dictionary.
  static std::optional<std::vector<PlistDict>> metadataArrayFromURL(const std::string& path);
  // The same from the bytes of such a file.
  static std::optional<std::vector<PlistDict>> metadataArrayFromData(const Data& bytes);
  // The same from a parsed property list.
  static std::optional<std::vector<PlistDict>> metadataArrayFromPropertyList(PlistValue root);
};

}  // namespace quorvel
