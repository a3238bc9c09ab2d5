#include "platform/OperationQueue.h"

#include <exception>
#include <iostream>

namespace quorvel {

OperationQueue::~OperationQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void OperationQueue::addOperation(std::function<void()> operation) {
  if (!operation) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(operation));
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { run(); });
    }
  }
  changed_.notify_all();
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size() + running_;
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

void OperationQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      return;  // stopping, and nothing left to run
    }
    auto operation = std::move(queue_.front());
    queue_.pop_front();
    running_ = 1;
    lock.unlock();
    try {
      operation();
    } catch (const std::exception& e) {
      std::cerr << "quorvel: an operation failed: " << e.what() << '\n';
    } catch (...) {
      std::cerr << "quorvel: an operation failed\n";
    }
    // Release what the operation captured before others see it finished.
    operation = nullptr;
    lock.lock();
    running_ = 0;
    changed_.notify_all();
  }
}

}  // namespace quorvel
