#include "document/TQConvertArtworkWindowController.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "document/FileSizeFormatter.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/Localization.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

std::string localized(const std::string& text) { return localizedString(text, ""); }

std::int64_t fieldValue(const std::string& text) {
  std::int64_t value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');  // digits only, at most 5 of them
  }
  return value;
}

std::string digitsOnly(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9' && digits.size() < TQConvertArtworkWindowController::kMaxFieldLength) {
      digits.push_back(c);
    }
  }
  return digits;
}

bool estimable(std::int64_t side) {
  return side >= 1 && side <= TQConvertArtworkWindowController::kMaxEstimatedSide;
}

}  // namespace

// What queued main-thread calls and workers share with the dialog. `owner`
// is the main thread's alone and is cleared when the dialog goes.
struct TQConvertArtworkWindowController::Shared {
  std::atomic<std::uint64_t> generation{0};
  TQConvertArtworkWindowController* owner = nullptr;
};

// One worker thread with its own queue of estimates. Cancelling wakes a
// waiting estimate and ends the thread after the job in progress.
class TQConvertArtworkWindowController::EstimateThread {
 public:
  using Job = std::function<void(EstimateThread&)>;

  EstimateThread() : thread_([this] { run(); }) {}
  ~EstimateThread() {
    cancel();
    thread_.join();
  }
  EstimateThread(const EstimateThread&) = delete;
  EstimateThread& operator=(const EstimateThread&) = delete;

  void enqueue(Job job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    condition_.notify_all();
  }
  void cancel() {
    {
      std::lock_guard lock(mutex_);
      cancelled_ = true;
      jobs_.clear();
    }
    condition_.notify_all();
  }
  bool isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }
  // Waits `delay`; false when the thread was cancelled meanwhile.
  bool sleepFor(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    condition_.wait_for(lock, delay, [this] { return cancelled_; });
    return !cancelled_;
  }
  bool hasFinished() const { return finished_.load(); }

 private:
  void run() {
    for (;;) {
      Job job;
      {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, [this] { return cancelled_ || !jobs_.empty(); });
        if (cancelled_) {
          break;
        }
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job(*this);
    }
    finished_.store(true);
  }

  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<Job> jobs_;
  bool cancelled_ = false;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: starts once the members above exist
};

TQConvertArtworkWindowController::TQConvertArtworkWindowController()
    : shared_(std::make_shared<Shared>()), thread_(std::make_shared<EstimateThread>()) {
  shared_->owner = this;
  const UserDefaults& defaults = UserDefaults::standard();
  dimensionsType_ = defaults.integerForKey("convertImageDimensionsType") == DimensionsPercent
                        ? DimensionsPercent
                        : DimensionsPixels;
  scaleProportionally_ = defaults.boolForKey("convertImagePreserveOriginalAspectRatio");
  lockShowsLocked_ = scaleProportionally_;
  // The batch conversion's setting: 0 own format, 2 PNG, anything else JPEG.
  std::int64_t format = defaults.integerForKey("convertImageDataFormat");
  imageType_ = format == 0 ? ImageTypeSource : format == 2 ? ImageTypePNG : ImageTypeJPEG;
  if (defaults.objectForKey("convertImageQuality")) {
    quality_ =
        std::clamp(static_cast<float>(defaults.floatForKey("convertImageQuality")), 0.0f, 1.0f);
  }
}

TQConvertArtworkWindowController::~TQConvertArtworkWindowController() {
  shared_->owner = nullptr;
  shared_->generation.fetch_add(1);
  thread_->cancel();
  thread_.reset();   // joins its thread
  retired_.clear();  // and these theirs
}

std::uint64_t TQConvertArtworkWindowController::estimateGeneration() const {
  return shared_->generation.load();
}

// --- Application controller side ------------------------------------------------------

AlbumArtworkPtr TQConvertArtworkWindowController::artworkToConvert(
    const std::vector<AudioMetadataPtr>& selected, std::size_t displayedIndex) {
  if (selected.empty() || !selected.front()) {
    return nullptr;
  }
  const auto& artworks = selected.front()->artworks();
  return displayedIndex < artworks.size() ? artworks[displayedIndex] : nullptr;
}

std::size_t TQConvertArtworkWindowController::replaceDisplayedArtworkWithArtwork(
    const std::vector<AudioMetadataPtr>& selected, std::size_t displayedIndex,
    const AlbumArtworkPtr& artwork, const std::shared_ptr<ZRUndoManager>& undoManager) {
  if (!artwork) {
    return 0;
  }
  if (undoManager) {
    undoManager->beginUndoGrouping();
  }
  std::size_t replaced = 0;
  for (const auto& record : selected) {
    if (!record || displayedIndex >= record->artworks().size()) {
      continue;
    }
    AlbumArtworkPtr old = record->artworks()[displayedIndex];
    record->replaceArtwork(old, artwork);
    ++replaced;
  }
  if (undoManager) {
    // Named while still open: an empty group is dropped at its end, and the
    // name must not land on the step before it.
    undoManager->setActionName(localized("Replace Artwork"));
    undoManager->endUndoGrouping();
  }
  return replaced;
}

