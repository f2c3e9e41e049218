#include "platform/plist/plist_events.h"

#include <vector>

#include "platform/plist/xml/text.h"
#include "platform/strings/unicode.h"

namespace fw::plist {

std::u16string EventText::toUtf16() const {
  if (wide_) return std::u16string(utf16_);
  std::u16string out;
  out.reserve(utf8_.size());
  appendUtf8ToUtf16Lossy(out, utf8_);  // validated by the reader that sent it
  return out;
}

SharedString EventText::toShared() const {
  if (wide_) return SharedString(utf16_);
  return SharedString::fromUtf8(utf8_);
}

void replayEvents(const Value& root, PropertyListEvents& events) {
  // An explicit stack, so that no tree is too deep to replay.
  struct Step {
    const Value* container;
    std::size_t next;
  };
  std::vector<Step> stack;
  const Value* value = &root;
  for (;;) {
    if (value) {
      switch (value->kind()) {
        case Kind::String: events.string(EventText(*value->asString())); break;
        case Kind::Data: events.data(*value->asData()); break;
        case Kind::Array:
          events.beginArray();
          stack.push_back({value, 0});
          break;
        case Kind::Dictionary:
          events.beginDictionary();
          stack.push_back({value, 0});
          break;
        default: events.scalar(*value); break;
      }
      value = nullptr;
    }
    if (stack.empty()) return;
    Step& top = stack.back();
    if (const Array* items = top.container->asArray()) {
      if (top.next < items->size()) {
        value = &(*items)[top.next++];
        continue;
      }
      events.endArray();
    } else {
      const Dictionary& dict = *top.container->asDictionary();
      if (top.next < dict.size()) {
        const auto& [k, v] = *(dict.begin() + static_cast<std::ptrdiff_t>(top.next++));
        events.key(EventText(k.view()));
        value = &v;
        continue;
      }
      events.endDictionary();
    }
    stack.pop_back();
  }
}

}  // namespace fw::plist
