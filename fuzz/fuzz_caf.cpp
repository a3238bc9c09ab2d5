// CAF files are parsed by our own chunk reader and rewritten when their
// info dictionary changes. Any bytes must parse or fail with a reason; a
// file that parses must rewrite with a new dictionary into a file that
// parses to that dictionary with the same audio.
//
// Run: fuzz_caf -max_len=65536 fuzz/corpus/caf

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/CafFile.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  std::istringstream in(input);
  Error error;
  auto caf = CafFile::read(in, &error);
  if (!caf) {
    check(!error.localizedDescription.empty(), "failure without a reason");
    return 0;
  }
  (void)caf->estimatedDuration();
  for (const auto& chunk : caf->chunks()) {
    check(chunk.offset + 12 + chunk.bodySize <= size, "chunk past the end");
  }
  for (std::size_t i = 0; caf->userDataChunk("uuid", i) || i < 2; ++i) {
    (void)caf->userDataChunk("midi", i);
  }

  const InfoDictionary info{{"title", "fuzz"}, {"artist", "\xC3\xA9"}};
  std::istringstream source(input);
  std::ostringstream out;
  check(CafFile::rewriteWithInfoDictionary(source, out, info, &error), "rewrite failed");
  std::istringstream rewritten(out.str());
  auto again = CafFile::read(rewritten, &error);
  check(again.has_value(), "the rewritten file does not parse");
  check(again->infoDictionary() == info, "the new dictionary did not read back");
  check(again->audioDataSize() == caf->audioDataSize(), "the audio changed size");
  return 0;
}
