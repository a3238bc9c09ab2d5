// The application controller at library size: dropping a folder of 20,000
// files into the list (walk, reading threads, progress every 0.2 s, records
// appended on the main thread), one edit of 20,000 selected records and its
// undo, and the memory each loaded record costs.
//
// The corpus is 20,000 hard links to one tagged FLAC fixture in 200 folders,
// made once in the build folder (bench-controller-corpus) and reused; the
// fixtures come from the build's `fixtures` target. Reading the same inode
// keeps the files in the page cache, so this measures the controller and
// the reader, not the disk.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "document/AppDelegate.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"

namespace {

namespace fs = std::filesystem;
using quorvel::AppDelegate;
using quorvel::Object;
using quorvel::RunLoop;

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;
constexpr std::size_t kFiles = kFolders * kFilesPerFolder;

fs::path buildDir() {
  // <build>/bench/bench_controller
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

// The corpus folder, made on first use; empty when the fixture is missing.
std::string corpus() {
  static const std::string folder = [] {
    const fs::path source = buildDir() / "fixtures" / "tagged.flac";
    const fs::path root = buildDir() / "bench-controller-corpus";
    const fs::path stamp = root / ".complete";
    if (fs::exists(stamp)) {
      return root.string();
    }
    if (!fs::exists(source)) {
      return std::string();
    }
    fs::remove_all(root);
    for (int f = 0; f < kFolders; ++f) {
      const fs::path album = root / ("Album " + std::to_string(f));
      fs::create_directories(album);
      for (int t = 0; t < kFilesPerFolder; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d Track.flac", t + 1);
        fs::create_hard_link(source, album / name);
      }
    }
    std::ofstream(stamp) << kFiles << '\n';
    return root.string();
  }();
  return folder;
}

// Heap bytes in use, over every malloc arena (records are made on the
// reading threads). Resident size would hide memory the allocator reuses.
std::size_t heapBytesInUse() {
  struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

void waitUntilIdle(AppDelegate& controller) {
  while (!RunLoop::main().runUntil([&] { return !controller.isBusy(); }, std::chrono::minutes(1))) {
  }
  RunLoop::main().processPendingEvents();
}

std::unique_ptr<AppDelegate> loadedController(unsigned readingThreads) {
  auto controller = std::make_unique<AppDelegate>();
  controller->setReadingThreadCount(readingThreads);
  controller->filesWereDropped({corpus()});
  waitUntilIdle(*controller);
  return controller;
}

// Argument: reading threads (0: each file read on the main thread).
void BM_AddFolder20000(benchmark::State& state) {
  if (corpus().empty()) {
    state.SkipWithError("fixture tagged.flac missing: build the 'fixtures' target");
    return;
  }
  std::size_t records = 0;
  for (auto _ : state) {
    auto controller = loadedController(static_cast<unsigned>(state.range(0)));
    records = controller->metadatas().size();
    state.PauseTiming();
    controller.reset();
    state.ResumeTiming();
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AddFolder20000)
    ->Arg(0)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Heap the list grows by per loaded record, with the controller's list,
// undo manager and selection (the shared cover bytes are held once, as the
// reader interns them).
void BM_MemoryPerRecord(benchmark::State& state) {
  if (corpus().empty()) {
    state.SkipWithError("fixture tagged.flac missing: build the 'fixtures' target");
    return;
  }
  double perRecord = 0;
  for (auto _ : state) {
    // A first run warms up the reader's tables and the allocator.
    loadedController(2).reset();
    const std::size_t before = heapBytesInUse();
    auto controller = loadedController(2);
    const std::size_t after = heapBytesInUse();
    perRecord = static_cast<double>(after > before ? after - before : 0) /
                static_cast<double>(controller->metadatas().size());
    state.PauseTiming();
    controller.reset();
    state.ResumeTiming();
  }
  state.counters["bytes/record"] = perRecord;
}
BENCHMARK(BM_MemoryPerRecord)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

AppDelegate& editableList() {
  static std::unique_ptr<AppDelegate> controller = [] {
    auto loaded = loadedController(2);
    loaded->metadataArrayController().selectAll();
    loaded->updatePreview();
    return loaded;
  }();
  return *controller;
}

// One edit of the album field with every record selected: one undo group,
// 20,000 changes, then the editor's refresh over the selection.
void BM_Edit20000(benchmark::State& state) {
  if (corpus().empty()) {
    state.SkipWithError("fixture tagged.flac missing: build the 'fixtures' target");
    return;
  }
  AppDelegate& controller = editableList();
  int round = 0;
  for (auto _ : state) {
    controller.metadataValueWasEdited(1, 0, Object("Edited " + std::to_string(++round)));
    state.PauseTiming();
    controller.undo();
    state.ResumeTiming();
  }
  state.counters["records"] = static_cast<double>(controller.selectedMetadatas().size());
}
BENCHMARK(BM_Edit20000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Undo of that edit, with its refresh.
void BM_Undo20000(benchmark::State& state) {
  if (corpus().empty()) {
    state.SkipWithError("fixture tagged.flac missing: build the 'fixtures' target");
    return;
  }
  AppDelegate& controller = editableList();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    controller.metadataValueWasEdited(1, 0, Object("Undone " + std::to_string(++round)));
    state.ResumeTiming();
    controller.undo();
  }
}
BENCHMARK(BM_Undo20000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Never the user's settings: a fresh file with the shipped first values.
  const std::string settings =
      (fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()) + ".plist"))
          .string();
  ::setenv("QUORVEL_SETTINGS", settings.c_str(), 1);
  quorvel::UserDefaults::standard().setBool(false, "saveAfterChange");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove(settings, ec);
  return 0;
}
