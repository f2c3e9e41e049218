#pragma once

// Plumbing shared by the run-loop, timer and notification tests: a target
// that records the messages and timer firings it receives, one that records
// notifications, and a fixture that checks each test starts and ends with an
// empty queue on this thread's loop and the notification center as it was.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/loop/run_loop.h"
#include "platform/runtime/loop/timer.h"
#include "platform/runtime/notification_center.h"

namespace fw::test_support {

inline constexpr double kDeadline = 5.0;  // seconds; only reached when something is broken

class Target : public Object {
 public:
  explicit Target(std::vector<std::string>* log = nullptr, std::string tag = {})
      : log_(log), tag_(std::move(tag)) {}
  void note(const std::string& what) {
    if (log_ != nullptr) log_->push_back(tag_ + what);
  }
  void tick(Timer& timer) {
    ++ticks;
    lastTimer = &timer;
    if (onTick) onTick(timer);
  }
  int ticks = 0;
  Timer* lastTimer = nullptr;
  std::function<void(Timer&)> onTick;

 private:
  std::vector<std::string>* log_;
  std::string tag_;
};

inline Message say(std::string what) {
  return [what = std::move(what)](Object& t) { static_cast<Target&>(t).note(what); };
}

// Records the notifications it receives; `onNote` lets a test act during delivery.
class Recorder : public Object {
 public:
  void got(Notification& note) {
    names.push_back(note.name());
    senders.push_back(note.object());
    if (onNote) onNote(note);
  }
  void tick(Timer&) { ++ticks; }
  std::vector<std::optional<std::u16string>> names;
  std::vector<Object*> senders;
  std::function<void(Notification&)> onNote;
  int ticks = 0;
};

inline Selector got() { return selector(&Recorder::got); }

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunLoop::pendingMessageCount(), 0u);
    registrations_ = NotificationCenter::defaultCenter().registrationCount();
  }
  void TearDown() override {
    RunLoop::runPending();
    EXPECT_EQ(RunLoop::pendingMessageCount(), 0u);
    EXPECT_EQ(NotificationCenter::defaultCenter().registrationCount(), registrations_);
  }
  std::size_t registrations_ = 0;
};

}  // namespace fw::test_support
