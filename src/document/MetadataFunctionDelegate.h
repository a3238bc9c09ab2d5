#pragma once

#include <cstddef>

#include "support/Error.h"

namespace quorvel {

class AudioMetadata;
class MetadataFunctionInterface;

// The object a batch function tells of its progress during an apply run (the
// application controller). Both calls come from the run's worker thread and
// must only hand work to the main thread, never wait for it.
class MetadataFunctionDelegate {
 public:
  virtual ~MetadataFunctionDelegate() = default;
  // One record is done: `index` of `count` (0-based).
  virtual void metadataFunction(MetadataFunctionInterface& function, AudioMetadata& record,
                                std::size_t index, std::size_t count) = 0;
  // One record failed with `error`; the run goes on with the next one.
  virtual void metadataFunction(MetadataFunctionInterface& function, AudioMetadata& record,
                                std::size_t index, std::size_t count, const Error& error) = 0;
};

}  // namespace quorvel
