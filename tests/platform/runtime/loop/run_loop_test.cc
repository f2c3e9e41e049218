#include "platform/runtime/loop/run_loop.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/loop/clock.h"
#include "tests/support/run_loop_fixture.h"

namespace fw {
namespace {

using test_support::kDeadline;
using test_support::Loop;
using test_support::say;
using test_support::Target;

TEST_F(Loop, TheMainThreadRunsTheGlobalDefaultContext) {
  EXPECT_EQ(RunLoop::currentContext(), g_main_context_default());
  GMainContext* pushed = g_main_context_new();
  g_main_context_push_thread_default(pushed);
  EXPECT_EQ(RunLoop::currentContext(), pushed);
  g_main_context_pop_thread_default(pushed);
  g_main_context_unref(pushed);
  EXPECT_EQ(RunLoop::currentContext(), g_main_context_default());
}

TEST_F(Loop, DelayedMessagesRunOnALaterPassInQueueingOrder) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  auto b = std::make_shared<Target>(&log, "b");
  performSelector(a, say("1"), 0.0);
  performSelector(b, say("2"), -3.0);  // a negative delay counts as none
  performSelector(a, say("3"), 0.0);
  EXPECT_TRUE(log.empty());  // never inside the call
  EXPECT_EQ(RunLoop::pendingMessageCount(), 3u);
  EXPECT_EQ(RunLoop::runPending(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b2", "a3"}));
}

TEST_F(Loop, MessagesQueuedWhileTheQueueRunsWaitForTheNextPass) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  performSelector(
      a,
      [&](Object& t) {
        static_cast<Target&>(t).note("outer");
        performSelector(a, say("inner"), 0.0);
      },
      0.0);
  ASSERT_EQ(RunLoop::runPending(1), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"aouter"}));
  ASSERT_EQ(RunLoop::runPending(1), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"aouter", "ainner"}));
}

// Under a manual clock a delay falls due exactly when the clock passes it,
// however long it is, and not a microsecond before.
TEST_F(Loop, ADelayFallsDueWhenTheClockPassesIt) {
  ManualClock clock;
  const ScopedRunLoopClock use(clock);
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  performSelector(a, say("late"), 3600.0);
  performSelector(a, say("soon"), 0.5);
  struct Step {
    std::int64_t advance;  // microseconds
    std::vector<std::string> log;
  };
  const Step steps[] = {
      {0, {}}, {499'999, {}}, {1, {"asoon"}}, {3'599'499'999, {"asoon"}}, {1, {"asoon", "alate"}},
  };
  for (const Step& step : steps) {
    clock.advance(step.advance);
    RunLoop::runPending();
    EXPECT_EQ(log, step.log) << step.advance;
  }
}

// On the real clock. That the delay is not cut short is the manual clock's
// test: here a stall of the machine may let it fall due before runPending.
TEST_F(Loop, ADelayIsWaitedFor) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  performSelector(a, say("late"), 0.002);
  performSelector(a, say("now"), 0.0);
  RunLoop::runPending();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "anow");
  EXPECT_TRUE(RunLoop::runUntil([&] { return log.size() == 2; }, kDeadline));
  EXPECT_EQ(log.back(), "alate");
}

TEST_F(Loop, ARequestKeepsTargetAndArgumentAliveUntilSentOrCancelled) {
  auto sent = std::make_shared<Target>();
  auto argument = std::make_shared<Target>();
  Object* seen = nullptr;
  std::weak_ptr<Target> weakSent = sent, weakArgument = argument;
  const Object* argumentAddress = argument.get();
  performSelector(
      sent, [&](Object&, Object& arg) { seen = &arg; }, argument, 0.0);
  sent.reset();
  argument.reset();
  EXPECT_FALSE(weakSent.expired());
  EXPECT_FALSE(weakArgument.expired());
  RunLoop::runPending();
  EXPECT_EQ(seen, argumentAddress);
  EXPECT_TRUE(weakSent.expired());
  EXPECT_TRUE(weakArgument.expired());

  auto cancelled = std::make_shared<Target>();
  std::weak_ptr<Target> weakCancelled = cancelled;
  performSelector(cancelled, say("never"), 0.0);
  const Object* id = cancelled.get();
  cancelled.reset();
  cancelPreviousPerformRequestsWithTarget(id);
  EXPECT_TRUE(weakCancelled.expired());
}

TEST_F(Loop, NothingIsQueuedWithoutATargetMessageOrArgument) {
  performSelector(nullptr, say("x"), 0.0);
  performSelector(std::make_shared<Target>(), Message(), 0.0);
  performSelector(
      std::make_shared<Target>(), [](Object&, Object&) {}, nullptr, 0.0);
  EXPECT_EQ(RunLoop::pendingMessageCount(), 0u);
}

