#include "platform/runtime/event.h"

#include <cinttypes>
#include <cstdio>

#include "platform/strings/unicode.h"

namespace fw {

namespace {

const char* typeName(Event::Type type) {
  switch (type) {
    case Event::Type::MouseEntered: return "MouseEntered";
    case Event::Type::MouseExited: return "MouseExited";
    case Event::Type::MouseMoved: return "MouseMoved";
    case Event::Type::LeftMouseDown: return "LeftMouseDown";
    case Event::Type::LeftMouseUp: return "LeftMouseUp";
  }
  return "Unknown";
}

}  // namespace

std::u16string Event::description() const {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s at (%g, %g) window %" PRId64, typeName(type_), x_, y_,
                windowNumber_);
  return asciiToUtf16(buf);
}

}  // namespace fw
