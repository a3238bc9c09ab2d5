#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/CHCSVParser.h"
#include "platform/PropertyList.h"
#include "support/Value.h"

namespace quorvel {

// Reads a CSV table of the layout the CSV export writes into metadata
// dictionaries: the first record names the columns, every later record with
// as many fields becomes one dictionary. A name that heads one column maps to
// its cell when the cell is not empty; a name that heads several maps to the
// list of their non-empty cells, in column order (possibly empty). Records
// with another number of fields, and dictionaries without any entry, are
// dropped. Columns without a name are ignored.
//
// Every operation is a pure function of its input; any thread.
class AudioMetadataCSVImporter {
 public:
  // The dictionaries of the CSV file at `path` (encoding detected, fields
  // sanitized, nothing else). None when the file cannot be read, the reader
  // stops with an error (a stray quote), or no dictionary remains.
  static std::optional<std::vector<PlistDict>> metadataArrayFromURL(const std::string& path);
  // The same from the bytes of such a file.
  static std::optional<std::vector<PlistDict>> metadataArrayFromData(const Data& bytes);
  // The same from records already read (record 0 is the header); move them
  // in to spare copying every cell.
  static std::optional<std::vector<PlistDict>> metadataArrayFromRecords(CSVRecords records);
};

}  // namespace quorvel
