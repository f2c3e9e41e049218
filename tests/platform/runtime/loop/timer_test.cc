#include "platform/runtime/loop/timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>

#include "platform/runtime/loop/clock.h"
#include "tests/support/run_loop_fixture.h"

namespace fw {
namespace {

using test_support::kDeadline;
using test_support::Loop;
using test_support::Target;

TEST_F(Loop, ARepeatingTimerFiresUntilInvalidatedAndThenLetsGoOfItsTarget) {
  auto target = std::make_shared<Target>();
  std::weak_ptr<Target> weak = target;
  auto timer =
      Timer::scheduledTimerWithTimeInterval(0.001, target, selector(&Target::tick), nullptr, true);
  ASSERT_NE(timer, nullptr);
  target.reset();
  EXPECT_FALSE(weak.expired());      // the timer keeps it
  EXPECT_EQ(weak.lock()->ticks, 0);  // not inside the call
  ASSERT_TRUE(RunLoop::runUntil([&] { return weak.lock()->ticks >= 3; }, kDeadline));
  EXPECT_EQ(weak.lock()->lastTimer, timer.get());
  EXPECT_TRUE(timer->isValid());
  timer->invalidate();
  timer->invalidate();
  EXPECT_FALSE(timer->isValid());
  EXPECT_TRUE(weak.expired());
}

// Firings follow the schedule set at creation: a loop that falls behind
// fires once, skips what it missed and lands on the schedule again.
TEST_F(Loop, ARepeatingTimerKeepsItsScheduleAndSkipsMissedFirings) {
  ManualClock clock;
  const ScopedRunLoopClock use(clock);
  auto target = std::make_shared<Target>();
  auto timer =
      Timer::scheduledTimerWithTimeInterval(1.0, target, selector(&Target::tick), nullptr, true);
  struct Step {
    std::int64_t advance;  // microseconds; the timer is due at 1 s, 2 s, ...
    int ticks;
  };
  const Step steps[] = {
      {999'999, 0},    // 0.999999 s
      {1, 1},          // 1 s
      {3'500'000, 2},  // 4.5 s: 2, 3 and 4 s were missed, one firing for them
      {499'999, 2},    // 4.999999 s
      {1, 3},          // 5 s: back on the schedule
  };
  for (const Step& step : steps) {
    clock.advance(step.advance);
    RunLoop::runPending();
    EXPECT_EQ(target->ticks, step.ticks) << step.advance;
  }
  timer->invalidate();
}

TEST_F(Loop, ATimerMayInvalidateItselfWhileFiring) {
  auto target = std::make_shared<Target>();
  target->onTick = [](Timer& t) { t.invalidate(); };
  std::weak_ptr<Timer> weakTimer;
  {
    auto timer = Timer::scheduledTimerWithTimeInterval(0.001, target, selector(&Target::tick),
                                                       nullptr, true);
    weakTimer = timer;
  }
  EXPECT_FALSE(weakTimer.expired());  // the loop holds a scheduled timer
  ASSERT_TRUE(RunLoop::runUntil([&] { return target->ticks == 1; }, kDeadline));
  RunLoop::runPending();
  EXPECT_EQ(target->ticks, 1);
  EXPECT_TRUE(weakTimer.expired());
}

TEST_F(Loop, AOneShotTimerFiresOnceAndInvalidatesItself) {
  auto target = std::make_shared<Target>();
  auto info = std::make_shared<Target>();
  auto timer =
      Timer::scheduledTimerWithTimeInterval(0.001, target, selector(&Target::tick), info, false);
  EXPECT_EQ(timer->userInfo(), info);
  ASSERT_TRUE(RunLoop::runUntil([&] { return !timer->isValid(); }, kDeadline));
  EXPECT_EQ(target->ticks, 1);
  EXPECT_EQ(timer->userInfo(), nullptr);
  EXPECT_EQ(target.use_count(), 1);
}

TEST_F(Loop, TimerIntervalsAreKeptWithinBounds) {
  auto target = std::make_shared<Target>();
  struct Case {
    double asked;
    double kept;
  };
  for (const Case& c : {Case{0.0, 0.0001}, Case{-1.0, 0.0001}, Case{std::nan(""), 0.0001},
                        Case{0.25, 0.25}, Case{1e12, 1e9}}) {
    auto timer = Timer::scheduledTimerWithTimeInterval(c.asked, target, selector(&Target::tick),
                                                       nullptr, true);
    EXPECT_DOUBLE_EQ(timer->timeInterval(), c.kept) << c.asked;
    timer->invalidate();
  }
  EXPECT_EQ(
      Timer::scheduledTimerWithTimeInterval(1, nullptr, selector(&Target::tick), nullptr, true),
      nullptr);
  EXPECT_EQ(Timer::scheduledTimerWithTimeInterval(1, target, Selector(), nullptr, true), nullptr);
  EXPECT_EQ(target.use_count(), 1);
}

TEST_F(Loop, ATimerOfAThreadThatEndsStopsAndReleasesItsTarget) {
  auto target = std::make_shared<Target>();
  std::shared_ptr<Timer> timer;
  std::thread worker([&] {
    timer = Timer::scheduledTimerWithTimeInterval(0.001, target, selector(&Target::tick), nullptr,
                                                  true);
    RunLoop::runUntil([&] { return target->ticks >= 1; }, kDeadline);
  });
  worker.join();
  EXPECT_GE(target->ticks, 1);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(target.use_count(), 1);
}

}  // namespace
}  // namespace fw
