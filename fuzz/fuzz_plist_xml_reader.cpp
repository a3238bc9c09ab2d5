// The importer reads XML exports with a quick reader of its own and leaves
// everything outside its subset to the general property-list parser. For any
// bytes, what the quick reader accepts must be exactly what the general
// parser makes of them, so the choice of reader never shows.
//
// Run: fuzz_plist_xml_reader -max_len=16384 fuzz/corpus/plist_xml

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "exchange/PlistXMLReader.h"
#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  const std::string_view document(reinterpret_cast<const char*>(bytes), size);
  auto quick = PlistXMLReader::read(document);
  if (!quick) {
    return 0;
  }
  auto general = plist::parse(Data(bytes, size));
  if (!general) {
    std::fprintf(stderr, "the quick reader accepted what the general parser refuses\n");
    std::abort();
  }
  if (!(*quick == *general)) {
    std::fprintf(stderr, "the quick reader read the document differently\n");
    std::abort();
  }
  return 0;
}
