// Preview refresh over a large list: a cheap batch function (upper-cases the
// title) run in preview mode over 20,000 records, then the merged values of
// the selection for the editor panel, as MetadataFunctionController does
// after every settings or selection change. Also the merge alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "document/MetadataFunctionController.h"
#include "document/MetadataFunctionHost.h"
#include "functions/TQMetadataFunction.h"
#include "model/AudioMetadata.h"
#include "model/MetadataValue.h"
#include "platform/ZRUndoManager.h"
#include "support/Text.h"

namespace {

using namespace quorvel;

constexpr int kRecords = 20000;

AudioMetadataPtr typicalRecord(int i) {
  auto record = std::make_shared<AudioMetadata>();
  AudioMetadata::DeferredDigest deferred(*record);
  auto put = [&](const char* key, Object value) {
    record->setMetadataValue(
        std::make_shared<MetadataValue>(key, std::move(value), MetadataValue::TypeVorbis), key);
  };
  put("ALBUM", "Kind of Blue (Legacy Edition) " + std::to_string(i / 12));
  put("ALBUMARTIST", "Miles Davis");
  put("TRACKARTIST", "Miles Davis");
  put("TRACKTITLE", "So What " + std::to_string(i));
  put("GENRE", "Jazz");
  put("YEAR", Number(1959));
  put("TRACKNUMBER", Number(i % 12 + 1));
  put("TRACKTOTAL", Number(12));
  put("DISCNUMBER", "1");
  put("COMPOSER", "Miles Davis");
  put("COMMENT", "Remastered");
  put("MUSICBRAINZ_TRACKID", "0b3a4c8e-1f2d-4e5a-9b6c-7d8e9f0a1b2c");
  record->setSourceLocation("/music/Miles Davis/Kind of Blue/" + std::to_string(i) + ".flac");
  record->takeOriginalDigest();
  return record;
}

class UppercaseTitle final : public TQMetadataFunction {
 public:
  std::string functionName() const override { return "Uppercase Title"; }
  std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata&,
                                                          std::size_t) override {
    return {"TRACKTITLE"};
  }
  bool applyToAudioMetadatas(const std::vector<AudioMetadataPtr>& records, bool preview,
                             Error*) override {
    for (const auto& record : records) {
      auto title = record->metadataObjectValueForKey("TRACKTITLE").stringValue();
      setObjectValue(*record, title ? Object(uppercaseString(*title)) : Object(), "TRACKTITLE",
                     preview);
    }
    return true;
  }
};

class Host final : public MetadataFunctionHost {
 public:
  std::vector<AudioMetadataPtr> metadatasInDisplayOrder() const override { return records; }
  std::vector<AudioMetadataPtr> selectedMetadatas() const override { return selection; }
  std::shared_ptr<ZRUndoManager> undoManager() const override { return nullptr; }
  void save() override {}
  void closeAllAuxillaryWindows() override {}
  std::vector<AudioMetadataPtr> records;
  std::vector<AudioMetadataPtr> selection;
};

const std::vector<AudioMetadataPtr>& library() {
  static const std::vector<AudioMetadataPtr> records = [] {
    std::vector<AudioMetadataPtr> list;
    for (int i = 0; i < kRecords; ++i) {
      list.push_back(typicalRecord(i));
    }
    return list;
  }();
  return records;
}

// Arguments: apply to all (1) or to the selection (0); records selected.
void BM_PreviewRefresh(benchmark::State& state) {
  Host host;
  host.records = library();
  auto selected = static_cast<std::size_t>(state.range(1));
  host.selection.assign(host.records.begin(), host.records.begin() + selected);
  MetadataFunctionController controller(host);
  auto function = std::make_shared<UppercaseTitle>();
  function->setApplyToAll(state.range(0) == 1);
  controller.setCurrentMetadataFunction(function);
  controller.setPreviewMode(true);
  for (auto _ : state) {
    controller.updatePreview();
    benchmark::DoNotOptimize(controller.selectionValues().values.size());
  }
  state.counters["records"] = static_cast<double>(host.records.size());
}
BENCHMARK(BM_PreviewRefresh)
    ->ArgNames({"all", "selected"})
    ->Args({1, 1})
    ->Args({1, 20})
    ->Args({1, kRecords})
    ->Args({0, kRecords})
    ->Unit(benchmark::kMillisecond);

// The editor's merge alone over a selection, preview off.
void BM_MergedValues(benchmark::State& state) {
  const auto& records = library();
  std::vector<AudioMetadataPtr> selection(records.begin(), records.begin() + state.range(0));
  std::vector<std::size_t> positions(selection.size());
  for (auto _ : state) {
    auto merged = MetadataFunctionController::mergedValues(selection, positions, nullptr, false);
    benchmark::DoNotOptimize(merged.values.size());
  }
}
BENCHMARK(BM_MergedValues)->Arg(20)->Arg(kRecords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
