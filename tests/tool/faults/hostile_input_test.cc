// Hostile library and preference files, generated here at run time: every
// run ends with status 0, never by a signal, within a memory bound of about
// three times the file's size plus 50 MB, and a malformed library ends the
// media scan without its count line.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"

namespace fw {
namespace {

using namespace test_support;

constexpr long kSlackKb = 50 * 1024;

// The bound, in KiB. Under AddressSanitizer the shadow adds an eighth of
// what is allocated, and its quarantine is cut to 16 MB for these runs.
long memoryBoundKb(long fileKb) {
  const long bound = 3 * fileKb + kSlackKb;
  return kSanitized ? bound + bound / 8 + 2 * kSlackKb : bound;
}

bool logs(const ToolResult& r, const std::string& message) {
  const auto lines = r.messages();
  return std::find(lines.begin(), lines.end(), message) != lines.end();
}

std::string bigEndian(std::uint64_t value, int width) {
  std::string out(static_cast<std::size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i, value >>= 8) out[static_cast<std::size_t>(i)] = char(value & 0xFF);
  return out;
}

// A binary property list of the given objects, numbered in order, object 0
// the root; `offsets` stands in for the true offset table when given.
std::string binaryPlist(const std::vector<std::string>& objects, int refSize,
                        std::vector<std::uint64_t> offsets = {}) {
  std::string out = "bplist00";
  const bool computed = offsets.empty();
  for (const std::string& o : objects) {
    if (computed) offsets.push_back(out.size());
    out += o;
  }
  const std::uint64_t table = out.size();
  for (std::uint64_t offset : offsets) out += bigEndian(offset, 4);
  out += std::string(6, '\0') + char(4) + char(refSize) + bigEndian(objects.size(), 8) +
         bigEndian(0, 8) + bigEndian(table, 8);
  return out;
}

std::string asciiObject(const std::string& s) { return char(0x50 + s.size()) + s; }

struct Hostile {
  const char* what;
  std::function<std::string()> bytes;
  bool countLine;  // whether the media scan still logs its count
};

// Runs the tool once per case, with the file written by `place`.
void expectBounded(const std::vector<Hostile>& cases,
                   const std::function<void(const TempHome&, const std::string&)>& place,
                   bool library) {
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    TempHome home("fwkit-hostile", /*inMemory=*/true);
    std::string bytes = c.bytes();
    const long fileKb = static_cast<long>(bytes.size() / 1024);
    place(home, bytes);
    bytes = std::string();
    bytes.shrink_to_fit();
    ToolOptions options;
    if (kSanitized) {
      options.env.emplace_back("ASAN_OPTIONS", "detect_leaks=0:quarantine_size_mb=16");
    }
    const ToolResult r = runTool(home, options);
    ASSERT_EQ(r.signal, 0) << r.describe();
    EXPECT_EQ(r.status, 0) << r.describe();
    EXPECT_LE(r.peakKb, memoryBoundKb(fileKb)) << "file of " << fileKb << " KiB";
    EXPECT_TRUE(logs(r, "FwLibraryController: fs: 0")) << r.describe();
    if (library) {
      EXPECT_EQ(logs(r, "FwLibraryController: lb: 0"), c.countLine) << r.describe();
    }
    std::printf("%-40s %8ld KiB file, %8ld KiB peak\n", c.what, fileKb, r.peakKb);
  }
}

TEST(HostileInput, Libraries) {
  const std::string track = "<dict><key>Name</key><string>a</string>"
                            "<key>Location</key><string>file:///m/a.mp3</string></dict>";
  const std::vector<Hostile> cases = {
      {"100,000-deep nested arrays",
       [] {
         std::string nested;
         for (int i = 0; i < 100000; ++i) nested += "<array>";
         for (int i = 0; i < 100000; ++i) nested += "</array>";
         return xmlPlist("<key>Tracks</key>" + nested);
       },
       false},
      {"a 200 MB string",
       [] {
         return xmlPlist("<key>Music Folder</key><string>" + std::string(200u << 20, 'm') +
                         "</string>");
       },
       true},
      {"truncated mid-element",
       [&] {
         const std::string whole = xmlPlist("<key>Tracks</key><dict><key>1</key>" + track + "</dict>");
         return whole.substr(0, whole.find("a.mp3") + 2);
       },
       false},
      {"invalid UTF-8",
       [&] {
         return xmlPlist("<key>Tracks</key><dict><key>1</key><dict><key>Name</key><string>\xff\xfe"
                         "</string></dict></dict>");
       },
       false},
  };
  expectBounded(cases, [](const TempHome& home, const std::string& bytes) { home.library(bytes); },
                true);
}

TEST(HostileInput, PreferenceFiles) {
  const std::vector<Hostile> cases = {
      {"offset table outside the file",
       [] { return binaryPlist({std::string(1, char(0xA0))}, 1, {0x7FFFFFF0}); }, true},
      {"a reference cycle",
       [] {
         // A dictionary whose "save_directory" is an array holding itself.
         return binaryPlist({std::string("\xD1\x01\x02", 3), asciiObject("save_directory"),
                             std::string("\xA1\x02", 2)},
                            1);
       },
       true},
      {"1,000,000-deep nesting",
       [] {
         constexpr std::uint32_t kDepth = 1000000;
         std::vector<std::string> objects;
         objects.reserve(kDepth);
         for (std::uint32_t i = 0; i + 1 < kDepth; ++i) objects.push_back("\xA1" + bigEndian(i + 1, 4));
         objects.emplace_back(1, char(0xA0));
         return binaryPlist(objects, 4);
       },
       true},
      {"a string claiming 2 GB",
       [] {
         return binaryPlist({std::string("\xD1\x01\x02", 3), asciiObject("save_directory"),
                             "\x5F\x12" + bigEndian(0x80000000u, 4) + "~/x"},
                            1);
       },
       true},
  };
  expectBounded(cases,
                [](const TempHome& home, const std::string& bytes) {
                  writeFile(home.home() / kPreferencesPath, bytes);
                },
                false);
}

}  // namespace
}  // namespace fw
