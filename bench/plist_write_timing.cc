// plist-write-timing N OUT
//
// Builds the N-entry string-to-string dictionary of the binary-write
// benchmark, writes it with our binary writer, saves it to OUT and prints
// "seconds bytes". Only the write is timed, as plistlib.dumps is on the
// Python side. The dictionary is the same one bench/compare.d builds in
// Python: key i is "track 0000042.m4a" (one in a hundred "Café track
// 0000042.m4a"), and its value is one of N/100 folders, shared by the 100
// keys that lie in it, as a folder scan shares its parent paths.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/plist/binary/writer.h"
#include "platform/strings/unicode.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: plist-write-timing N OUT\n");
    return 2;
  }
  const long n = std::strtol(argv[1], nullptr, 10);
  using fw::plist::SharedString;
  using fw::plist::Value;
  fw::plist::Dictionary dict;
  dict.reserve(static_cast<std::size_t>(n));
  SharedString folder;
  char buf[128];
  for (long i = 0; i < n; ++i) {
    if (i % 100 == 0) {
      const long j = i / 100;
      std::snprintf(buf, sizeof buf, "~/Music/Library/Artist %04ld/Album %02ld", j / 20, j % 20);
      folder = SharedString(fw::asciiToUtf16(buf));
    }
    std::snprintf(buf, sizeof buf, "%strack %07ld.m4a", i % 100 == 7 ? "Caf\xC3\xA9 " : "", i);
    dict.set(SharedString(*fw::utf8ToUtf16(buf)), Value::string(folder));
  }
  const Value root = Value::dictionary(std::move(dict));
  const auto start = std::chrono::steady_clock::now();
  std::string reason;
  const auto bytes = fw::plist::writeBinaryPropertyList(root, &reason);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (!bytes) {
    std::fprintf(stderr, "plist-write-timing: %s\n", reason.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes->data()),
            static_cast<std::streamsize>(bytes->size()));
  if (!out) return 1;
  std::printf("%.6f %zu\n", took.count(), bytes->size());
  return 0;
}
