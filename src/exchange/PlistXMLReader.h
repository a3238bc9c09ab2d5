#pragma once

#include <optional>
#include <string_view>

#include "platform/PropertyList.h"

namespace quorvel {

// A single-pass reader for XML property lists in the plain form property-list
// writers produce (the XML export's files among them), without the node tree
// of the general parser: for a large export that tree and its conversion cost
// several times the reading itself.
//
// It takes only a strict subset: the usual declaration and document type,
// <plist version="1.0">, the elements string, key, integer (decimal, at most
// 18 digits, no leading zeros), real (plain decimal notation), true, false,
// data (Base64 with whitespace), array and dict, the five named entities, and
// spaces, tabs and line feeds between elements. Anything else (dates,
// comments, CDATA, character references, carriage returns, attributes, more
// than 64 levels) makes it decline, and the caller hands the document to
// plist::parse, which decides. What it accepts it reads exactly as
// plist::parse does, "CF$UID" dictionaries included.
class PlistXMLReader {
 public:
  // The document's root value, or none when the document lies outside the
  // subset (which says nothing about whether it is a valid property list).
  // Thread: any.
  static std::optional<PlistValue> read(std::string_view document);
};

}  // namespace quorvel
