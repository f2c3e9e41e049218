// Uses every member fw::Object declares, linked with fwkit::platform_runtime
// and nothing else: a member defined in a library above it fails the link.
#include <cstdio>
#include <memory>

#include "platform/runtime/loop/run_loop.h"
#include "platform/runtime/loop/timer.h"
#include "platform/runtime/object.h"

namespace {

struct Receiver : fw::Object {
  int calls = 0;
  void hit(fw::Object&) { ++calls; }
};

}  // namespace

int main() {
  auto receiver = std::make_shared<Receiver>();
  receiver->listenForNotification(u"Ping", fw::selector(&Receiver::hit));
  receiver->listenForNotification(u"Ping", fw::selector(&Receiver::hit), receiver.get());
  receiver->postNotificationAboutSelfLater(u"Ping");
  fw::RunLoop::runPending();
  const auto timer = receiver->repeatingTimerWithTimeInterval(1000, fw::selector(&Receiver::hit));
  timer->invalidate();
  receiver->stopListening();
  (void)fw::Object::isLeopardOrHigher();
  receiver->kill();
  (void)receiver->copyWithZone(nullptr);
  (void)receiver->description();
  if (receiver->calls == 0) {
    std::puts("runtime_only: the later post reached no registration");
    return 1;
  }
  std::puts("runtime_only: ok");
  return 0;
}
