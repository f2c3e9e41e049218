// A program outside the project, built only against the installed tree. It
// touches one operation of each installed library, so a missing header, a
// library left out of the link line or an unexported dependency fails here.
#include <cstdio>
#include <memory>
#include <vector>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "extensions/objects/array_misc.h"
#include "extensions/objects/object_events.h"
#include "extensions/text/string_extensions.h"
#include "platform/files/path.h"
#include "platform/graphics/text/text_attributes.h"
#include "platform/strings/unicode.h"

namespace {

bool check(bool ok, const char* what) {
  if (!ok) std::printf("consumer: unexpected result from %s\n", what);
  return ok;
}

}  // namespace

int main() {
  bool ok = true;
  const std::u16string joined = fw::stringByAppendingPathComponent(u"/tmp", u"a");
  ok &= check(fw::utf16ToUtf8Lossy(joined) == "/tmp/a", "stringByAppendingPathComponent");

  ok &= check(fw::trimmedString(u"  x y \n") == u"x y", "trimmedString");

  const std::vector<std::shared_ptr<int>> items{std::make_shared<int>(7)};
  ok &= check(fw::objectAtIndexA(&items, 0) == items[0] && !fw::objectAtIndexA(&items, 1),
              "objectAtIndexA");

  ok &= check(fw::Object::isLeopardOrHigher(), "isLeopardOrHigher");

  ok &= check(&fw::KvGrayColor(0.5f) == &fw::KvGrayColor(0.5f), "KvGrayColor");

  fw::TextAttributes attributes;
  const fw::ImagePtr image = fw::imageWithAttributes(u"Hi", attributes);
  ok &= check(image != nullptr && image->size().width > 0, "imageWithAttributes");

  if (!ok) return 1;
  std::puts("consumer: ok");
  return 0;
}
