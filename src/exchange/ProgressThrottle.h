#pragma once

#include <chrono>
#include <optional>

namespace quorvel {

// Decides when a worker loop reports progress: at most once per interval,
// the first time at once. Used by one thread.
class ProgressThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ProgressThrottle(Clock::duration interval = std::chrono::milliseconds(200))
      : interval_(interval) {}

  // True when a report is due now (and counts it as made).
  bool shouldReport();
  // The next shouldReport() is true again.
  void reset() { last_.reset(); }

 private:
  Clock::duration interval_;
  std::optional<Clock::time_point> last_;
};

}  // namespace quorvel
