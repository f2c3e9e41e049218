#pragma once

// fw::Object: the base of every object with identity.
//
// Objects are held by std::shared_ptr (create them with std::make_shared) and
// compared by address. Observers, timer targets and delayed-message targets
// are tracked through that ownership: the notification center holds its
// observers weakly, a delayed message and a timer hold their target strongly.
// An object that is not owned by a shared_ptr (on the stack, or inside its
// own constructor) can post, but cannot be registered as an observer or be
// the target of a delayed message or timer; those calls then do nothing.
//
// Every member is defined in fwkit_platform_runtime, beside the
// notification center, the run loop and the timers that the object-events
// shorthands (isLeopardOrHigher, postNotificationAboutSelfLater,
// listenForNotification, stopListening, repeatingTimerWithTimeInterval)
// call, so linking this library alone is enough to use them.
//
// A subclass overrides a fallback by defining the virtual of the same name.
// postNotificationAboutSelfLater sends the receiver's own (possibly
// overridden) postNotificationAboutSelf when the run loop runs it.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

class Event;
class Timer;

class Object;

// The name of an operation of the receiver taking one object argument
// (the notification, or the timer). Make one from a member function:
//   fw::selector(&MyView::windowMoved)   // void MyView::windowMoved(fw::Notification&)
// The receiver and argument are cast to the member function's classes; a
// receiver or argument of another class makes the call do nothing.
using Selector = std::function<void(Object& receiver, Object& argument)>;

template <class T, class Arg>
[[nodiscard]] Selector selector(void (T::*method)(Arg&)) {
  return [method](Object& receiver, Object& argument) {
    T* r = dynamic_cast<T*>(&receiver);
    Arg* a = dynamic_cast<Arg*>(&argument);
    if (r != nullptr && a != nullptr) (r->*method)(*a);
  };
}

class Object : public std::enable_shared_from_this<Object> {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  // What a log line shows for the object, e.g. u"<fw::Object 0x55d0c0a1e2b0>".
  [[nodiscard]] virtual std::u16string description() const;

  // --- Virtual fallbacks (fwkit_platform_runtime) ---

  // Posts `name` on the default center with the receiver as sender; the
  // observers run inside the call, on this thread.
  virtual void postNotificationAboutSelf(std::optional<std::u16string_view> name);
  // Write the one log line "errant mouseEntered: <event description>"
  // ("errant mouseExited: ..."); an absent event shows as "(null)".
  virtual void mouseEntered(const Event* event);
  virtual void mouseExited(const Event* event);
  // Does nothing.
  virtual void kill();
  // The receiver itself, as one more owning reference (nullptr when the
  // receiver is not owned by a shared_ptr). The zone is not used.
  [[nodiscard]] virtual std::shared_ptr<Object> copyWithZone(void* zone);

  // --- Object-events shorthands ---

  // True when floor(toolkit version) > 824.0: 825.0 and 949.0 answer true,
  // 824.0 and 824.9 false. The version is read anew at every call.
  [[nodiscard]] static bool isLeopardOrHigher();

  // Queues postNotificationAboutSelf(name) on this thread's run loop with no
  // delay; it never runs inside this call. Each call queues one post; the
  // receiver and the name stay alive until it is sent or cancelled.
  void postNotificationAboutSelfLater(std::optional<std::u16string_view> name);

  // Registers the receiver, weakly, for notifications named `name` (absent:
  // any name) from any sender, or only from `sender` (absent: any sender).
  // `sender` is not kept alive; once it has died, no other object that
  // takes its address reaches this registration (see NotificationCenter).
  void listenForNotification(std::optional<std::u16string_view> name, Selector selector);
  void listenForNotification(std::optional<std::u16string_view> name, Selector selector,
                             const Object* sender);

  // Ends every registration of the receiver, then cancels every delayed
  // message queued for it on this thread's run loop. Timers aimed at the
  // receiver keep firing.
  void stopListening();

  // A repeating timer on this thread's run loop that sends `selector` to the
  // receiver, with the timer as argument, every `interval` seconds, the first
  // time one interval from now. The timer keeps the receiver alive until it
  // is invalidated; keep the result to invalidate it. nullptr when the
  // receiver is not owned by a shared_ptr.
  [[nodiscard]] std::shared_ptr<Timer> repeatingTimerWithTimeInterval(double interval,
                                                                      Selector selector);
};

}  // namespace fw
