#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/AlbumArtwork.h"
#include "model/AlbumArtworkResizer.h"
#include "model/AudioMetadata.h"

namespace quorvel {

class ZRUndoManager;

// The Convert Artwork sheet without its window ("TQConvertArtworkWindow"):
// a new pixel size (pixels or percent, optionally keeping the proportions),
// an image format and a JPEG quality for the artwork shown in the editor,
// the resulting size and byte count estimated in the background, and on OK
// the converted artwork handed to the application controller, which puts it
// in place of the displayed artwork of every selected record.
//
// The desktop sheet mirrors the texts and states below, forwards its
// controls' actions, and redraws when the display-changed handler is called.
//
// Threads: every method belongs to the main thread. Estimates run on a
// worker thread of the dialog, one after another; each request raises a
// generation counter, and an estimate whose generation is no longer the
// latest (or whose thread was cancelled) stops before converting and again
// before showing its result. A typed size replaces the worker thread, so a
// slow estimate for an outdated size is abandoned rather than waited for.
// Workers use a private copy of the source artwork and never touch records.
// Destruction cancels every estimate and joins the threads.
class TQConvertArtworkWindowController {
 public:
  static constexpr int DimensionsPixels = 1;
  static constexpr int DimensionsPercent = 2;
  // Tags of the image-type pop-up.
  static constexpr int ImageTypeSource = 0;
  static constexpr int ImageTypeJPEG = 1;
  static constexpr int ImageTypePNG = 2;
  // Largest side estimated in the background, and largest side accepted by OK.
  static constexpr std::int64_t kMaxEstimatedSide = 9000;
  static constexpr std::int64_t kMaxSide = 32000;
  // Characters kept in a size field.
  static constexpr std::size_t kMaxFieldLength = 5;
  // Wait before an estimate starts, so typing doesn't start one per key.
  static constexpr std::chrono::milliseconds kEstimateDelay{750};

  // Loads the window's state: dimensionsType from "convertImageDimensionsType"
  // (2 percent, anything else pixels); the check box, image type and quality
  // start from the artwork conversion settings
  // ("convertImagePreserveOriginalAspectRatio", "convertImageDataFormat",
  // "convertImageQuality").
  TQConvertArtworkWindowController();
  ~TQConvertArtworkWindowController();
  TQConvertArtworkWindowController(const TQConvertArtworkWindowController&) = delete;
  TQConvertArtworkWindowController& operator=(const TQConvertArtworkWindowController&) = delete;

  // --- For the application controller -----------------------------------------

  // The artwork Convert Artwork works on: the first selected record's artwork
  // at `displayedIndex`; null when nothing is selected or it has none there.
  static AlbumArtworkPtr artworkToConvert(const std::vector<AudioMetadataPtr>& selected,
                                          std::size_t displayedIndex);
  // Puts `artwork` in place of each record's artwork at `displayedIndex`
  // (replaceArtwork), inside one undo group named "Replace Artwork"; a
  // record without an artwork there is left alone. Returns the number of
  // records changed. The caller then applies "saveAfterChange" and refreshes
  // the editor. Main thread.
  static std::size_t replaceDisplayedArtworkWithArtwork(
      const std::vector<AudioMetadataPtr>& selected, std::size_t displayedIndex,
      const AlbumArtworkPtr& artwork, const std::shared_ptr<ZRUndoManager>& undoManager);

  // Called by OK with the converted artwork (the application controller's
  // replaceDisplayedArtworkWithArtwork:).
  void setReplaceArtworkHandler(std::function<void(const AlbumArtworkPtr&)> handler) {
    replaceHandler_ = std::move(handler);
  }
  // Called after any text or state below changed.
  void setDisplayChangedHandler(std::function<void()> handler) {
    displayChanged_ = std::move(handler);
  }

  // --- The sheet ------------------------------------------------------------------

  // Gives the artwork to the resizer (a private copy) and fills the fields
  // with its width and height (pixels) or 100 and 100 (percent); starts an
  // estimate.
  void setAlbumArtwork(const AlbumArtworkPtr& artwork);
  // The artwork as given.
  const AlbumArtworkPtr& albumArtwork() const { return source_; }
  // The source converted to the target size, format and quality; null when
  // there is no decodable source, a side is below 1, or conversion fails.
  // Converts on the calling thread.
  AlbumArtworkPtr convertedAlbumArtwork() const;
  // The target size: the fields in pixels, or field x 0.01 x the source's
  // side in percent (whole pixels, rounded down).
  std::pair<std::int64_t, std::int64_t> targetSize() const;

