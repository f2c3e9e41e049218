// Times one markup conversion over a UTF-8 file and prints the best of a few
// runs in seconds, for bench/compare to set beside python3 on the same file.
// Usage: text_compare_bench unescape|xmlescape|quote|unquote FILE
// The file is converted to UTF-16 once, outside the timing.

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "extensions/text/string_extensions.h"
#include "platform/strings/unicode.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s unescape|xmlescape|quote|unquote FILE\n", argv[0]);
    return 2;
  }
  // python3 holds this text at one byte per character, so its results stay
  // under glibc's largest mmap threshold (32 MiB) and reuse the heap from run
  // to run. Ours are two bytes per unit and above it, so each run would pay
  // first-touch page faults for a fresh mapping and measure the kernel, not
  // the conversion. Raising the threshold gives both the same allocator.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const std::string op = argv[1];
  std::ifstream in(argv[2], std::ios::binary);
  const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::u16string text = fw::utf8ToUtf16Lossy(utf8);
  double best = 1e9;
  std::size_t sink = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    if (op == "unescape") {
      sink += fw::stringByRemovingHTMLEntities(text).size();
    } else if (op == "xmlescape") {
      sink += fw::xmlEscapedString(text).size();
    } else if (op == "quote") {
      sink += fw::escapedString(text).value_or(u"").size();
    } else if (op == "unquote") {
      sink += fw::unescapedString(text).value_or(u"").size();
    } else {
      std::fprintf(stderr, "unknown operation %s\n", op.c_str());
      return 2;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  std::printf("%.6f %zu\n", best, sink);
  return 0;
}
