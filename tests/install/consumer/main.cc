// A program outside the project, built only against the installed tree.
#include <cstdio>

#include "platform/path.h"
#include "platform/unicode.h"

int main() {
  const std::u16string joined = fw::stringByAppendingPathComponent(u"/tmp", u"a");
  if (fw::utf16ToUtf8Lossy(joined) != "/tmp/a") {
    std::puts("consumer: unexpected result");
    return 1;
  }
  std::puts("consumer: ok");
  return 0;
}
