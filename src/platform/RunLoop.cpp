#include "platform/RunLoop.h"

#include <cstdio>
#include <exception>
#include <future>
#include <memory>

#include "support/Error.h"

namespace quorvel {

namespace {

// Work handed to the loop without anyone waiting has nobody to report to; the
// loop must go on with the next event, so the failure goes to stderr.
void runLogged(const std::function<void()>& fn, const char* what) {
  try {
    fn();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "an exception occurred in %s - ignored: %s\n", what, e.what());
  } catch (...) {
    std::fprintf(stderr, "an exception occurred in %s - ignored\n", what);
  }
}

// A timeout of "forever" must not overflow the clock.
RunLoop::Clock::time_point deadlineAfter(RunLoop::Duration timeout) {
  const auto now = RunLoop::Clock::now();
  if (timeout <= RunLoop::Duration::zero()) {
    return now;
  }
  if (timeout >= RunLoop::Clock::time_point::max() - now) {
    return RunLoop::Clock::time_point::max();
  }
  return now + timeout;
}

// Creating the main loop during static initialisation binds it to the thread
// that started the process, before any worker can call main() first.
[[maybe_unused]] const bool kMainLoopBound = (RunLoop::main(), true);

}  // namespace

RunLoop::RunLoop() : owner_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
  // Never destroyed: detached workers may still hand work over while the
  // process exits.
  static RunLoop* const loop = std::make_unique<RunLoop>().release();
  return *loop;
}

bool RunLoop::isMainThread() { return main().isCurrentThread(); }

void RunLoop::attachToCurrentThread() {
  std::lock_guard lock(mutex_);
  owner_ = std::this_thread::get_id();
}

bool RunLoop::isCurrentThread() const {
  std::lock_guard lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

void RunLoop::checkOwner(const char* what) const {
  if (!isCurrentThread()) {
    throw InternalInconsistencyException(std::string(what) +
                                         " called on a thread that does not own the run loop");
  }
}

void RunLoop::notifyQueued() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = wakeUpHandler_;
  }
  condition_.notify_all();
  if (handler) {
    handler();
  }
}

void RunLoop::perform(std::function<void()> fn, bool wait) {
  if (!fn) {
    return;
  }
  if (wait && isCurrentThread()) {
    fn();
    return;
  }
  if (!wait) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(fn));
    }
    notifyQueued();
    return;
  }
  // The task carries the result (or exception) back to the waiting caller;
  // if the loop is destroyed first, the caller gets a broken promise instead
  // of waiting forever.
  auto task = std::make_shared<std::packaged_task<void()>>(std::move(fn));
  auto done = task->get_future();
  {
    std::lock_guard lock(mutex_);
    queue_.push_back([task] { (*task)(); });
  }
  notifyQueued();
  done.get();
}

RunLoop::Token RunLoop::performAtEndOfEvent(std::int64_t order, std::function<void()> fn) {
  Token token;
  {
    std::lock_guard lock(mutex_);
    token = nextToken_++;
    endOfEvent_.emplace(std::make_pair(order, token), std::move(fn));
  }
  notifyQueued();
  return token;
}

bool RunLoop::cancelEndOfEvent(Token token) {
  std::lock_guard lock(mutex_);
  for (auto it = endOfEvent_.begin(); it != endOfEvent_.end(); ++it) {
    if (it->first.second == token) {
      endOfEvent_.erase(it);
      return true;
    }
  }
  return false;
}

bool RunLoop::runEndOfEventCalls() {
  // Calls scheduled by these calls belong to the next pass, so a call that
  // schedules itself again cannot keep this pass going. Each is taken out
  // just before it runs, so an earlier call may still cancel a later one.
  Token boundary;
  {
    std::lock_guard lock(mutex_);
    boundary = nextToken_;
  }
  bool ranAny = false;
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      auto it = endOfEvent_.begin();
      while (it != endOfEvent_.end() && it->first.second >= boundary) {
        ++it;
      }
      if (it == endOfEvent_.end()) {
        break;
      }
      fn = std::move(it->second);
      endOfEvent_.erase(it);
    }
    ranAny = true;
    if (fn) {
      runLogged(fn, "an end-of-event call");
    }
  }
  return ranAny;
}

void RunLoop::runEvent(std::function<void()> fn) {
  eventDepth_.fetch_add(1);
  runLogged(fn, "main-thread work");
  eventDepth_.fetch_sub(1);
  runEndOfEventCalls();
}

bool RunLoop::waitForWork(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
  auto ready = [this] { return !queue_.empty() || !endOfEvent_.empty(); };
  if (deadline == Clock::time_point::max()) {
    condition_.wait(lock, ready);
    return true;
  }
  return condition_.wait_until(lock, deadline, ready);
}

bool RunLoop::runOnce(Duration timeout) {
  checkOwner("runOnce");
  const bool ranPending = runEndOfEventCalls();
  std::function<void()> fn;
  {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) {
      if (ranPending) {
        return true;
      }
      if (!waitForWork(lock, deadlineAfter(timeout))) {
        return false;
      }
      if (queue_.empty()) {
        lock.unlock();
        return runEndOfEventCalls();
      }
    }
    fn = std::move(queue_.front());
    queue_.pop_front();
  }
  runEvent(std::move(fn));
  return true;
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, Duration timeout) {
  checkOwner("runUntil");
  const auto deadline = deadlineAfter(timeout);
  for (;;) {
    runEndOfEventCalls();
    if (predicate()) {
      return true;
    }
    std::function<void()> fn;
    {
      std::unique_lock lock(mutex_);
      if (!waitForWork(lock, deadline)) {
        lock.unlock();
        return predicate();
      }
      if (queue_.empty()) {
        continue;  // only end-of-event calls arrived
      }
      fn = std::move(queue_.front());
      queue_.pop_front();
    }
    runEvent(std::move(fn));
  }
}

void RunLoop::run() {
  checkOwner("run");
  for (;;) {
    runEndOfEventCalls();
    std::function<void()> fn;
    {
      std::unique_lock lock(mutex_);
      condition_.wait(lock,
                      [this] { return stopRequested_ || !queue_.empty() || !endOfEvent_.empty(); });
      if (stopRequested_) {
        stopRequested_ = false;
        return;
      }
      if (queue_.empty()) {
        continue;
      }
      fn = std::move(queue_.front());
      queue_.pop_front();
    }
    runEvent(std::move(fn));
  }
}

void RunLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  condition_.notify_all();
}

std::size_t RunLoop::processPendingEvents() {
  checkOwner("processPendingEvents");
  runEndOfEventCalls();
  std::size_t queued;
  {
    std::lock_guard lock(mutex_);
    queued = queue_.size();
  }
  std::size_t ran = 0;
  for (; ran < queued; ++ran) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) {
        break;
      }
      fn = std::move(queue_.front());
      queue_.pop_front();
    }
    runEvent(std::move(fn));
  }
  return ran;
}

void RunLoop::setWakeUpHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  wakeUpHandler_ = std::move(handler);
}

bool RunLoop::isInEvent() const { return eventDepth_.load() > 0; }

std::size_t RunLoop::pendingEventCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace quorvel
