#include "platform/runtime/object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/runtime/event.h"
#include "platform/runtime/loop/run_loop.h"
#include "platform/runtime/loop/timer.h"
#include "platform/runtime/notification_center.h"
#include "platform/runtime/toolkit_version.h"
#include "tests/support/capture_stderr.h"
#include "tests/support/run_loop_fixture.h"

namespace fw {
namespace {

using test_support::kDeadline;
using Listener = test_support::Recorder;
using Events = test_support::Loop;
using test_support::got;

// A class with its own postNotificationAboutSelf, which the delayed form
// must reach as well.
class Renaming : public Object {
 public:
  void postNotificationAboutSelf(std::optional<std::u16string_view> name) override {
    std::u16string renamed = u"renamed:";
    if (name) renamed += *name;
    Object::postNotificationAboutSelf(renamed);
  }
};

TEST_F(Events, IsLeopardOrHigherRoundsDownThenComparesStrictly) {
  EXPECT_TRUE(Object::isLeopardOrHigher());  // the default is a modern toolkit
  struct Case {
    double version;
    bool expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c :
       {Case{824.0, false}, Case{824.9, false}, Case{825.0, true}, Case{949.0, true},
        Case{0.0, false}, Case{-inf, false}, Case{inf, true}, Case{std::nan(""), false}}) {
    setToolkitVersionNumber(c.version);
    EXPECT_EQ(Object::isLeopardOrHigher(), c.expected) << c.version;
  }
  setToolkitVersionNumber(kDefaultToolkitVersionNumber);
}

TEST_F(Events, PostReachesListenersInsideTheCallWithTheReceiverAsSender) {
  auto listener = std::make_shared<Listener>();
  auto poster = std::make_shared<Object>();
  listener->listenForNotification(u"Moved", got());
  poster->postNotificationAboutSelf(u"Moved");
  poster->postNotificationAboutSelf(u"Other");
  ASSERT_EQ(listener->senders.size(), 1u);
  EXPECT_EQ(listener->senders[0], poster.get());
  EXPECT_EQ(listener->names[0], u"Moved");
  listener->stopListening();
}

// Listening with an absent sender is listening to every sender: both forms
// receive exactly the same posts.
TEST_F(Events, AnAbsentSenderListensToEverySender) {
  auto any = std::make_shared<Listener>();
  auto absent = std::make_shared<Listener>();
  auto onlyA = std::make_shared<Listener>();
  auto a = std::make_shared<Object>();
  auto b = std::make_shared<Object>();
  any->listenForNotification(u"n", got());
  absent->listenForNotification(u"n", got(), nullptr);
  onlyA->listenForNotification(u"n", got(), a.get());
  a->postNotificationAboutSelf(u"n");
  b->postNotificationAboutSelf(u"n");
  NotificationCenter::defaultCenter().postNotificationName(u"n", nullptr);
  const std::vector<Object*> all = {a.get(), b.get(), nullptr};
  EXPECT_EQ(any->senders, all);
  EXPECT_EQ(absent->senders, all);
  EXPECT_EQ(onlyA->senders, std::vector<Object*>{a.get()});
  for (auto* l : {any.get(), absent.get(), onlyA.get()}) l->stopListening();
}

TEST_F(Events, DelayedPostRunsOnTheNextPassAndKeepsTheReceiverAlive) {
  auto listener = std::make_shared<Listener>();
  listener->listenForNotification(std::nullopt, got());
  auto poster = std::make_shared<Object>();
  const Object* posterAddress = poster.get();
  std::weak_ptr<Object> weakPoster = poster;
  poster->postNotificationAboutSelfLater(u"Later");
  poster->postNotificationAboutSelfLater(std::nullopt);
  EXPECT_TRUE(listener->senders.empty());  // nothing inside the call
  poster.reset();
  EXPECT_FALSE(weakPoster.expired());  // the pending posts keep it
  EXPECT_EQ(RunLoop::runPending(1), 1u);
  EXPECT_EQ(listener->senders, (std::vector<Object*>{const_cast<Object*>(posterAddress),
                                                     const_cast<Object*>(posterAddress)}));
  EXPECT_EQ(listener->names, (std::vector<std::optional<std::u16string>>{u"Later", std::nullopt}));
  EXPECT_TRUE(weakPoster.expired());
  listener->stopListening();
}

TEST_F(Events, DelayedPostGoesThroughAnOverriddenPost) {
  auto listener = std::make_shared<Listener>();
  listener->listenForNotification(std::nullopt, got());
  auto poster = std::make_shared<Renaming>();
  poster->postNotificationAboutSelfLater(u"x");
  RunLoop::runPending();
  EXPECT_EQ(listener->names, (std::vector<std::optional<std::u16string>>{u"renamed:x"}));
  listener->stopListening();
}

TEST_F(Events, StopListeningTakesBackPendingPostsAndRegistrations) {
  auto listener = std::make_shared<Listener>();
  listener->listenForNotification(u"n", got());
  auto poster = std::make_shared<Object>();
  auto other = std::make_shared<Object>();
  std::weak_ptr<Object> weakPoster = poster;
  poster->postNotificationAboutSelfLater(u"n");
  other->postNotificationAboutSelfLater(u"n");
  poster->postNotificationAboutSelfLater(u"n");
  poster->stopListening();
  poster.reset();
  EXPECT_TRUE(weakPoster.expired());  // its pending posts are gone, and let go of it
  RunLoop::runPending();
  EXPECT_EQ(listener->senders, std::vector<Object*>{other.get()});

  listener->postNotificationAboutSelfLater(u"n");
  listener->stopListening();  // its registration and its own pending post
  NotificationCenter::defaultCenter().postNotificationName(u"n", nullptr);
  RunLoop::runPending();
  EXPECT_EQ(listener->senders, std::vector<Object*>{other.get()});
}

TEST_F(Events, StopListeningLeavesTimersRunning) {
  auto target = std::make_shared<Listener>();
  const std::size_t before = NotificationCenter::defaultCenter().registrationCount();
  target->stopListening();  // never listened, nothing queued: nothing changes
  EXPECT_EQ(NotificationCenter::defaultCenter().registrationCount(), before);
  std::shared_ptr<Timer> timer =
      target->repeatingTimerWithTimeInterval(0.001, selector(&Listener::tick));
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->repeats());
  ASSERT_TRUE(RunLoop::runUntil([&] { return target->ticks >= 1; }, kDeadline));
  target->stopListening();
  const int ticksAtStop = target->ticks;
  EXPECT_TRUE(RunLoop::runUntil([&] { return target->ticks >= ticksAtStop + 2; }, kDeadline));
  EXPECT_TRUE(timer->isValid());
  timer->invalidate();
  EXPECT_EQ(target.use_count(), 1);
}

TEST_F(Events, ObjectsWithoutOwnershipCanPostButNotBeHeld) {
  auto listener = std::make_shared<Listener>();
  listener->listenForNotification(u"n", got());
  Listener onStack;
  onStack.postNotificationAboutSelf(u"n");
  onStack.listenForNotification(u"n", got());
  onStack.postNotificationAboutSelfLater(u"n");
  EXPECT_EQ(onStack.repeatingTimerWithTimeInterval(1.0, selector(&Listener::tick)), nullptr);
  EXPECT_EQ(onStack.copyWithZone(nullptr), nullptr);
  onStack.stopListening();
  EXPECT_EQ(listener->senders, std::vector<Object*>{&onStack});
  EXPECT_EQ(RunLoop::pendingMessageCount(), 0u);
  listener->stopListening();
}

TEST_F(Events, CopyWithZoneSharesTheReceiver) {
  auto original = std::make_shared<Object>();
  int zone = 0;
  std::shared_ptr<Object> copy = original->copyWithZone(&zone);
  EXPECT_EQ(copy.get(), original.get());
  EXPECT_EQ(original.use_count(), 2);
  original->kill();  // does nothing, the copy is still the same object
  EXPECT_EQ(copy.get(), original.get());
}

TEST_F(Events, StrayMouseTrackingIsLoggedOnce) {
  auto object = std::make_shared<Object>();
  const Event entered(Event::Type::MouseEntered, 12.5, 40, 3);
  const Event exited(Event::Type::MouseExited, -1, 0, 7);
  const std::regex prefix(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \S+\[\d+:\d+\] )");
  struct Case {
    std::function<void()> send;
    std::string message;
  };
  const std::vector<Case> cases = {
      {[&] { object->mouseEntered(&entered); },
       "errant mouseEntered: MouseEntered at (12.5, 40) window 3\n"},
      {[&] { object->mouseExited(&exited); },
       "errant mouseExited: MouseExited at (-1, 0) window 7\n"},
      {[&] { object->mouseEntered(nullptr); }, "errant mouseEntered: (null)\n"},
  };
  for (const Case& c : cases) {
    const std::string out = test_support::captureStderr(c.send);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, prefix)) << out;
    EXPECT_EQ(out.substr(static_cast<std::size_t>(m.length(0))), c.message);
  }

  // A class with its own handler keeps it; nothing is logged.
  class Tracking : public Object {
   public:
    void mouseEntered(const Event*) override { ++entered; }
    int entered = 0;
  };
  auto tracking = std::make_shared<Tracking>();
  Object& asObject = *tracking;
  EXPECT_EQ(test_support::captureStderr([&] { asObject.mouseEntered(&entered); }), "");
  EXPECT_EQ(tracking->entered, 1);
}

}  // namespace
}  // namespace fw
