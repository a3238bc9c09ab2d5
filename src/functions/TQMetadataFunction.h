#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/MetadataFunctionInterface.h"
#include "model/AudioMetadata.h"
#include "support/Error.h"
#include "support/Value.h"

namespace quorvel {

class MetadataFunctionDelegate;

// Base of every batch function: computes new values for an ordered list of
// records, as preview values (preview mode) or as ordinary undoable edits.
// Subclasses override the operations below and hold their own settings; the
// application controller drives them through MetadataFunctionInterface.
//
// Threads: settings, affectedKeysGivenAudioMetadata and preview runs belong
// to the main thread. An apply run calls applyToAudioMetadatas(..., false,
// ...) on a worker thread while the main thread reads neither the records
// nor the function's settings (MetadataFunctionController holds the display
// back, and the function window disables its controls until the run ends).
class TQMetadataFunction : public MetadataFunctionInterface {
 public:
  TQMetadataFunction();
  ~TQMetadataFunction() override;
  TQMetadataFunction(const TQMetadataFunction&) = delete;
  TQMetadataFunction& operator=(const TQMetadataFunction&) = delete;

  // True: the function works on every record of the list in display order;
  // false: on the selected records in selection order. Main thread.
  bool applyToAll() const override { return applyToAll_; }
  void setApplyToAll(bool value) { applyToAll_ = value; }

  // The object told of progress, not owned; the controller sets itself just
  // before each apply run and clears it afterwards. Main thread.
  MetadataFunctionDelegate* delegate() const { return delegate_; }
  void setDelegate(MetadataFunctionDelegate* delegate) override { delegate_ = delegate; }

  // Whether the function changes tag values. Base: false.
  virtual bool altersMetadata() const;
  // Whether an apply run is wrapped in one undo group. Base: false.
  bool canBeUndone() const override;
  // The keys whose values the function would change for `record` at
  // `position` (its index in the list the function works on, see
  // applyToAll). The display shows preview values for these keys only.
  // Base: none. Main thread.
  std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata& record,
                                                          std::size_t position) override;
  // Runs over `records` in order: preview values in preview mode (nothing
  // reported, no error collected), real values through the record's
  // ordinary setters otherwise. Returns false, filling `error` when given,
  // only when the whole run fails; a failure of one record goes to
  // reportFailure and the run goes on. Base: false, no error. Preview on the
  // main thread; apply on the run's worker thread.
  bool applyToAudioMetadatas(const std::vector<AudioMetadataPtr>& records, bool preview,
                             Error* error) override;
  // The localised name shown to the user and given to the undo group. Base: "".
  std::string functionName() const override;

 protected:
  // Tells the delegate, if any, that `record` (index of count) is done.
  // Apply runs only: preview runs report nothing. Thread of the run.
  void reportSuccess(AudioMetadata& record, std::size_t index, std::size_t count);
  // Tells the delegate, if any, that `record` failed with `error`. Apply
  // runs only. Thread of the run.
  void reportFailure(AudioMetadata& record, std::size_t index, std::size_t count,
                     const Error& error);

  // The one write path for both modes, so a preview shows exactly what an
  // apply writes: setPreviewObjectValue in preview mode, else
  // setMetadataObjectValue (none or empty removes the key; undoable).
  static void setObjectValue(AudioMetadata& record, const Object& value, const std::string& key,
                             bool preview);
  // The list form: every value is stored (an empty list removes the key in
  // apply mode and stores an empty preview in preview mode).
  static void setObjectValues(AudioMetadata& record, const ObjectList& values,
                              const std::string& key, bool preview);

 private:
  bool applyToAll_ = false;
  MetadataFunctionDelegate* delegate_ = nullptr;
};

}  // namespace quorvel