// --- Source and target ---------------------------------------------------------------

void TQConvertArtworkWindowController::setAlbumArtwork(const AlbumArtworkPtr& artwork) {
  source_ = artwork;
  // The workers read a copy of their own, so the record's artwork is never
  // read off the main thread.
  sourceCopy_ = artwork ? std::make_shared<AlbumArtwork>(*artwork) : nullptr;
  resizer_.setAlbumArtwork(sourceCopy_);
  if (dimensionsType_ == DimensionsPercent) {
    widthText_ = "100";
    heightText_ = "100";
  } else {
    widthText_ = std::to_string(sourceWidth());
    heightText_ = std::to_string(sourceHeight());
  }
  startEstimate(false);
}

std::int64_t TQConvertArtworkWindowController::sourceWidth() const {
  return sourceCopy_ ? sourceCopy_->width() : 0;
}

std::int64_t TQConvertArtworkWindowController::sourceHeight() const {
  return sourceCopy_ ? sourceCopy_->height() : 0;
}

std::pair<std::int64_t, std::int64_t> TQConvertArtworkWindowController::targetSize() const {
  std::int64_t width = fieldValue(widthText_);
  std::int64_t height = fieldValue(heightText_);
  if (dimensionsType_ == DimensionsPercent) {
    // Integer arithmetic: 29 % of 100 must be 29, not 28.999...
    width = width * sourceWidth() / 100;
    height = height * sourceHeight() / 100;
  }
  return {width, height};
}

BitmapFileType TQConvertArtworkWindowController::outputFormat() const {
  switch (imageType_) {
    case ImageTypeJPEG:
      return BitmapFileType::JPEG;
    case ImageTypePNG:
      return BitmapFileType::PNG;
    default:
      return sourceCopy_ ? sourceCopy_->imageFileType() : BitmapFileType::JPEG;
  }
}

AlbumArtworkPtr TQConvertArtworkWindowController::convertedAlbumArtwork() const {
  auto [width, height] = targetSize();
  if (!sourceCopy_ || width < 1 || height < 1) {
    return nullptr;
  }
  return resizer_.resizedAlbumArtworkWithSize(width, height, outputFormat(), quality_);
}

// --- Controls ----------------------------------------------------------------------------

void TQConvertArtworkWindowController::setDimensionsType(int type) {
  type = type == DimensionsPercent ? DimensionsPercent : DimensionsPixels;
  if (type == dimensionsType_) {
    return;
  }
  auto convert = [&](std::string& text, std::int64_t sourceSide) {
    if (text.empty() || sourceSide <= 0) {
      return;
    }
    std::int64_t value = fieldValue(text);
    value = type == DimensionsPixels ? value * sourceSide / 100 : value * 100 / sourceSide;
    text = std::to_string(value);
  };
  dimensionsType_ = type;
  convert(widthText_, sourceWidth());
  convert(heightText_, sourceHeight());
  startEstimate(false);
}

void TQConvertArtworkWindowController::widthTextDidChange(const std::string& text) {
  fieldDidChange(true, text);
}

void TQConvertArtworkWindowController::heightTextDidChange(const std::string& text) {
  fieldDidChange(false, text);
}

void TQConvertArtworkWindowController::fieldDidChange(bool widthEdited, const std::string& text) {
  std::string& edited = widthEdited ? widthText_ : heightText_;
  edited = digitsOnly(text);
  if (edited.empty()) {
    cancelEstimates();
    showNotAvailable();
    return;
  }
  std::int64_t sourceW = sourceWidth();
  std::int64_t sourceH = sourceHeight();
  if (scaleProportionally_ && sourceW > 0 && sourceH > 0) {
    std::int64_t value = fieldValue(edited);
    std::int64_t other = value;
    if (dimensionsType_ == DimensionsPixels) {
      other = widthEdited ? value * sourceH / sourceW : value * sourceW / sourceH;
    }
    (widthEdited ? heightText_ : widthText_) = std::to_string(std::max<std::int64_t>(1, other));
  }
  startEstimate(true);
}

void TQConvertArtworkWindowController::setScaleProportionally(bool value) {
  scaleProportionally_ = value;
  startEstimate(false);
}

void TQConvertArtworkWindowController::lockButtonPressed() {
  setScaleProportionally(!scaleProportionally_);
}

