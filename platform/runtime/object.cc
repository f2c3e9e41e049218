#include "platform/runtime/object.h"

#include <cstdio>

#include "platform/diagnostics/log.h"
#include "platform/runtime/event.h"
#include "platform/runtime/notification_center.h"
#include "platform/strings/unicode.h"

namespace fw {

Object::~Object() = default;

std::u16string Object::description() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "<fw::Object %p>", static_cast<const void*>(this));
  return asciiToUtf16(buf);
}

void Object::postNotificationAboutSelf(std::optional<std::u16string_view> name) {
  NotificationCenter::defaultCenter().postNotificationName(name, this);
}

namespace {

void logErrant(std::u16string_view what, const Event* event) {
  std::u16string line(what);
  line += event != nullptr ? event->description() : std::u16string(u"(null)");
  logLine(std::u16string_view(line));
}

}  // namespace

void Object::mouseEntered(const Event* event) { logErrant(u"errant mouseEntered: ", event); }

void Object::mouseExited(const Event* event) { logErrant(u"errant mouseExited: ", event); }

void Object::kill() {}

std::shared_ptr<Object> Object::copyWithZone(void* /*zone*/) { return weak_from_this().lock(); }

}  // namespace fw