TEST_F(Loop, CancellingDropsEveryPendingMessageForThatTargetOnly) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  auto b = std::make_shared<Target>(&log, "b");
  performSelector(a, say("1"), 0.0);
  performSelector(b, say("2"), 0.0);
  performSelector(a, say("3"), 0.001);
  cancelPreviousPerformRequestsWithTarget(a.get());
  cancelPreviousPerformRequestsWithTarget(nullptr);
  EXPECT_EQ(RunLoop::pendingMessageCount(), 1u);
  RunLoop::runPending();
  EXPECT_EQ(log, (std::vector<std::string>{"b2"}));

  // A message may cancel one queued after it for the same pass.
  performSelector(
      a, [&](Object&) { cancelPreviousPerformRequestsWithTarget(b.get()); }, 0.0);
  performSelector(b, say("dropped"), 0.0);
  RunLoop::runPending();
  EXPECT_EQ(log, (std::vector<std::string>{"b2"}));

  // A target that always has something pending while many of its messages
  // are sent is still cancelled completely.
  std::weak_ptr<Target> weakA = a;
  performSelector(a, say("far"), 1000.0);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 50; ++i) performSelector(a, say("near"), 0.0);
    RunLoop::runPending();
  }
  EXPECT_EQ(log.size(), 151u);
  EXPECT_EQ(RunLoop::pendingMessageCount(), 1u);
  cancelPreviousPerformRequestsWithTarget(a.get());
  EXPECT_EQ(RunLoop::pendingMessageCount(), 0u);
  a.reset();
  EXPECT_TRUE(weakA.expired());
}

// Destructors of released targets run with the queue unlocked, so they can
// use the queue themselves.
TEST_F(Loop, ReleasedTargetsMayQueueAndCancelFromTheirDestructors) {
  std::vector<std::string> log;
  auto survivor = std::make_shared<Target>(&log, "s");
  class Reentrant : public Object {
   public:
    explicit Reentrant(std::shared_ptr<Target> s) : s_(std::move(s)) {}
    ~Reentrant() override {
      cancelPreviousPerformRequestsWithTarget(this);
      performSelector(s_, say("from destructor"), 0.0);
    }
    std::shared_ptr<Target> s_;
  };
  auto r = std::make_shared<Reentrant>(survivor);
  performSelector(
      r, [](Object&) {}, 0.0);
  const Object* id = r.get();
  r.reset();
  cancelPreviousPerformRequestsWithTarget(id);
  RunLoop::runPending();
  EXPECT_EQ(log, (std::vector<std::string>{"sfrom destructor"}));
}

TEST_F(Loop, AThrowingMessageIsLoggedAndTheRestStillRun) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  performSelector(
      a, [](Object&) { throw std::runtime_error("boom"); }, 0.0);
  performSelector(a, say("after"), 0.0);
  RunLoop::runPending();
  EXPECT_EQ(log, (std::vector<std::string>{"aafter"}));
}

TEST_F(Loop, RunUntilGivesUpAtItsDeadline) {
  EXPECT_FALSE(RunLoop::runUntil([] { return false; }, 0.002));
  EXPECT_TRUE(RunLoop::runUntil([] { return true; }, 0.0));
}

TEST_F(Loop, AContextRunByAnotherThreadIsNotIteratedHere) {
  std::promise<void> acquired, done;
  std::thread owner([&] {
    const bool owned = g_main_context_acquire(g_main_context_default());
    EXPECT_TRUE(owned);
    acquired.set_value();
    done.get_future().wait();
    if (owned) g_main_context_release(g_main_context_default());
  });
  acquired.get_future().wait();
  EXPECT_FALSE(RunLoop::runUntil([] { return false; }, kDeadline));
  EXPECT_EQ(RunLoop::runPending(), 0u);
  done.set_value();
  owner.join();
}

// A thread other than the main one has a loop of its own: what it queues
// runs only when it iterates, and what is pending when it ends is released.
TEST_F(Loop, OtherThreadsHaveTheirOwnLoop) {
  std::vector<std::string> log;
  auto a = std::make_shared<Target>(&log, "a");
  std::weak_ptr<Target> weakLeft;
  GMainContext* workerContext = nullptr;
  std::thread worker([&] {
    workerContext = RunLoop::currentContext();
    performSelector(a, say("worker"), 0.0);
    auto left = std::make_shared<Target>();
    weakLeft = left;
    performSelector(std::move(left), say("left"), 1000.0);
    RunLoop::runPending();
  });
  worker.join();
  EXPECT_NE(workerContext, g_main_context_default());
  EXPECT_EQ(log, (std::vector<std::string>{"aworker"}));
  EXPECT_TRUE(weakLeft.expired());
  EXPECT_EQ(RunLoop::pendingMessageCount(), 0u);  // nothing landed on this thread
}

// ---- Timers ----

}  // namespace
}  // namespace fw
