// Cost of the metadata record at the sizes the file list reaches: the digest
// of one record, loading 20,000 records, and one edit across 20,000 selected
// records inside one undo group. Also reports the record's footprint.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

#include "model/AudioMetadata.h"
#include "platform/ZRUndoManager.h"

namespace {

using quorvel::AudioMetadata;
using quorvel::MetadataValue;
using quorvel::Number;
using quorvel::Object;
using quorvel::ObjectList;

// A record as a typical tagged album track reads: 12 keys, three of them numbers.
std::shared_ptr<AudioMetadata> typicalRecord(int i) {
  auto record = std::make_shared<AudioMetadata>();
  // As the readers fill a record: one digest at the end, not one per key.
  AudioMetadata::DeferredDigest deferred(*record);
  auto put = [&](const char* key, Object value) {
    record->setMetadataValue(
        std::make_shared<MetadataValue>(key, std::move(value), MetadataValue::TypeVorbis), key);
  };
  put("ALBUM", "Kind of Blue (Legacy Edition)");
  put("ALBUMARTIST", "Miles Davis");
  put("TRACKARTIST", "Miles Davis");
  put("TRACKTITLE", "So What " + std::to_string(i));
  put("GENRE", "Jazz");
  put("YEAR", Number(1959));
  put("TRACKNUMBER", Number(i % 20 + 1));
  put("TRACKTOTAL", Number(20));
  put("DISCNUMBER", "1");
  put("COMPOSER", "Miles Davis");
  put("COMMENT", "Remastered");
  put("MUSICBRAINZ_TRACKID", "0b3a4c8e-1f2d-4e5a-9b6c-7d8e9f0a1b2c");
  record->setSourceLocation("/music/Miles Davis/Kind of Blue/" + std::to_string(i) + ".flac");
  record->setSourceKind("FLAC");
  record->takeOriginalDigest();
  return record;
}

void BM_Digest(benchmark::State& state) {
  auto record = typicalRecord(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(record->calculateMD5());
  }
}
BENCHMARK(BM_Digest);

void BM_Load20000(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::shared_ptr<AudioMetadata>> records;
    records.reserve(20000);
    for (int i = 0; i < 20000; ++i) {
      records.push_back(typicalRecord(i));
    }
    benchmark::DoNotOptimize(records.data());
  }
}
BENCHMARK(BM_Load20000)->Unit(benchmark::kMillisecond);

void BM_Edit20000InOneGroup(benchmark::State& state) {
  auto undo = std::make_shared<quorvel::ZRUndoManager>();
  undo->setGroupsByEvent(false);
  std::vector<std::shared_ptr<AudioMetadata>> records;
  for (int i = 0; i < 20000; ++i) {
    records.push_back(typicalRecord(i));
    records.back()->setUndoManager(undo);
  }
  int round = 0;
  for (auto _ : state) {
    const Object value("Album " + std::to_string(++round));
    undo->beginUndoGrouping();
    for (const auto& record : records) {
      record->setMetadataObjectValue(value, "ALBUM");
    }
    undo->endUndoGrouping();
  }
  state.counters["needsSaving"] = records.front()->metadataNeedsSaving();
}
BENCHMARK(BM_Edit20000InOneGroup)->Unit(benchmark::kMillisecond);

void BM_Footprint(benchmark::State& state) {
  constexpr int kCount = 10000;
  for (auto _ : state) {
    std::vector<std::shared_ptr<AudioMetadata>> records;
    records.reserve(kCount);
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < kCount; ++i) {
      records.push_back(typicalRecord(i));
    }
    const std::size_t after = mallinfo2().uordblks;
    state.counters["heapBytesPerRecord"] =
        static_cast<double>(after - before) / static_cast<double>(kCount);
  }
  state.counters["sizeofAudioMetadata"] = sizeof(AudioMetadata);
  state.counters["sizeofMetadataValue"] = sizeof(MetadataValue);
  state.counters["sizeofObject"] = sizeof(Object);
}
BENCHMARK(BM_Footprint)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