void TQConvertArtworkWindowController::setImageType(int tag) {
  imageType_ = tag == ImageTypeJPEG || tag == ImageTypePNG ? tag : ImageTypeSource;
  startEstimate(false);
}

void TQConvertArtworkWindowController::setQuality(float value) {
  quality_ = std::clamp(value, 0.0f, 1.0f);
  startEstimate(false);
}

// --- Estimates ---------------------------------------------------------------------------

void TQConvertArtworkWindowController::cancelEstimates() {
  shared_->generation.fetch_add(1);
  thread_->cancel();
  retired_.push_back(std::move(thread_));
  thread_ = std::make_shared<EstimateThread>();
  reapThreads();
}

void TQConvertArtworkWindowController::reapThreads() {
  std::erase_if(retired_, [](const auto& thread) { return thread->hasFinished(); });
}

void TQConvertArtworkWindowController::showNotAvailable() {
  dimensionsResult_ = localized("--- x ---");
  dataSizeResult_ = localized("Not Available...");
  displayChanged();
}

void TQConvertArtworkWindowController::displayChanged() {
  if (displayChanged_) {
    displayChanged_();
  }
}

void TQConvertArtworkWindowController::startEstimate(bool replaceThread) {
  if (replaceThread) {
    cancelEstimates();
  }
  std::uint64_t generation = shared_->generation.fetch_add(1) + 1;
  auto [width, height] = targetSize();
  if (!sourceCopy_ || !estimable(width) || !estimable(height)) {
    showNotAvailable();
    return;
  }
  dimensionsResult_ = localized("Calculating...");
  dataSizeResult_ = localized("Calculating...");
  displayChanged();

  std::weak_ptr<Shared> weakShared = shared_;
  std::shared_ptr<Shared> shared = shared_;
  thread_->enqueue([resizer = resizer_, width = width, height = height, format = outputFormat(),
                    quality = quality_, sourceBytes = sourceCopy_->dataSize(),
                    delay = estimateDelay_, hook = estimateHook_, generation, shared,
                    weakShared](EstimateThread& thread) {
    auto stale = [&] { return thread.isCancelled() || shared->generation.load() != generation; };
    if (!thread.sleepFor(delay) || stale()) {
      return;
    }
    AlbumArtworkPtr converted = resizer.resizedAlbumArtworkWithSize(width, height, format, quality);
    if (hook) {
      hook();
    }
    if (stale()) {
      return;
    }
    std::int64_t convertedWidth = converted ? converted->width() : 0;
    std::int64_t convertedHeight = converted ? converted->height() : 0;
    std::size_t convertedBytes = converted ? converted->dataSize() : 0;
    bool ok = converted != nullptr;
    RunLoop::main().perform(
        [weakShared, generation, ok, convertedWidth, convertedHeight, convertedBytes, sourceBytes] {
          auto state = weakShared.lock();
          if (!state || !state->owner || state->generation.load() != generation) {
            return;
          }
          TQConvertArtworkWindowController& self = *state->owner;
          if (!ok) {
            self.showNotAvailable();
            return;
          }
          FileSizeFormatter sizes;
          self.dimensionsResult_ =
              stringWithFormat(localized("%ld x %ld"),
                               {std::to_string(convertedWidth), std::to_string(convertedHeight)});
          self.dataSizeResult_ = stringWithFormat(
              localized("%@ (was %@)"),
              {sizes.stringForObjectValue(Object(static_cast<std::int64_t>(convertedBytes))),
               sizes.stringForObjectValue(Object(static_cast<std::int64_t>(sourceBytes)))});
          self.lockShowsLocked_ = self.scaleProportionally_;
          self.displayChanged();
        },
        false);
  });
}

// --- OK and Cancel -----------------------------------------------------------------------

bool TQConvertArtworkWindowController::okButtonPressed() {
  auto [width, height] = targetSize();
  std::vector<std::string> size = {std::to_string(width), std::to_string(height)};
  if (width < 1 || height < 1) {
    UIHost::current()->runAlert(
        localized("Too Small"),
        stringWithFormat(localized("Artwork size of %ld x %ld is too small!"), {size[0], size[1]}),
        {localized("OK")});
    return false;
  }
  if (width > kMaxSide || height > kMaxSide) {
    UIHost::current()->runAlert(
        localized("Too Big"),
        stringWithFormat(localized("Artwork size of %ld x %ld is too big!"), {size[0], size[1]}),
        {localized("OK")});
    return false;
  }
  cancelEstimates();
  if (AlbumArtworkPtr converted = convertedAlbumArtwork(); converted && replaceHandler_) {
    replaceHandler_(converted);
  }
  return true;
}

void TQConvertArtworkWindowController::cancelButtonPressed() { cancelEstimates(); }

}  // namespace quorvel
