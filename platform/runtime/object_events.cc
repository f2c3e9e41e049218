// The object-events shorthands declared in object.h: thin calls into the
// notification center, the run loop and the timers of this layer.

#include <cmath>
#include <string>
#include <utility>

#include "platform/runtime/loop/run_loop.h"
#include "platform/runtime/loop/timer.h"
#include "platform/runtime/notification_center.h"
#include "platform/runtime/object.h"
#include "platform/runtime/toolkit_version.h"

namespace fw {

bool Object::isLeopardOrHigher() { return std::floor(toolkitVersionNumber()) > 824.0; }

void Object::postNotificationAboutSelfLater(std::optional<std::u16string_view> name) {
  std::optional<std::u16string> kept;
  if (name) kept.emplace(*name);
  // A message to the receiver's own, possibly overridden, postNotificationAboutSelf.
  performSelector(
      weak_from_this().lock(),
      [kept = std::move(kept)](Object& receiver) {
        receiver.postNotificationAboutSelf(kept ? std::optional<std::u16string_view>(*kept)
                                                : std::nullopt);
      },
      0.0);
}

void Object::listenForNotification(std::optional<std::u16string_view> name, Selector selector) {
  listenForNotification(name, std::move(selector), nullptr);
}

void Object::listenForNotification(std::optional<std::u16string_view> name, Selector selector,
                                   const Object* sender) {
  NotificationCenter::defaultCenter().addObserver(weak_from_this(), std::move(selector), name,
                                                  sender);
}

void Object::stopListening() {
  NotificationCenter::defaultCenter().removeObserver(this);
  cancelPreviousPerformRequestsWithTarget(this);
}

std::shared_ptr<Timer> Object::repeatingTimerWithTimeInterval(double interval, Selector selector) {
  return Timer::scheduledTimerWithTimeInterval(interval, weak_from_this().lock(),
                                               std::move(selector), nullptr, true);
}

}  // namespace fw
