// Export and import of a large library held in memory: 100,000 records of
// about 15 tags each, as a CSV table and as an XML property list. Import
// reads the file and replaces every record's tags inside one undo group, as
// the application's import does.
//
// Run: ninja -C <build> bench_exchange && <build>/bench/bench_exchange

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exchange/AudioMetadataExporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "model/AudioMetadata.h"
#include "platform/ZRUndoManager.h"

namespace {

using namespace quorvel;
namespace fs = std::filesystem;

constexpr std::size_t kRecords = 100000;

std::vector<AudioMetadataPtr> makeLibrary() {
  std::vector<AudioMetadataPtr> records;
  records.reserve(kRecords);
  static const char* const kGenres[] = {"Rock", "Jazz", "Ambient", "Soul", "Folk", "Électro"};
  for (std::size_t i = 0; i < kRecords; ++i) {
    const std::size_t album = i / 12;
    const std::string n = std::to_string(i);
    auto record = std::make_shared<AudioMetadata>();
    AudioMetadata::DeferredDigest deferred(*record);
    record->setMetadataObjectValue(Object("Track " + n + " of the long evening"), "TRACKTITLE");
    record->setMetadataObjectValue(Object("Album " + std::to_string(album)), "ALBUM");
    record->setMetadataObjectValue(Object("Artist " + std::to_string(album % 997)), "TRACKARTIST");
    record->setMetadataObjectValue(Object("Various, Artists"), "ALBUMARTIST");
    ObjectList genres{Object(kGenres[i % 6])};
    if (i % 3 == 0) {
      genres.emplace_back(kGenres[(i + 1) % 6]);
    }
    record->setMetadataObjectValues(genres, "GENRE");
    record->setMetadataObjectValue(Object(std::to_string(1960 + album % 60)), "YEAR");
    record->setMetadataObjectValue(Object(std::to_string(i % 12 + 1)), "TRACKNUMBER");
    record->setMetadataObjectValue(Object("12"), "TRACKTOTAL");
    record->setMetadataObjectValue(Object("1"), "DISCNUMBER");
    record->setMetadataObjectValue(Object("1"), "DISCTOTAL");
    record->setMetadataObjectValue(Object("Composer " + std::to_string(i % 331)), "COMPOSER");
    record->setMetadataObjectValue(Object(i % 10 == 0 ? "Says \"hi\", twice" : "Ripped"),
                                   "COMMENTS");
    record->setMetadataObjectValue(Object(Number(static_cast<std::int64_t>(90 + i % 80))), "BPM");
    record->setMetadataObjectValue(Object("℗ 2001 Label"), "COPYRIGHT");
    if (i % 20 == 0) {
      record->setMetadataObjectValue(Object("First line\nSecond line"), "LYRICS");
    }
    record->setSourceLocation("/music/Album " + std::to_string(album) + "/" + n + ".flac");
    record->setSourceFileSize(Number(static_cast<std::int64_t>(20000000 + i)));
    record->setSourceLength(200.5 + static_cast<double>(i % 100));
    record->setSourceKind(std::string("FLAC"));
    record->setSourceFormat(std::string("Free Lossless Audio Codec"));
    records.push_back(std::move(record));
  }
  for (const auto& record : records) {
    record->takeOriginalDigest();
  }
  return records;
}

const std::vector<AudioMetadataPtr>& library() {
  static const std::vector<AudioMetadataPtr> records = makeLibrary();
  return records;
}

std::string exportPath(int type) {
  return (fs::temp_directory_path() / ("quorvel-bench-exchange-" + std::to_string(::getpid()) +
                                       (type == AudioMetadataExporter::kTypeCSV ? ".csv" : ".xml")))
      .string();
}

void BM_Export(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const auto& records = library();
  const std::string path = exportPath(type);
  for (auto _ : state) {
    auto exporter = AudioMetadataExporter::exporterForType(type);
    if (!exporter->exportMetadatas(records, path, false)) {
      state.SkipWithError("export failed");
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

void BM_Import(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const auto& records = library();
  const std::string path = exportPath(type);
  if (!fs::exists(path)) {
    AudioMetadataExporter::exporterForType(type)->exportMetadatas(records, path, false);
  }
  // Second argument 1: the records register their inverses with an undo
  // manager, as the application's do; 0: no undo, the cost of the import alone.
  auto manager = state.range(1) != 0 ? std::make_shared<ZRUndoManager>() : nullptr;
  for (const auto& record : records) {
    record->setUndoManager(manager);
  }
  for (auto _ : state) {
    auto dictionaries = AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(path);
    if (!dictionaries || dictionaries->size() != records.size()) {
      state.SkipWithError("the export did not read back");
      break;
    }
    AudioMetadataImporter importer;
    importer.importMetadataInUndoGroup(std::move(*dictionaries), records, true, manager.get());
    state.PauseTiming();
    if (manager) {
      manager->removeAllActions();
    }
    state.ResumeTiming();
  }
  for (const auto& record : records) {
    record->setUndoManager(nullptr);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

// The records' side alone: the dictionaries are read once, and each run
// imports a fresh copy of them (copied outside the timing).
void BM_ImportIntoRecords(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const auto& records = library();
  const std::string path = exportPath(type);
  if (!fs::exists(path)) {
    AudioMetadataExporter::exporterForType(type)->exportMetadatas(records, path, false);
  }
  const auto dictionaries = AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(path);
  if (!dictionaries) {
    state.SkipWithError("the export did not read back");
    return;
  }
  auto manager = std::make_shared<ZRUndoManager>();
  for (const auto& record : records) {
    record->setUndoManager(manager);
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<PlistDict> copy = *dictionaries;
    state.ResumeTiming();
    AudioMetadataImporter importer;
    importer.importMetadataInUndoGroup(std::move(copy), records, true, manager.get());
    state.PauseTiming();
    manager->removeAllActions();
    state.ResumeTiming();
  }
  for (const auto& record : records) {
    record->setUndoManager(nullptr);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

// Reading alone, without touching the records.
void BM_Read(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const std::string path = exportPath(type);
  if (!fs::exists(path)) {
    AudioMetadataExporter::exporterForType(type)->exportMetadatas(library(), path, false);
  }
  for (auto _ : state) {
    auto dictionaries = AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(path);
    benchmark::DoNotOptimize(dictionaries);
  }
}

constexpr int kCSV = AudioMetadataExporter::kTypeCSV;
constexpr int kXML = AudioMetadataExporter::kTypeXML;

BENCHMARK(BM_Export)->Arg(kCSV)->Arg(kXML)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read)->Arg(kCSV)->Arg(kXML)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportIntoRecords)->Arg(kCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Import)
    ->Args({kCSV, 1})
    ->Args({kCSV, 0})
    ->Args({kXML, 1})
    ->Args({kXML, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int type : {kCSV, kXML}) {
    std::error_code ec;
    fs::remove(exportPath(type), ec);
  }
  return 0;
}
