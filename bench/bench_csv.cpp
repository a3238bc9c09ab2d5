// Streams a 1 GB CSV file through the reader with a delegate that only counts,
// and a file holding one 100 MB field, each parse in a child process of its
// own, and reports throughput and the child's peak resident memory
// (getrusage). The input files are
// generated once next to this program (or in the folder given as the first
// argument) and reused by later runs.
//
//   bench_csv [folder] [read block size in bytes]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "exchange/CHCSVParser.h"

namespace {

using quorvel::CHCSVParser;

constexpr std::uint64_t kBigFileBytes = 1ull << 30;
constexpr std::uint64_t kBigFieldBytes = 100ull << 20;

class CountingDelegate : public quorvel::CHCSVParserDelegate {
 public:
  std::uint64_t records = 0;
  std::uint64_t fields = 0;
  std::uint64_t fieldBytes = 0;
  bool failed = false;

  void parserDidReadField(CHCSVParser&, const std::string& field, std::size_t) override {
    ++fields;
    fieldBytes += field.size();
  }
  void parserDidEndLine(CHCSVParser&, std::uint64_t) override { ++records; }
  void parserDidFailWithError(CHCSVParser&, const quorvel::Error& error) override {
    failed = true;
    std::fprintf(stderr, "parse failed: %s\n", error.localizedDescription.c_str());
  }
};

// Rows of a metadata export: plain cells, cells with commas, doubled quotes
// and line breaks, accented and Cyrillic text.
void writeBigFile(const std::filesystem::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "ALBUM,ARTIST,COMMENT,GENRE,GENRE,TITLE,TRACKNUMBER,File Name,File Path\n";
  std::uint64_t written = 0;
  std::string row;
  for (std::uint64_t i = 0; written < kBigFileBytes; ++i) {
    row.clear();
    row += "Album " + std::to_string(i / 12) + ",";
    row += (i % 3 == 0) ? "\"Artist, The\"," : "Ann\u00e9e \u0416\u0443\u043a,";
    row += (i % 5 == 0) ? "\"said \"\"hello\"\"\nand left\"," : "plain comment text here,";
    row += "Rock,Pop,";
    row += "Title number " + std::to_string(i) + ",";
    row += std::to_string(i % 20 + 1) + ",";
    row += "track" + std::to_string(i) + ".mp3,";
    row += "/home/user/Music/Artist/Album (2001)/track" + std::to_string(i) + ".mp3\n";
    out << row;
    written += row.size();
  }
}

void writeBigFieldFile(const std::filesystem::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "a,\"";
  const std::string chunk = std::string(1023, 'x') + "\"\"";  // doubled quotes inside
  for (std::uint64_t written = 0; written < kBigFieldBytes; written += chunk.size()) {
    out << chunk;
  }
  out << "\",b\n";
}

void ensure(const std::filesystem::path& path, void (*make)(const std::filesystem::path&)) {
  if (std::filesystem::exists(path)) {
    return;
  }
  std::printf("generating %s ...\n", path.c_str());
  std::fflush(stdout);
  const auto temporary = path.string() + ".part";
  make(temporary);
  std::filesystem::rename(temporary, path);
}

// Parses in a child so that its peak resident memory is the parse's alone.
void run(const char* name, const std::filesystem::path& path, quorvel::CHCSVParserOptions options,
         std::size_t blockSize) {
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    const auto start = std::chrono::steady_clock::now();
    auto parser = CHCSVParser::parserWithContentsOfCSVFile(path.string());
    parser->setOptions(options);
    parser->setReadBlockSize(blockSize);
    CountingDelegate counter;
    parser->setDelegate(&counter);
    parser->parse();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double megabytes = static_cast<double>(parser->totalBytesRead()) / (1 << 20);
    std::printf(
        "%-22s options %2u: %7.1f MB, %6.2f s wall (%6.1f MB/s), %6.2f s CPU (%6.1f MB/s), "
        "peak RSS %6.1f MB, %llu records, %llu fields\n",
        name, options, megabytes, seconds, megabytes / seconds, cpu, megabytes / cpu,
        static_cast<double>(usage.ru_maxrss) / 1024.0,
        static_cast<unsigned long long>(counter.records),
        static_cast<unsigned long long>(counter.fields));
    std::fflush(stdout);
    ::_exit(counter.failed ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("%-22s options %2u: FAILED\n", name, options);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1])
               : std::filesystem::canonical("/proc/self/exe").parent_path();
  const std::size_t blockSize = argc > 2 ? std::stoul(argv[2]) : 512;
  const auto big = folder / "bench_csv_1g.csv";
  const auto bigField = folder / "bench_csv_100m_field.csv";
  ensure(big, writeBigFile);
  ensure(bigField, writeBigFieldFile);
  std::printf("read block size %zu bytes\n", blockSize);

  run("1 GB", big, quorvel::kCHCSVParserOptionsSanitizesFields, blockSize);
  run("1 GB", big, 0, blockSize);
  run("1 GB", big, 15, blockSize);
  run("100 MB field", bigField, quorvel::kCHCSVParserOptionsSanitizesFields, blockSize);
  run("100 MB field", bigField, 0, blockSize);
  return 0;
}
