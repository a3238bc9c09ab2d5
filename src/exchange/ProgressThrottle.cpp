#include "exchange/ProgressThrottle.h"

namespace quorvel {

bool ProgressThrottle::shouldReport() {
  const Clock::time_point now = Clock::now();
  if (last_ && now - *last_ < interval_) {
    return false;
  }
  last_ = now;
  return true;
}

}  // namespace quorvel
