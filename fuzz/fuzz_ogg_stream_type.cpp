// The Ogg stream type is decided from the first bytes of files a person
// drops on the window; any bytes must give a type or an error with a
// reason, never a crash or a read past the probe.
//
// Run: fuzz_ogg_stream_type -max_len=8192 fuzz/corpus/ogg

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/OggStreamType.h"

namespace {

// One scratch file per fuzzing process, rewritten for every input.
const std::string& scratchPath() {
  static const std::string path = "/tmp/quorvel-fuzz-ogg-" + std::to_string(::getpid()) + ".ogg";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(bytes, 1, size, file);
  std::fclose(file);

  Error error;
  const OggStreamType type = oggStreamType(scratchPath(), &error);
  const int value = static_cast<int>(type);
  if (value < 1 || value > 4) std::abort();
  if (error.code != 0 && (error.localizedDescription.empty() || type != OggStreamType::Unknown)) {
    std::fprintf(stderr, "failure without a reason or with a type\n");
    std::abort();
  }
  // Bytes past the probe never matter.
  if (size > 4096 && error.code == 0) {
    file = std::fopen(scratchPath().c_str(), "wb");
    if (!file) return 0;
    std::fwrite(bytes, 1, 4096, file);
    std::fclose(file);
    Error again;
    if (oggStreamType(scratchPath(), &again) != type || again.code != 0) {
      std::fprintf(stderr, "result depends on bytes after 4096\n");
      std::abort();
    }
  }
  return 0;
}
