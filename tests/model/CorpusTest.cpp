// Real files of every kind, many of them broken on purpose (segfault.*,
// infloop.*, excessive_alloc.*, zerodiv.*, garbage.mp3): each must come back
// as a record or as a reason why not, in bounded time, without a crash or a
// sanitizer report.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

constexpr auto kTimeLimit = std::chrono::seconds(10);

struct Outcome {
  std::shared_ptr<AudioMetadata> record;
  std::string error;
};

TEST(Corpus, EveryFileIsReadOrRefusedWithAReason) {
  const fs::path base = test::corpusDir();
  if (base.empty() || !fs::is_directory(base / "taglib")) {
    GTEST_SKIP() << "the shared sample corpus (../shared/corpus/taglib) is not there";
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(base / "taglib")) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());

  std::size_t read = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    // Read on a thread of its own so that a file that never ends is named
    // instead of hanging the suite. Such a thread cannot be stopped: it is
    // left behind and the run ends here.
    std::promise<Outcome> promise;
    auto future = promise.get_future();
    std::thread worker(
        [path = path.string()](std::promise<Outcome> result) {
          Outcome outcome;
          Error error;
          outcome.record = AudioFileReader::metadataFromFile(path, &error);
          outcome.error = error.localizedDescription;
          result.set_value(std::move(outcome));
        },
        std::move(promise));
    if (future.wait_for(kTimeLimit) == std::future_status::timeout) {
      worker.detach();
      FAIL() << path << " was still being read after " << kTimeLimit.count() << " s";
    }
    worker.join();
    const Outcome outcome = future.get();
    if (!outcome.record) {
      EXPECT_FALSE(outcome.error.empty()) << "refused without a reason";
      continue;
    }
    ++read;
    const AudioMetadata& record = *outcome.record;
    EXPECT_EQ(record.sourceLocation(), path.string());
    EXPECT_FALSE(record.metadataNeedsSaving());
    // Whatever a broken file claims, the numbers stay sane.
    if (record.sourceLength()) {
      EXPECT_GE(*record.sourceLength(), 0.0);
    }
    if (record.sourceSampleRate()) {
      EXPECT_GE(record.sourceSampleRate()->int64Value(), 0);
    }
  }
  // Most of the corpus is readable; a handful of files is broken beyond use.
  EXPECT_GT(read, files.size() / 2);
}

}  // namespace
}  // namespace quorvel
