// CSV files come from users and other programs. Whatever the bytes, every
// option set and delimiter must end the parse with a result or an error, and
// what the reader delivers must survive the writer and come back equal.
//
// The first byte picks the run: bits 0-3 the option mask, bits 4-5 the
// delimiter, bits 6-7 how the encoding is found (detected, given as UTF-8,
// given as UTF-16LE, detected and read one byte at a time).
//
// Run: fuzz_csv -max_len=4096 fuzz/corpus/csv

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "exchange/CHCSVAggregator.h"
#include "exchange/CHCSVParser.h"
#include "exchange/CHCSVWriter.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  if (size == 0) {
    return 0;
  }
  const std::uint8_t control = bytes[0];
  const CHCSVParserOptions options = control & 0x0F;
  constexpr char16_t kDelimiters[] = {u',', u';', u'\t', u'\u2022'};
  const char16_t delimiter = kDelimiters[(control >> 4) & 3];
  const int encodingMode = control >> 6;
  std::string encoding = encodingMode == 1 ? "UTF-8" : encodingMode == 2 ? "UTF-16LE" : "";

  std::string input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  CHCSVParser parser(std::make_unique<std::istringstream>(input), &encoding, delimiter);
  parser.setOptions(options);
  if (encodingMode == 3) {
    parser.setReadBlockSize(1);
  }
  CHCSVAggregator aggregator;
  parser.setDelegate(&aggregator);
  parser.parse();
  check(!encoding.empty(), "no encoding detected");
  check(aggregator.lines().has_value() != aggregator.error().has_value(),
        "a parse must end with records or with an error, not both");
  check(parser.totalBytesRead() <= input.size(), "read more bytes than there are");
  if (!aggregator.lines() || !(options & kCHCSVParserOptionsSanitizesFields)) {
    return 0;
  }

  // Records the writer can express: an empty record and a record of one empty
  // field are both an empty line, which the reader skips.
  CSVRecords kept;
  for (const auto& record : *aggregator.lines()) {
    if (!record.empty() && !(record.size() == 1 && record[0].empty())) {
      kept.push_back(record);
    }
  }
  CSVRecords expected = kept;
  expected.push_back({""});
  Error error;
  const auto reread = CSVComponents(CSVString(kept), kCHCSVParserOptionsSanitizesFields, &error);
  check(reread.has_value(), "the writer's output does not parse");
  check(*reread == expected, "written records read back differently");
  return 0;
}
