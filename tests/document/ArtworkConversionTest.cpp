#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "document/TQConvertArtworkWindowController.h"
#include "model/AlbumArtwork.h"
#include "model/ArtworkTestImages.h"
#include "model/AudioMetadata.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 60s;  // a safety net for waits, never a timing claim

class AlertRecorder final : public UIHost {
 public:
  int runAlert(const std::string& heading, const std::string& text,
               const std::vector<std::string>&) override {
    alerts.push_back(heading + ": " + text);
    return 1000;
  }
  std::optional<std::string> chooseFolder(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  std::vector<std::string> alerts;
};

AlbumArtworkPtr makeArtwork(int width, int height) {
  auto artwork = AlbumArtwork::albumArtworkFromData(
      test::makeImage(BitmapFileType::JPEG, width, height), "cover.jpg");
  EXPECT_TRUE(artwork);
  return artwork;
}

class ArtworkConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = UIHost::install(ui);
    auto& defaults = UserDefaults::standard();
    defaults.setInteger(1, "convertImageDimensionsType");
    defaults.setBool(true, "convertImagePreserveOriginalAspectRatio");
    defaults.setInteger(1, "convertImageDataFormat");
  }
  void TearDown() override { UIHost::install(previous_); }

  std::shared_ptr<AlertRecorder> ui = std::make_shared<AlertRecorder>();
  std::shared_ptr<UIHost> previous_;
};

TEST_F(ArtworkConversionTest, FieldsFollowUnitsProportionsAndTyping) {
  auto source = makeArtwork(1000, 800);
  ASSERT_TRUE(source);
  UserDefaults::standard().setInteger(2, "convertImageDimensionsType");
  TQConvertArtworkWindowController dialog;
  dialog.setEstimateDelay(std::chrono::hours(1));  // no estimate gets to convert here
  ASSERT_EQ(dialog.dimensionsType(), TQConvertArtworkWindowController::DimensionsPercent);
  EXPECT_TRUE(dialog.scaleProportionally());
  EXPECT_EQ(dialog.imageType(), TQConvertArtworkWindowController::ImageTypeJPEG);

  dialog.setAlbumArtwork(source);
  EXPECT_EQ(dialog.widthText(), "100");
  EXPECT_EQ(dialog.heightText(), "100");
  EXPECT_EQ(dialog.dimensionsResultText(), "Calculating...");
  // Percent: the same number in both fields.
  dialog.widthTextDidChange("50");
  EXPECT_EQ(dialog.heightText(), "50");
  EXPECT_EQ(dialog.targetSize(), std::make_pair(std::int64_t{500}, std::int64_t{400}));
  auto converted = dialog.convertedAlbumArtwork();
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->width(), 500);
  EXPECT_EQ(converted->height(), 400);
  EXPECT_EQ(converted->mimeType(), "image/jpeg");

  // To pixels and back.
  dialog.setDimensionsType(TQConvertArtworkWindowController::DimensionsPixels);
  EXPECT_EQ(dialog.widthText(), "500");
  EXPECT_EQ(dialog.heightText(), "400");
  dialog.widthTextDidChange("300");
  EXPECT_EQ(dialog.heightText(), "240");
  dialog.heightTextDidChange("400");
  EXPECT_EQ(dialog.widthText(), "500");
  dialog.setDimensionsType(TQConvertArtworkWindowController::DimensionsPercent);
  EXPECT_EQ(dialog.widthText(), "50");
  EXPECT_EQ(dialog.heightText(), "50");
  dialog.setDimensionsType(TQConvertArtworkWindowController::DimensionsPixels);

  // Digits only, five at most; the other side is never below 1.
  dialog.widthTextDidChange("12a3");
  EXPECT_EQ(dialog.widthText(), "123");
  dialog.widthTextDidChange("1234567");
  EXPECT_EQ(dialog.widthText(), "12345");
  dialog.widthTextDidChange("1");
  EXPECT_EQ(dialog.heightText(), "1");

  // An empty field stops the estimate.
  dialog.widthTextDidChange("x");
  EXPECT_EQ(dialog.widthText(), "");
  EXPECT_EQ(dialog.dimensionsResultText(), "--- x ---");
  EXPECT_EQ(dialog.dataSizeResultText(), "Not Available...");
  EXPECT_FALSE(dialog.convertedAlbumArtwork());

  // Beyond 9000 pixels nothing is estimated; within, an estimate starts.
  dialog.lockButtonPressed();
  EXPECT_FALSE(dialog.scaleProportionally());
  dialog.widthTextDidChange("12000");
  dialog.heightTextDidChange("12000");
  EXPECT_EQ(dialog.dataSizeResultText(), "Not Available...");
  dialog.widthTextDidChange("9000");
  dialog.heightTextDidChange("9000");
  EXPECT_EQ(dialog.dataSizeResultText(), "Calculating...");
  EXPECT_EQ(dialog.dimensionsResultText(), "Calculating...");
}

