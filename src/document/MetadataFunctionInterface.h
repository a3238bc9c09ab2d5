#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Error.h"

namespace quorvel {

class AudioMetadata;
class MetadataFunctionDelegate;

// A batch function as the application controller drives it: the controller
// holds the current one, runs it in preview mode for the display and applies
// it on a worker thread. The function layer's base class implements this, so
// the controller needs nothing from the layers above it.
class MetadataFunctionInterface {
 public:
  virtual ~MetadataFunctionInterface() = default;

  // The localised name shown to the user; names the undo step of a run.
  virtual std::string functionName() const = 0;
  // True: works on every record of the list in display order; false: on the
  // selected records in selection order.
  virtual bool applyToAll() const = 0;
  // Whether an apply run is wrapped in one undo group.
  virtual bool canBeUndone() const = 0;
  // The keys whose values the function would change for `record` at
  // `position` (its index in the list the function works on). Main thread.
  virtual std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata& record,
                                                                  std::size_t position) = 0;
  // Runs over `records` in order: preview values when `preview`, real
  // (undoable) values otherwise. False, filling `error` when given, only when
  // the whole run fails. Preview on the main thread; apply on a worker.
  virtual bool applyToAudioMetadatas(const std::vector<std::shared_ptr<AudioMetadata>>& records,
                                     bool preview, Error* error) = 0;
  // The object told of progress (not owned); set before each apply run.
  virtual void setDelegate(MetadataFunctionDelegate* delegate) = 0;
  // Functions that write artwork files answer how many they wrote in the
  // last run; the controller then tells the user. Others: none.
  virtual std::optional<std::size_t> albumArtworksExtractedCount() const { return std::nullopt; }
};

}  // namespace quorvel
