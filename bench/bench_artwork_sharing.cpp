// How much memory the covers of a large library take once every record has
// read its artwork: 10,000 tracks of 800 albums, one ~500 KB cover per album,
// each track's copy pulled out of its own file as a tag reader does. With the
// artwork bytes interned, the records hold 800 buffers (~400 MB), not 10,000
// (~5 GB).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/AlbumArtwork.h"
#include "platform/ImageCodec.h"

namespace {

using namespace quorvel;
namespace fs = std::filesystem;

constexpr int kAlbums = 800;
constexpr int kRecords = 10000;

// A record as far as artwork goes.
using Record = std::vector<std::shared_ptr<AlbumArtwork>>;

std::size_t residentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
      resident = 0;
    }
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

ByteBuffer readWholeFile(const std::string& path) {
  ByteBuffer bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (n <= 0) {
        break;
      }
      filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
  }
  if (fd >= 0) {
    ::close(fd);
  }
  return bytes;
}

// One noisy JPEG of about 500 KB, made distinct per album by a comment
// segment right after the start-of-image marker.
class CoverFiles {
 public:
  CoverFiles() {
    folder_ = fs::temp_directory_path() / ("quorvel-bench-covers-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    ImageCodec::Bitmap bitmap{518, 518, 3, {}};
    bitmap.samples.resize(518 * 518 * 3);
    std::uint32_t seed = 1;
    for (auto& sample : bitmap.samples) {
      seed = seed * 1103515245u + 12345u;
      sample = static_cast<std::uint8_t>(seed >> 24);
    }
    const Data jpeg =
        ImageCodec::encode(*ImageCodec::fromBitmap(bitmap), BitmapFileType::JPEG, 0.9f);
    for (int album = 0; album < kAlbums; ++album) {
      const std::string comment = "album " + std::to_string(album);
      std::string bytes(jpeg.view().substr(0, 2));
      bytes += "\xFF\xFE";
      bytes += static_cast<char>((comment.size() + 2) >> 8);
      bytes += static_cast<char>((comment.size() + 2) & 0xFF);
      bytes += comment;
      bytes += jpeg.view().substr(2);
      paths_.push_back((folder_ / ("cover" + std::to_string(album) + ".jpg")).string());
      FILE* f = std::fopen(paths_.back().c_str(), "wb");
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    coverSize_ = jpeg.size();
  }
  ~CoverFiles() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  CoverFiles(const CoverFiles&) = delete;
  CoverFiles& operator=(const CoverFiles&) = delete;

  const std::vector<std::string>& paths() const { return paths_; }
  std::size_t coverSize() const { return coverSize_; }

 private:
  fs::path folder_;
  std::vector<std::string> paths_;
  std::size_t coverSize_ = 0;
};

const CoverFiles& covers() {
  static const CoverFiles files;
  return files;
}

void BM_ArtworkSharing(benchmark::State& state) {
  const auto& files = covers();
  for (auto _ : state) {
    const std::size_t rssBefore = residentBytes();
    std::vector<Record> records(kRecords);
    for (int i = 0; i < kRecords; ++i) {
      // As a tag reader does: a fresh buffer from the file, then interned.
      Data bytes(readWholeFile(files.paths()[static_cast<std::size_t>(i % kAlbums)]));
      auto artwork = std::make_shared<AlbumArtwork>();
      artwork->setData(AlbumArtwork::internedData(bytes));
      artwork->setMimeType("image/jpeg");
      records[static_cast<std::size_t>(i)].push_back(std::move(artwork));
    }
    const std::size_t rssAfter = residentBytes();

    std::unordered_set<const void*> buffers;
    std::size_t unique = 0;
    std::size_t unshared = 0;
    for (const auto& record : records) {
      for (const auto& artwork : record) {
        unshared += artwork->dataSize();
        if (buffers.insert(artwork->data().identity()).second) {
          unique += artwork->dataSize();
        }
      }
    }
    state.counters["cover_bytes"] = static_cast<double>(files.coverSize());
    state.counters["distinct_buffers"] = static_cast<double>(buffers.size());
    state.counters["unique_image_MB"] = static_cast<double>(unique) / 1e6;
    state.counters["unshared_would_be_MB"] = static_cast<double>(unshared) / 1e6;
    state.counters["rss_delta_MB"] =
        (static_cast<double>(rssAfter) - static_cast<double>(rssBefore)) / 1e6;
    benchmark::DoNotOptimize(records.data());
  }
}
BENCHMARK(BM_ArtworkSharing)->Iterations(1)->Unit(benchmark::kMillisecond);

// The cost a reader pays per picture: hashing and comparing one cover that
// is already interned.
void BM_InternOneCover(benchmark::State& state) {
  const auto& files = covers();
  const Data first(readWholeFile(files.paths()[0]));
  const Data held = AlbumArtwork::internedData(first);
  const Data copy(first.bytes(), first.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(AlbumArtwork::internedData(copy).identity());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(copy.size()));
}
BENCHMARK(BM_InternOneCover)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
