// What a record costs in memory once read, without its artwork: reads every
// file the folder walk offers under the folders given into a list of
// records, drops their artworks, and reports the growth of the resident set
// per record.
//
// usage: bench_read_memory FOLDER...

#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "document/FileWalker.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"

namespace {

long residentKB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_read_memory FOLDER...\n");
    return 2;
  }
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    FileWalker::walkFolder(argv[i], [&](const std::string& path) {
      files.push_back(path);
      return true;
    });
  }
  if (files.empty()) {
    std::fprintf(stderr, "no audio files\n");
    return 1;
  }
  std::vector<std::shared_ptr<AudioMetadata>> records;
  records.reserve(files.size());
  // One read of each kind of file first, so settings, mapping tables, ICU,
  // libvips, libavformat and TagLib's own tables are not counted against the
  // records.
  std::set<std::string> kinds;
  for (const auto& path : files) {
    if (kinds.insert(std::filesystem::path(path).extension().string()).second) {
      AudioFileReader::metadataFromFile(path);
    }
  }
  malloc_trim(0);
  const long before = residentKB();
  const std::size_t heapBefore = mallinfo2().uordblks + mallinfo2().hblkhd;
  for (const auto& path : files) {
    if (auto record = AudioFileReader::metadataFromFile(path)) {
      record->removeAllArtwork();
      records.push_back(std::move(record));
    }
  }
  malloc_trim(0);
  const long after = residentKB();
  const std::size_t heapAfter = mallinfo2().uordblks + mallinfo2().hblkhd;
  const double count = static_cast<double>(records.size());
  std::printf("%zu records of %zu files: resident %ld KB -> %ld KB, %.0f bytes per record",
              records.size(), files.size(), before, after,
              static_cast<double>(after - before) * 1024.0 / count);
  // The C library's own count, when it is the allocator in use.
  if (heapAfter != heapBefore) {
    std::printf(" (heap in use: %.0f bytes per record)",
                (static_cast<double>(heapAfter) - static_cast<double>(heapBefore)) / count);
  }
  std::printf("\n");
  return 0;
}
