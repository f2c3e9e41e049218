#include "platform/runtime/notification_center.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_loop_fixture.h"

namespace fw {
namespace {

NotificationCenter& center() { return NotificationCenter::defaultCenter(); }

using test_support::got;
using test_support::Recorder;
using Center = test_support::Loop;

std::shared_ptr<Recorder> listen(std::optional<std::u16string_view> name, const Object* sender) {
  auto r = std::make_shared<Recorder>();
  center().addObserver(r, got(), name, sender);
  return r;
}

TEST_F(Center, MatchesOnNameAndSenderWithAbsentMeaningAny) {
  auto a = std::make_shared<Object>();
  auto b = std::make_shared<Object>();
  const struct {
    std::optional<std::u16string> name;
    Object* sender;
  } posts[] = {
      {u"x", a.get()}, {u"x", b.get()}, {u"y", a.get()}, {std::nullopt, a.get()}, {u"x", nullptr}};
  struct Case {
    std::optional<std::u16string> name;
    const Object* sender;
    std::vector<int> receives;  // of the posts above, in order
  };
  const std::vector<Case> cases = {
      {u"x", nullptr, {0, 1, 4}},
      {u"x", a.get(), {0}},
      {std::nullopt, a.get(), {0, 2, 3}},
      {std::nullopt, nullptr, {0, 1, 2, 3, 4}},
      {u"", nullptr, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto r = listen(cases[i].name, cases[i].sender);
    for (const auto& post : posts) center().postNotificationName(post.name, post.sender);
    Recorder expected;
    for (int k : cases[i].receives) {
      expected.names.push_back(posts[k].name);
      expected.senders.push_back(posts[k].sender);
    }
    EXPECT_EQ(r->names, expected.names) << "case " << i;
    EXPECT_EQ(r->senders, expected.senders) << "case " << i;
    center().removeObserver(r.get());
  }
}

TEST_F(Center, HoldsObserversWeakly) {
  auto r = listen(u"n", nullptr);
  std::weak_ptr<Recorder> weak = r;
  const std::size_t withOne = center().registrationCount();
  r.reset();
  EXPECT_TRUE(weak.expired());  // the registration did not keep it
  EXPECT_EQ(center().registrationCount(), withOne - 1);
  center().postNotificationName(u"n", nullptr);  // a dead observer is skipped, no crash
  center().removeObserver(nullptr);
}

TEST_F(Center, RejectsObserversThatCannotBeHeld) {
  Recorder onStack;
  center().addObserver(onStack.weak_from_this(), got(), u"n", nullptr);
  auto r = std::make_shared<Recorder>();
  center().addObserver(r, Selector(), u"n", nullptr);
  EXPECT_EQ(center().registrationCount(), registrations_);
}

// Delivery goes to the registrations that matched when the post began, in
// registration order; one removed before its turn is skipped, one added
// during the post waits for the next post, and none is called twice.
TEST_F(Center, ChangesDuringDeliveryFollowOneRule) {
  auto first = listen(u"n", nullptr);
  auto second = listen(u"n", nullptr);
  auto third = listen(u"n", nullptr);
  std::vector<int> order;
  std::shared_ptr<Recorder> late;
  first->onNote = [&](Notification&) {
    order.push_back(1);
    center().removeObserver(first.get());  // itself
    center().removeObserver(third.get());  // one not yet called
    late = listen(u"n", nullptr);          // one added during the post
    late->onNote = [&](Notification&) { order.push_back(4); };
  };
  second->onNote = [&](Notification&) {
    order.push_back(2);
    center().postNotificationName(u"other", nullptr);  // nested post, no lock held
  };
  third->onNote = [&](Notification&) { order.push_back(3); };
  center().postNotificationName(u"n", nullptr);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  center().postNotificationName(u"n", nullptr);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 2, 4}));
  center().removeObserver(second.get());
  center().removeObserver(late.get());
}

TEST_F(Center, AnObserverMayDropTheLastReferenceToItselfDuringDelivery) {
  auto r = listen(u"n", nullptr);
  std::weak_ptr<Recorder> weak = r;
  r->onNote = [&](Notification&) {
    center().removeObserver(r.get());
    r.reset();  // the post still holds it for the rest of this call
  };
  center().postNotificationName(u"n", nullptr);
  EXPECT_TRUE(weak.expired());
}

// An observer may keep what it was given, by copy or by shared ownership;
// the kept notification still names the post, and a sender that has died
// since reads as absent rather than as a dangling address.
TEST_F(Center, AnObserverMayKeepTheNotification) {
  auto r = listen(u"n", nullptr);
  std::vector<std::shared_ptr<Object>> kept;
  r->onNote = [&](Notification& note) {
    kept.push_back(note.copyWithZone(nullptr));
    kept.push_back(note.shared_from_this());
  };
  auto sender = std::make_shared<Object>();
  center().postNotificationName(u"n", sender.get());
  ASSERT_EQ(kept.size(), 2u);
  ASSERT_NE(kept[0], nullptr);
  EXPECT_EQ(kept[0], kept[1]);
  const auto* note = dynamic_cast<const Notification*>(kept[0].get());
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->name(), std::optional<std::u16string>(u"n"));
  EXPECT_EQ(note->object(), sender.get());
  sender.reset();
  EXPECT_EQ(note->object(), nullptr);
  center().removeObserver(r.get());
}

// Objects placed in one buffer with separate ownership, so that a second
// object lands exactly at the address of a first one that has died.
alignas(Object) unsigned char spot[sizeof(Object)];

std::shared_ptr<Object> objectInSpot() {
  return std::shared_ptr<Object>(::new (static_cast<void*>(spot)) Object(),
                                 [](Object* o) { o->~Object(); });
}

TEST_F(Center, ADeadSendersAddressDoesNotCarryItsListeners) {
  auto sender = objectInSpot();
  const Object* address = sender.get();
  auto r = listen(u"n", sender.get());
  center().postNotificationName(u"n", sender.get());
  EXPECT_EQ(r->names.size(), 1u);
  sender.reset();
  auto impostor = objectInSpot();
  ASSERT_EQ(impostor.get(), address);
  center().postNotificationName(u"n", impostor.get());
  EXPECT_EQ(r->names.size(), 1u);
  impostor.reset();
  center().removeObserver(r.get());
}

TEST_F(Center, RegistryIsSafeAcrossThreads) {
  constexpr int kThreads = 3;
  constexpr int kRounds = 100;
  std::atomic<int> delivered{0};
  class Counter : public Object {
   public:
    explicit Counter(std::atomic<int>* n) : n_(n) {}
    void hit(Notification&) { n_->fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int>* n_;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string name = u"thread" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      for (int i = 0; i < kRounds; ++i) {
        auto c = std::make_shared<Counter>(&delivered);
        center().addObserver(c, selector(&Counter::hit), name, nullptr);
        center().postNotificationName(name, nullptr);  // this thread's observer only
        center().removeObserver(c.get());
        center().postNotificationName(name, nullptr);  // nobody
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(delivered.load(), kThreads * kRounds);
}

}  // namespace
}  // namespace fw
