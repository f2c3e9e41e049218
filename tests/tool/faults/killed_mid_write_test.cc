// The tool killed with SIGKILL while it writes a large snapshot, 100 times
// (40 under AddressSanitizer, where each run is slower): whatever the
// moment, the snapshot path holds a complete snapshot, the earlier one or
// the new one, and the temporaries of killed runs do not pile up.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/file_manager.h"
#include "platform/strings/unicode.h"
#include "tests/support/run_tool.h"

namespace fw {
namespace {

using namespace test_support;
using Clock = std::chrono::steady_clock;

std::vector<std::string> temporaries(const TempHome& home) {
  std::vector<std::string> out;
  for (const std::string& name : home.tmpListing()) {
    if (name != "FwLibraryCore.plist") out.push_back(name);
  }
  return out;
}

TEST(KilledMidWrite, LeavesACompleteSnapshotAndNoPileOfTemporaries) {
  TempHome home("fwkit-kill");
  const int tracks = kSanitized ? 2000 : 6000;
  home.library(trackLibrary(tracks, "new"));
  ToolResult r = runTool(home);
  ASSERT_EQ(r.status, 0) << r.describe();
  const std::string newer = readBytes(home.snapshotPath());
  home.library(trackLibrary(tracks, "old"));
  const auto start = Clock::now();
  r = runTool(home);
  const auto whole = Clock::now() - start;
  ASSERT_EQ(r.status, 0) << r.describe();
  const std::string earlier = readBytes(home.snapshotPath());
  ASSERT_GT(earlier.size(), 256u << 10);
  ASSERT_NE(earlier, newer);
  home.library(trackLibrary(tracks, "new"));

  // Half the kills fall anywhere in a run; the other half after the
  // temporary has appeared, that is while the snapshot is being written. The
  // delay after it appears adapts to this machine's speed: shorter after a
  // run that finished first, longer after one killed mid-write.
  std::mt19937 random(20261209);
  using us = std::chrono::microseconds;
  const long wholeUs = std::chrono::duration_cast<us>(whole).count();
  long appearUs = wholeUs / 2, writeUs = wholeUs / 4;
  int duringWrite = 0, completed = 0;
  const int kKills = kSanitized ? 40 : 100;
  for (int i = 0; i < kKills; ++i) {
    SCOPED_TRACE("kill " + std::to_string(i));
    ToolProcess tool(home, {});
    const auto spawned = Clock::now();
    if (i % 2 == 0) {
      std::this_thread::sleep_for(us(random() % (appearUs + writeUs + 1)));
    } else {
      const auto deadline = spawned + 10 * whole;
      while (temporaries(home).empty() && Clock::now() < deadline) {
        std::this_thread::sleep_for(us(200));
      }
      appearUs = std::chrono::duration_cast<us>(Clock::now() - spawned).count();
      std::this_thread::sleep_for(us(random() % (writeUs + 1)));
    }
    const bool writing = !temporaries(home).empty();
    tool.kill(SIGKILL);
    const ToolResult killed = tool.wait();
    ASSERT_TRUE(killed.signal == SIGKILL || killed.status == 0) << killed.describe();
    if (killed.status == 0) {
      ++completed;
      writeUs = writeUs * 2 / 3;
    } else if (writing) {
      ++duringWrite;
      writeUs = writeUs * 5 / 4 + 100;
    }
    const std::string now = readBytes(home.snapshotPath());
    ASSERT_TRUE(now == earlier || now == newer) << "snapshot of " << now.size() << " bytes";
    // Each run removes what killed runs left before it makes its own.
    ASSERT_LE(temporaries(home).size(), 1u);
  }
  r = runTool(home);
  ASSERT_EQ(r.status, 0) << r.describe();
  EXPECT_EQ(readBytes(home.snapshotPath()), newer);
  EXPECT_EQ(home.tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
  EXPECT_GE(duringWrite, kKills / 5) << "too few kills landed while the snapshot was written";
  std::printf("%d kills, %d of them mid-write, %d runs finished first; a whole run %.0f ms\n",
              kKills, duringWrite, completed, static_cast<double>(wholeUs) / 1000.0);
}

// Only the temporaries of the one path, as its atomic writes name them,
// regular and not held by a live write, are removed.
TEST(KilledMidWrite, CleanupRemovesOnlyAbandonedTemporariesOfThatPath) {
  TempHome home("fwkit-clean");
  const fs::path dir = home.tmp();
  struct Entry {
    const char* name;
    bool removed;
  };
  const Entry entries[] = {
      {".FwLibraryCore.plist.Ab3dE9", true},  {".FwLibraryCore.plist.zzzzzz", true},
      {".FwLibraryCore.plist.Ab3dE", false},  {".FwLibraryCore.plist.Ab3dE90", false},
      {".FwLibraryCore.plist.Ab-dE9", false}, {"FwLibraryCore.plist.Ab3dE9", false},
      {".Other.plist.Ab3dE9", false},         {".FwLibraryCore.plist.Held00", false},
  };
  for (const Entry& e : entries) writeFile(dir / e.name, "partial");
  writeFile(dir / "FwLibraryCore.plist", "snapshot");
  writeFile(home.root() / "outside", "keep");
  fs::create_symlink(home.root() / "outside", dir / ".FwLibraryCore.plist.Link00");
  fs::create_directory(dir / ".FwLibraryCore.plist.Dir000");
  const int held = ::open((dir / ".FwLibraryCore.plist.Held00").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  const FileManager& fm = FileManager::defaultManager();
  EXPECT_EQ(fm.removeAbandonedTemporaries(utf8ToUtf16Lossy(home.snapshotPath().string())), 2u);
  ::close(held);
  for (const Entry& e : entries) EXPECT_EQ(fs::exists(dir / e.name), !e.removed) << e.name;
  EXPECT_TRUE(fs::is_symlink(dir / ".FwLibraryCore.plist.Link00"));
  EXPECT_EQ(readBytes(home.root() / "outside"), "keep");
  EXPECT_TRUE(fs::is_directory(dir / ".FwLibraryCore.plist.Dir000"));
  EXPECT_EQ(readBytes(home.snapshotPath()), "snapshot");
}

}  // namespace
}  // namespace fw
