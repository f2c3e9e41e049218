// Hostile library and preference files, generated here at run time: every
// run ends with status 0, never by a signal, within a memory bound of about
// three times the file's size plus 50 MB, or, for a library whose records
// are dropped as they are read, of the small library's peak plus a little;
// a malformed library ends the media scan without its count line.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
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

std::string bigEndian(std::uint64_t value, int width) {
  std::string out(static_cast<std::size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i, value >>= 8) {
    out[static_cast<std::size_t>(i)] = char(value & 0xFF);
  }
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
  std::function<void(std::ostream&)> write;
  const char* countLine = nullptr;  // the media scan's count line, if it still logs one
  long aboveSmallKb = 0;            // when set, the bound: the first case's peak plus this
};

// Runs the tool once per case, with the file written at `relative`.
void expectBounded(const std::vector<Hostile>& cases, const char* relative) {
  long smallKb = 0;
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    TempHome home("fwkit-hostile", /*inMemory=*/true);
    const fs::path file = home.home() / relative;
    fs::create_directories(file.parent_path());
    // Written in a child of its own: a forked child counts what its parent
    // holds, so the test never holds the file, nor what writing it freed.
    const pid_t writer = ::fork();
    if (writer == 0) {
      std::ofstream out(file, std::ios::binary);
      c.write(out);
      out.close();
      ::_exit(out ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_EQ(status, 0);
    const long fileKb = static_cast<long>(fs::file_size(file) / 1024);
    ToolOptions options;
    if (kSanitized) {
      options.env.emplace_back("ASAN_OPTIONS", "detect_leaks=0:quarantine_size_mb=16");
    }
    const ToolResult r = runTool(home, options);
    ASSERT_EQ(r.signal, 0) << r.describe();
    EXPECT_EQ(r.status, 0) << r.describe();
    if (smallKb == 0) smallKb = r.peakKb;
    if (c.aboveSmallKb == 0) {
      EXPECT_LE(r.peakKb, memoryBoundKb(fileKb)) << "file of " << fileKb << " KiB";
    } else {
      EXPECT_TRUE(kSanitized || r.peakKb <= smallKb + c.aboveSmallKb)
          << r.peakKb << " KiB against " << smallKb;
    }
    std::vector<std::string> expected = folderScanLines(0, 0);
    if (c.countLine) expected.emplace_back(c.countLine);
    EXPECT_EQ(r.messages(), expected) << r.describe();
    std::printf("%-40s %8ld KiB file, %8ld KiB peak\n", c.what, fileKb, r.peakKb);
  }
}

std::string track(int i, bool location) {
  return key(std::to_string(i), "<dict>") + "<key>Name</key><string>Track " + std::to_string(i) +
         " with a long enough name to cost something</string>" +
         (location ? key("Location", str("file:///m/" + std::to_string(i) + ".mp3"))
                   : key("Comments", str(std::string(200, 'c')))) +
         "</dict>";
}

// `n` tracks; after the declaration, a comment hands the file to expat.
void tracksOnly(std::ostream& out, int n, bool location, bool comment) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << (comment ? "<!-- c -->" : "") << "<plist version=\"1.0\"><dict><key>Tracks</key><dict>";
  for (int i = 0; i < n; ++i) out << track(i, location);
  out << "</dict></dict></plist>\n";
}

TEST(HostileInput, Libraries) {
  const char* kNone = "FwLibraryController: lb: 0";
  const std::vector<Hostile> cases = {
      {"small", [](std::ostream& out) { tracksOnly(out, 10, true, false); },
       "FwLibraryController: lb: 10"},
      {"60 MB, nothing kept", [](std::ostream& out) { tracksOnly(out, 200000, false, false); },
       kNone, 16 << 10},
      {"60 MB through expat, nothing kept",
       [](std::ostream& out) { tracksOnly(out, 200000, false, true); }, kNone, 16 << 10},
      {"1,000,000 arrays left open",
       [](std::ostream& out) {
         out << "<plist><dict><key>Tracks</key>";
         for (int i = 0; i < 1000000; ++i) out << "<array>";
       },
       nullptr, 16 << 10},
      {"100,000-deep nested arrays",
       [](std::ostream& out) {
         std::string nested;
         for (int i = 0; i < 100000; ++i) nested += "<array>";
         for (int i = 0; i < 100000; ++i) nested += "</array>";
         out << xmlPlist("<key>Tracks</key>" + nested);
       }},
      // Text is held whole while it is read: once, plus the buffer's slack.
      {"a 48 MB string in a track",
       [](std::ostream& out) {
         out << "<plist><dict><key>Tracks</key><dict>" << track(1, true)
             << "<key>2</key><dict><key>Comments</key><string>";
         const std::string mb(1 << 20, 'x');
         for (int i = 0; i < 48; ++i) out << mb;
         out << "</string></dict></dict></dict></plist>";
       },
       "FwLibraryController: lb: 1", 100 << 10},
      {"a 200 MB string",
       [](std::ostream& out) {
         out << xmlPlist(key("Music Folder", str(std::string(200u << 20, 'm'))));
       },
       kNone},
      // A name the snapshot keeps: one buffer for the set and the dictionary.
      {"a 200 MB track name",
       [](std::ostream& out) {
         out << "<plist><dict><key>Tracks</key><dict><key>1</key><dict><key>Name</key><string> ";
         const std::string mb(1 << 20, 'N');
         for (int i = 0; i < 200; ++i) out << mb;
         out << "</string>" << key("Location", str("file:///m/1.mp3"))
             << "</dict></dict></dict></plist>";
       },
       "FwLibraryController: lb: 1"},
      {"truncated mid-element",
       [](std::ostream& out) {
         const std::string whole = xmlPlist("<key>Tracks</key><dict>" + track(1, true) + "</dict>");
         out << whole.substr(0, whole.find(".mp3"));
       }},
      {"invalid UTF-8",
       [](std::ostream& out) {
         out << xmlPlist(
             "<key>Tracks</key><dict><key>1</key><dict><key>Name</key><string>\xff\xfe"
             "</string></dict></dict>");
       }},
  };
  expectBounded(cases, kLibraryPath);
}

TEST(HostileInput, PreferenceFiles) {
  const std::vector<Hostile> cases = {
      {"offset table outside the file",
       [](std::ostream& out) {
         out << binaryPlist({std::string(1, char(0xA0))}, 1, {0x7FFFFFF0});
       }},
      {"a reference cycle",
       [](std::ostream& out) {
         // A dictionary whose "save_directory" is an array holding itself.
         out << binaryPlist({std::string("\xD1\x01\x02", 3), asciiObject("save_directory"),
                             std::string("\xA1\x02", 2)},
                            1);
       }},
      {"1,000,000-deep nesting",
       [](std::ostream& out) {
         constexpr std::uint32_t kDepth = 1000000;
         std::vector<std::string> objects;
         objects.reserve(kDepth);
         for (std::uint32_t i = 1; i < kDepth; ++i) objects.push_back("\xA1" + bigEndian(i, 4));
         objects.emplace_back(1, char(0xA0));
         out << binaryPlist(objects, 4);
       }},
      {"a string claiming 2 GB",
       [](std::ostream& out) {
         out << binaryPlist({std::string("\xD1\x01\x02", 3), asciiObject("save_directory"),
                             "\x5F\x12" + bigEndian(0x80000000u, 4) + "~/x"},
                            1);
       }},
  };
  expectBounded(cases, kPreferencesPath);
}

}  // namespace
}  // namespace fw