  int dimensionsType() const { return dimensionsType_; }
  // The dimensions pop-up: converts the fields to the new unit (whole
  // numbers) and starts an estimate.
  void setDimensionsType(int type);

  const std::string& widthText() const { return widthText_; }
  const std::string& heightText() const { return heightText_; }
  // Typing in a size field: keeps decimal digits only, at most 5; with
  // scale proportionally on, sets the other field; an empty field stops the
  // estimate; otherwise a new worker thread estimates a size of 1 to 9000
  // pixels a side, and larger or smaller sizes show "Not Available...".
  void widthTextDidChange(const std::string& text);
  void heightTextDidChange(const std::string& text);

  bool scaleProportionally() const { return scaleProportionally_; }
  // The check box; starts an estimate.
  void setScaleProportionally(bool value);
  // The lock button toggles the check box; starts an estimate.
  void lockButtonPressed();
  int imageType() const { return imageType_; }
  // The image-type pop-up (tag 0 source format, 1 JPEG, 2 PNG); starts an estimate.
  void setImageType(int tag);
  float quality() const { return quality_; }
  // The quality slider (JPEG compression factor, clamped to 0..1); starts an estimate.
  void setQuality(float value);

  // The two result fields and the lock button's image.
  const std::string& dimensionsResultText() const { return dimensionsResult_; }
  const std::string& dataSizeResultText() const { return dataSizeResult_; }
  bool lockButtonShowsLocked() const { return lockShowsLocked_; }

  // OK. A side below 1 or above 32000 shows the alert "Too Small" or "Too
  // Big" and returns false (the sheet stays). Otherwise converts, hands a
  // converted artwork to the replace handler, stops the estimates and
  // returns true (the sheet closes).
  bool okButtonPressed();
  // Cancel: stops the estimates; the sheet closes without changes.
  void cancelButtonPressed();

  // --- Tests ------------------------------------------------------------------------

  // Replaces kEstimateDelay.
  void setEstimateDelay(std::chrono::milliseconds delay) { estimateDelay_ = delay; }
  // Called on the worker after each conversion, before the result is checked
  // for staleness (lets a test hold an estimate back).
  void setEstimateHook(std::function<void()> hook) { estimateHook_ = std::move(hook); }
  // Estimates started so far (the generation counter).
  std::uint64_t estimateGeneration() const;
  // Waits for the threads replaced by typing to end; whatever they queued
  // for the main thread is queued by then.
  void joinAbandonedEstimates() { retired_.clear(); }

 private:
  class EstimateThread;
  struct Shared;

  void fieldDidChange(bool widthEdited, const std::string& text);
  // Raises the generation; with `replaceThread` the worker is cancelled and
  // a new one made; then estimates when the target is in range.
  void startEstimate(bool replaceThread);
  void cancelEstimates();
  void showNotAvailable();
  void displayChanged();
  std::int64_t sourceWidth() const;
  std::int64_t sourceHeight() const;
  BitmapFileType outputFormat() const;
  void reapThreads();

  AlbumArtworkPtr source_;
  AlbumArtworkPtr sourceCopy_;  // what the resizer and the workers read
  AlbumArtworkResizer resizer_;
  int dimensionsType_ = DimensionsPixels;
  std::string widthText_;
  std::string heightText_;
  bool scaleProportionally_ = true;
  int imageType_ = ImageTypeJPEG;
  float quality_ = 0.85f;
  std::string dimensionsResult_;
  std::string dataSizeResult_;
  bool lockShowsLocked_ = true;

  std::function<void(const AlbumArtworkPtr&)> replaceHandler_;
  std::function<void()> displayChanged_;
  std::chrono::milliseconds estimateDelay_ = kEstimateDelay;
  std::function<void()> estimateHook_;

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<EstimateThread> thread_;
  std::vector<std::shared_ptr<EstimateThread>> retired_;
};

}  // namespace quorvel
