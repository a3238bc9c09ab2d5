// Property lists come from disk (settings, exports, artwork archives) and
// may be damaged or hostile. Parsing must fail cleanly with a reason, and
// whatever parses must serialise in both forms and parse again.
//
// Run: fuzz_plist -max_len=65536 fuzz/corpus/plist

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  Error error;
  auto value = plist::parse(Data(bytes, size), &error);
  if (!value) {
    if (error.localizedDescription.empty()) {
      std::fprintf(stderr, "parse failed without a reason\n");
      std::abort();
    }
    return 0;
  }
  for (bool binary : {false, true}) {
    Data again = plist::serialize(*value, binary);
    if (again.empty() || !plist::parse(again, &error)) {
      std::fprintf(stderr, "%s list we wrote does not read back: %s\n", binary ? "binary" : "XML",
                   error.localizedDescription.c_str());
      std::abort();
    }
  }
  return 0;
}
