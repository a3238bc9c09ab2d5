#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace quorvel {

// The main thread's event loop and the one way for other threads to hand it
// work. Every queued item is one "event"; work scheduled with
// performAtEndOfEvent runs once after the event in progress has finished, which
// is how automatic undo groups close.
//
// The desktop application drives the loop from Qt: it installs a wake-up
// handler that posts to Qt's loop and, from there, calls processPendingEvents().
// The CLI and the tests drive it themselves with runOnce/runUntil/run.
//
// Everything here is thread-safe unless a method says "owner thread only".
// The owner of RunLoop::main() is the process's main thread: the thread that
// ran static initialisation (this file records it then), or whichever thread
// last called attachToCurrentThread().
class RunLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using Duration = Clock::duration;
  using Token = std::uint64_t;

  // A loop owned by the calling thread. Most code wants main() instead; a
  // private loop is for tests of the loop itself.
  RunLoop();
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The process-wide loop of the main thread. Never fails; any thread.
  static RunLoop& main();
  // True on the thread that owns main(). Any thread.
  static bool isMainThread();

  // Makes the calling thread the owner (for main(): the main thread). For a
  // front end whose event loop runs on a thread other than the one that
  // started the process. Any thread; call it before work is queued.
  void attachToCurrentThread();
  // True when the calling thread owns this loop. Any thread.
  bool isCurrentThread() const;

  // Runs `fn` on the owner thread. On the owner thread with wait == true it
  // runs inline at once; otherwise it is queued as one event. With wait ==
  // true the caller blocks until `fn` has run, and an exception thrown by `fn`
  // is rethrown to the caller; without waiting such an exception is written to
  // stderr and dropped. A waiting caller on another thread blocks until the
  // owner thread processes its queue: if the owner is itself waiting for that
  // caller (joining it, say) without running the loop, both wait forever.
  void perform(std::function<void()> fn, bool wait);

  // Schedules `fn` to run once on the owner thread after the event in progress
  // finishes; with several pending, lower `order` runs first, equal orders in
  // the order they were scheduled. With no event in progress (code running
  // outside the loop, or a call from another thread between events) it runs
  // at the next processPendingEvents/runOnce/runUntil/run. Returns a token for
  // cancelEndOfEvent. Any thread.
  Token performAtEndOfEvent(std::int64_t order, std::function<void()> fn);
  // Cancels a pending end-of-event call. Returns false when it already ran or
  // was cancelled. Any thread.
  bool cancelEndOfEvent(Token token);

  // Waits up to `timeout` for one queued event, runs it, then the end-of-event
  // calls. End-of-event calls already pending run first without waiting.
  // Returns true when anything ran. Owner thread only (elsewhere throws
  // InternalInconsistencyException).
  bool runOnce(Duration timeout);
  // Runs events until `predicate` holds or `timeout` has passed; the
  // predicate is checked before waiting and after every event. Returns the
  // predicate's last value. Owner thread only.
  bool runUntil(const std::function<bool()>& predicate, Duration timeout);
  // Runs events until stop(). Owner thread only.
  void run();
  // Ends the innermost run() after its current event. A stop requested while
  // no run() is active ends the next run() at once, so a worker may call it
  // without racing the start of the loop. Any thread.
  void stop();

  // Runs the end-of-event calls already pending, then the events that were
  // queued when the call began, each followed by its end-of-event calls. Does
  // not wait. Events queued meanwhile stay for the next call (they have
  // triggered the wake-up handler again). Returns the number of events run.
  // Owner thread only.
  std::size_t processPendingEvents();

  // Called, on the queuing thread and with no lock held, whenever work is
  // queued (perform that does not run inline, performAtEndOfEvent). Must be
  // cheap and thread-safe; the Qt front end posts a call of
  // processPendingEvents() to its own loop from here. An empty function
  // removes the handler. Any thread.
  void setWakeUpHandler(std::function<void()> handler);

  // True while the owner thread is running an event of this loop. Any thread.
  bool isInEvent() const;
  // Number of queued events not yet run. Any thread.
  std::size_t pendingEventCount() const;

 private:
  void checkOwner(const char* what) const;
  void notifyQueued();
  void runEvent(std::function<void()> fn);
  bool runEndOfEventCalls();
  bool waitForWork(std::unique_lock<std::mutex>& lock, Clock::time_point deadline);

  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<std::function<void()>> queue_;
  // Keyed by (order, sequence) so equal orders keep their scheduling order.
  std::map<std::pair<std::int64_t, Token>, std::function<void()>> endOfEvent_;
  Token nextToken_ = 1;
  std::thread::id owner_;
  std::function<void()> wakeUpHandler_;
  std::atomic<int> eventDepth_{0};
  bool stopRequested_ = false;
};

}  // namespace quorvel