TEST_F(ArtworkConversionTest, NewerEstimateAbandonsAnOlderOne) {
  auto source = makeArtwork(200, 160);
  ASSERT_TRUE(source);
  TQConvertArtworkWindowController dialog;
  dialog.setEstimateDelay(0ms);
  std::vector<std::string> shown;
  dialog.setDisplayChangedHandler([&] { shown.push_back(dialog.dimensionsResultText()); });

  dialog.setAlbumArtwork(source);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return dialog.dimensionsResultText() == "200 x 160"; },
                                       kPatience));
  EXPECT_TRUE(dialog.lockButtonShowsLocked());
  const std::string& size = dialog.dataSizeResultText();
  EXPECT_NE(size.find(" (was "), std::string::npos) << size;
  EXPECT_EQ(size.back(), ')');

  // Hold the estimate for 100 x 80 after it has converted, then type again.
  std::mutex mutex;
  std::condition_variable condition;
  bool holding = false;
  bool released = false;
  bool holdNext = true;
  dialog.setEstimateHook([&] {
    std::unique_lock lock(mutex);
    if (!holdNext) {
      return;
    }
    holdNext = false;
    holding = true;
    condition.notify_all();
    condition.wait(lock, [&] { return released; });
  });
  dialog.widthTextDidChange("100");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(condition.wait_for(lock, kPatience, [&] { return holding; }));
  }
  dialog.widthTextDidChange("50");
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return dialog.dimensionsResultText() == "50 x 40"; },
                                       kPatience));

  // The held estimate finishes now and must not show its outdated size.
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  condition.notify_all();
  dialog.joinAbandonedEstimates();
  RunLoop::main().processPendingEvents();
  EXPECT_EQ(dialog.dimensionsResultText(), "50 x 40");
  for (const auto& text : shown) {
    EXPECT_NE(text, "100 x 80");
  }

  // Other controls estimate on the same thread.
  std::uint64_t generation = dialog.estimateGeneration();
  dialog.setImageType(TQConvertArtworkWindowController::ImageTypePNG);
  EXPECT_EQ(dialog.estimateGeneration(), generation + 1);
  EXPECT_EQ(dialog.dimensionsResultText(), "Calculating...");
  dialog.lockButtonPressed();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return dialog.dimensionsResultText() == "50 x 40"; },
                                       kPatience));
  EXPECT_FALSE(dialog.lockButtonShowsLocked());
}

TEST_F(ArtworkConversionTest, OkChecksLimitsAndReplacesAsOneUndoStep) {
  auto undo = std::make_shared<ZRUndoManager>();
  auto first = std::make_shared<AudioMetadata>();
  auto second = std::make_shared<AudioMetadata>();
  auto a0 = makeArtwork(20, 20);
  auto a1 = makeArtwork(100, 80);
  auto b0 = makeArtwork(30, 30);
  first->addArtwork(a0);
  first->addArtwork(a1);
  second->addArtwork(b0);
  first->setUndoManager(undo);
  second->setUndoManager(undo);
  std::vector<AudioMetadataPtr> selected = {first, second};

  EXPECT_EQ(TQConvertArtworkWindowController::artworkToConvert(selected, 1), a1);
  EXPECT_FALSE(TQConvertArtworkWindowController::artworkToConvert(selected, 2));
  EXPECT_FALSE(TQConvertArtworkWindowController::artworkToConvert({}, 0));

  TQConvertArtworkWindowController dialog;
  dialog.setEstimateDelay(std::chrono::hours(1));
  std::vector<AlbumArtworkPtr> handed;
  dialog.setReplaceArtworkHandler([&](const AlbumArtworkPtr& artwork) {
    handed.push_back(artwork);
    TQConvertArtworkWindowController::replaceDisplayedArtworkWithArtwork(selected, 1, artwork,
                                                                         undo);
  });
  dialog.setAlbumArtwork(a1);
  dialog.setScaleProportionally(false);

  dialog.widthTextDidChange("40000");
  dialog.heightTextDidChange("100");
  EXPECT_FALSE(dialog.okButtonPressed());
  dialog.widthTextDidChange("0");
  EXPECT_FALSE(dialog.okButtonPressed());
  EXPECT_EQ(ui->alerts,
            (std::vector<std::string>{"Too Big: Artwork size of 40000 x 100 is too big!",
                                      "Too Small: Artwork size of 0 x 100 is too small!"}));
  EXPECT_TRUE(handed.empty());

  // Too large to estimate, yet allowed.
  dialog.widthTextDidChange("9001");
  dialog.heightTextDidChange("10");
  EXPECT_EQ(dialog.dataSizeResultText(), "Not Available...");
  dialog.setImageType(TQConvertArtworkWindowController::ImageTypePNG);
  EXPECT_TRUE(dialog.okButtonPressed());
  ASSERT_EQ(handed.size(), 1u);
  EXPECT_EQ(handed[0]->width(), 9001);
  EXPECT_EQ(handed[0]->height(), 10);
  EXPECT_EQ(handed[0]->mimeType(), "image/png");
  EXPECT_EQ(handed[0]->artworkType(), a1->artworkType());

  // Only the record with a second artwork changed, in one named step.
  ASSERT_EQ(first->artworks().size(), 2u);
  EXPECT_EQ(first->artworks()[0], a0);
  EXPECT_EQ(first->artworks()[1], handed[0]);
  ASSERT_EQ(second->artworks().size(), 1u);
  EXPECT_EQ(second->artworks()[0], b0);
  EXPECT_EQ(undo->numberOfUndoActions(), 1u);
  EXPECT_EQ(undo->undoActionName(), "Replace Artwork");
  undo->undo();
  EXPECT_EQ(first->artworks()[1], a1);

  // Nothing to replace leaves no step behind and keeps the earlier name.
  undo->redo();
  EXPECT_EQ(TQConvertArtworkWindowController::replaceDisplayedArtworkWithArtwork({second}, 3,
                                                                                 handed[0], undo),
            0u);
  EXPECT_EQ(undo->numberOfUndoActions(), 1u);
  EXPECT_EQ(undo->undoActionName(), "Replace Artwork");
}

}  // namespace
}  // namespace quorvel
