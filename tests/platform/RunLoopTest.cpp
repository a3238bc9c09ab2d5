#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/Error.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// Generous safety net for loops that wait on other threads; never a timing claim.
constexpr auto kPatience = 60s;

TEST(RunLoopTest, MainLoopBelongsToTheTestThread) {
  EXPECT_TRUE(RunLoop::isMainThread());
  bool otherIsMain = true;
  std::thread([&] { otherIsMain = RunLoop::isMainThread(); }).join();
  EXPECT_FALSE(otherIsMain);
}

TEST(RunLoopTest, PerformRunsInlineOnlyWhenWaitingOnTheOwnerThread) {
  RunLoop loop;
  int ran = 0;
  loop.perform([&] { ++ran; }, true);
  EXPECT_EQ(ran, 1);
  loop.perform([&] { ++ran; }, false);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(loop.pendingEventCount(), 1u);
  EXPECT_EQ(loop.processPendingEvents(), 1u);
  EXPECT_EQ(ran, 2);
}

TEST(RunLoopTest, WaitingWorkerGetsResultAndExceptionFromTheOwnerThread) {
  RunLoop loop;
  std::thread::id ranOn;
  std::atomic<bool> finished{false};
  std::string caught;
  std::thread worker([&] {
    loop.perform([&] { ranOn = std::this_thread::get_id(); }, true);
    try {
      loop.perform([] { throw std::runtime_error("boom"); }, true);
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    finished = true;
    loop.perform([] {}, false);  // wakes the loop to see the flag
  });
  EXPECT_TRUE(loop.runUntil([&] { return finished.load(); }, kPatience));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(caught, "boom");
}

TEST(RunLoopTest, EndOfEventCallsRunAfterTheEventInOrderAndCanBeCancelled) {
  RunLoop loop;
  std::vector<std::string> trace;
  loop.perform(
      [&] {
        loop.performAtEndOfEvent(30, [&] { trace.push_back("order 30"); });
        loop.performAtEndOfEvent(10, [&] {
          trace.push_back("order 10");
          // Scheduled during the pass: belongs to the next pass.
          loop.performAtEndOfEvent(0, [&] { trace.push_back("next pass"); });
        });
        const auto cancelled = loop.performAtEndOfEvent(20, [&] { trace.push_back("cancelled"); });
        loop.performAtEndOfEvent(10, [&] { trace.push_back("order 10 second"); });
        EXPECT_TRUE(loop.cancelEndOfEvent(cancelled));
        EXPECT_FALSE(loop.cancelEndOfEvent(cancelled));
        EXPECT_TRUE(loop.isInEvent());
        trace.push_back("event");
      },
      false);
  loop.perform([&] { trace.push_back("second event"); }, false);
  EXPECT_EQ(loop.processPendingEvents(), 2u);
  EXPECT_EQ(trace, (std::vector<std::string>{"event", "order 10", "order 10 second", "order 30",
                                             "second event", "next pass"}));
  EXPECT_FALSE(loop.isInEvent());
}

TEST(RunLoopTest, EndOfEventCallOutsideAnEventRunsAtTheNextTurnOfTheLoop) {
  RunLoop loop;
  int ran = 0;
  loop.performAtEndOfEvent(1, [&] { ++ran; });
  EXPECT_EQ(ran, 0);
  EXPECT_TRUE(loop.runOnce(0s));  // nothing queued: runs the call without waiting
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(loop.runOnce(0s));

  // Scheduled from a worker between events: wakes a waiting loop.
  std::thread worker([&] { loop.performAtEndOfEvent(1, [&] { ++ran; }); });
  EXPECT_TRUE(loop.runUntil([&] { return ran == 2; }, kPatience));
  worker.join();
}

TEST(RunLoopTest, ProcessPendingEventsLeavesWorkQueuedMeanwhileAndFailuresDontStopTheLoop) {
  RunLoop loop;
  int wakeUps = 0;
  loop.setWakeUpHandler([&] { ++wakeUps; });
  int ran = 0;
  loop.perform(
      [&] {
        ++ran;
        loop.perform([&] { ++ran; }, false);
      },
      false);
  loop.perform([] { throw std::runtime_error("ignored"); }, false);
  EXPECT_EQ(wakeUps, 2);
  EXPECT_EQ(loop.processPendingEvents(), 2u);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(wakeUps, 3);  // the event queued from inside asked to be woken
  EXPECT_EQ(loop.processPendingEvents(), 1u);
  EXPECT_EQ(ran, 2);
  loop.setWakeUpHandler(nullptr);
}

TEST(RunLoopTest, StopFromAWorkerEndsRunEvenBeforeRunStarts) {
  RunLoop loop;
  loop.stop();
  loop.run();  // returns at once: the stop was waiting for it

  std::atomic<int> delivered{0};
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      loop.perform([&] { ++delivered; }, false);
    }
    loop.perform([&] { loop.stop(); }, false);
  });
  loop.run();
  worker.join();
  EXPECT_EQ(delivered.load(), 100);
}

TEST(RunLoopTest, ManyWaitingWorkersAreAllServed) {
  RunLoop loop;
  int total = 0;  // touched only on the loop's thread
  std::atomic<int> done{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        loop.perform([&] { ++total; }, true);
      }
      ++done;
      loop.perform([] {}, false);
    });
  }
  EXPECT_TRUE(loop.runUntil([&] { return done.load() == 4; }, kPatience));
  for (auto& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(total, 200);
}

TEST(RunLoopTest, DrivingTheLoopFromAnotherThreadIsRefused) {
  RunLoop loop;
  bool refused = false;
  std::thread([&] {
    try {
      loop.processPendingEvents();
    } catch (const InternalInconsistencyException&) {
      refused = true;
    }
  }).join();
  EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace quorvel
