// The stream properties of WAVE, AIFF and MPEG-4 files are read from their
// headers by our own code. Any bytes must give no answer or a sane one,
// quickly and without reading out of bounds. The first byte picks the
// extension the file is given, which picks the container parser.
//
// Run: fuzz_container_headers -max_len=65536 fuzz/corpus/container_headers

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/ContainerHeaderReader.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  if (size == 0) {
    return 0;
  }
  static const char* const kExtensions[] = {"m4a", "wav", "aiff", "mp4", "aifc", "3gp"};
  const char* extension = kExtensions[bytes[0] % 6];
  const std::string path =
      "/tmp/fuzz_container_headers." + std::to_string(::getpid()) + "." + std::string(extension);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes + 1), static_cast<std::streamsize>(size - 1));
  }
  auto info = ContainerHeaderReader::read(path);
  if (info) {
    check(std::isfinite(info->estimatedDuration) && info->estimatedDuration >= 0,
          "duration out of range");
    check(info->bitRate >= 0, "negative bit rate");
    check(std::isfinite(info->streamDescription.sampleRate), "sample rate not finite");
    check(!info->fileTypeName.empty(), "no file type name");
    check(info->infoDictionary.empty(), "the header reader filled the info dictionary");
  }
  return 0;
}
