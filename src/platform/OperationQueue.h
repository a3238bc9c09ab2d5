#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel {

// A queue that runs its operations one at a time, in the order they were
// added, on a thread of its own (started on first use). Every method is
// thread-safe.
class OperationQueue {
 public:
  OperationQueue() = default;
  // Runs the operations still queued, then stops the thread. An operation
  // that waits for the main thread must therefore not be queued by code that
  // destroys the queue on the main thread without running its loop (see
  // AppDelegate's destructor).
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  // Queues `operation`. An exception it throws is written to stderr and
  // dropped; the next operation runs regardless.
  void addOperation(std::function<void()> operation);
  // Operations queued or running.
  std::size_t operationCount() const;
  // Blocks until no operation is queued or running. Not from an operation.
  void waitUntilAllOperationsAreFinished();

 private:
  void run();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  std::size_t running_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quorvel
