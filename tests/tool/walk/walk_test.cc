// The parallel walk against the sequential one: random trees walked on 1, 2
// and 8 threads over every back end must give the same snapshot bytes. (A
// tree that changes under the walk: tree_changes_test.cc.)

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"
#include "tests/support/snapshot.h"
#include "tool/walk/directory_walk.h"

namespace {

using namespace fw::test_support;

constexpr uid_t kNobody = 65534;

TEST(WalkThreads, ValuesOfTheVariable) {
  const int automatic = fw::automaticWalkThreads();
  struct Case {
    const char* value;
    int threads;
    bool valid;
  } cases[] = {
      {nullptr, automatic, true},
      {"", automatic, true},
      {"0", automatic, true},
      {"1", 1, true},
      {"8", 8, true},
      {"+3", 3, true},
      {"100000", 64, true},
      {"abc", automatic, false},
      {"-2", automatic, false},
      {"3x", automatic, false},
      {"0x4", automatic, false},
      {" ", automatic, false},
  };
  EXPECT_GE(automatic, 2);
  for (const Case& c : cases) {
    bool valid = !c.valid;
    EXPECT_EQ(fw::parseWalkThreads(c.value, &valid), c.threads) << (c.value ? c.value : "unset");
    EXPECT_EQ(valid, c.valid) << (c.value ? c.value : "unset");
  }
}

// A random tree with what the walk must record from it, kept apart from the
// walk's own code: the distinct names and large sizes it can reach.
class RandomTree {
 public:
  RandomTree(const fs::path& top, unsigned seed, bool unreadable)
      : rng_(seed), unreadable_(unreadable), outside_(top / "elsewhere") {
    fs::create_directories(outside_ / "inside-a-link");
    writeFile(outside_ / "inside-a-link" / "behind-a-link.txt", "x");
    writeFile(outside_ / "target.bin", "x");
    for (int i = 0; i < 3; ++i) fill(top / ("root" + std::to_string(i)), 0, true);
  }
  std::size_t names() const { return names_.size(); }
  std::size_t sizes() const { return sizes_.size(); }

 private:
  void fill(const fs::path& dir, int depth, bool seen) {
    fs::create_directories(dir);
    static const char* kShared[] = {"cover.jpg", "README", ".DS_Store", "track 01.mp3", "notes"};
    static const std::int64_t kLarge[] = {10485761, 10485761 + 4096, 1LL << 34};
    const int entries = depth == 0 ? 12 : static_cast<int>(rng_() % 9);
    for (int i = 0; i < entries; ++i) {
      const std::string unique = "f" + std::to_string(serial_++);
      switch (rng_() % (depth < 5 ? 11 : 6)) {
        case 0:
        case 1: {
          const char* name = kShared[rng_() % 5];
          writeFile(dir / name, "shared");
          record(name, seen);
          break;
        }
        case 2: {
          const std::int64_t size = kLarge[rng_() % 3];
          sizedFile(dir / (unique + ".mkv"), size);
          record(unique + ".mkv", seen);
          if (seen) sizes_.insert(size);
          break;
        }
        case 3:
          sizedFile(dir / (unique + ".exact"), 10485760);
          record(unique + ".exact", seen);
          break;
        case 4:
          fs::create_symlink(outside_ / "target.bin", dir / (unique + ".link"));
          record(unique + ".link", seen);
          fs::create_symlink(outside_ / "inside-a-link", dir / (unique + ".dirlink"));
          fs::create_symlink(dir / "missing", dir / (unique + ".dangling"));
          break;
        case 5:
          writeFile(dir / (unique + "-bad\xff.txt"), "");
          record(unique + "-bad\xef\xbf\xbd.txt", seen);
          break;
        case 6: fill(dir / (".hidden" + unique), depth + 1, false); break;
        case 7:
          if (unreadable_) {
            fill(dir / (unique + "-closed"), depth + 1, false);
            ::chmod((dir / (unique + "-closed")).c_str(), 0);
            break;
          }
          [[fallthrough]];
        default: fill(dir / ("d" + unique), depth + 1, seen); break;
      }
    }
  }
  void record(const std::string& name, bool seen) {
    if (seen) names_.insert(name);
  }

  std::mt19937 rng_;
  bool unreadable_;
  fs::path outside_;
  int serial_ = 0;
  std::set<std::string> names_;
  std::set<std::int64_t> sizes_;
};

// Opens the temporary home to an unprivileged user, so that a test running
// as root can still see an unreadable folder skipped.
std::optional<uid_t> openToNobody(const TempHome& home) {
  if (::geteuid() != 0) return std::nullopt;
  for (fs::path p = home.tmp(); p != p.root_path(); p = p.parent_path()) {
    if (p == home.root().parent_path()) break;
    ::chmod(p.c_str(), 0777);
  }
  return kNobody;
}

TEST(ParallelWalk, RandomTreesGiveTheSameBytesOnEveryThreadCountAndBackEnd) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    TempHome home("walk-random", true);
    const std::optional<uid_t> user = openToNobody(home);
    RandomTree tree(home.home() / "t", seed, true);
    // A root listed twice and a root inside another: walked each time.
    home.preferences(
        key("save_directory", str("~/t/root0")) +
        key("kFwSharedDirectories", strings({"~/t/root1", home.home().string() + "/t/root2",
                                             "~/t/root0", "~/t/root1/.hidden-root"})));
    std::string first;
    for (const std::string& program : snapshotPrograms()) {
      for (const char* threads : {"1", "2", "8"}) {
        SCOPED_TRACE(program + " threads " + threads + " seed " + std::to_string(seed));
        ToolOptions options;
        options.program = program;
        options.user = user;
        options.env = {{"FWKIT_WALK_THREADS", threads}};
        ToolResult r = runTool(home, options);
        ASSERT_EQ(r.status, 0) << r.describe();
        EXPECT_EQ(r.messages(), folderScanLines(tree.names(), tree.sizes()));
        const std::string bytes = readBytes(home.snapshotPath());
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first);
      }
    }
  }
}

TEST(ParallelWalk, InvalidThreadCountIsLoggedOnceAndTheWalkGoesOn) {
  TempHome home("walk-env");
  for (int i = 0; i < 30; ++i) writeFile(home.home() / ("r/d" + std::to_string(i)) / "a.txt", "");
  home.preferences(key("save_directory", str("~/r")) + key("kFwSharedDirectories", str("~/r")));
  for (const char* value : {"-3", "many"}) {
    ToolOptions options;
    options.env = {{"FWKIT_WALK_THREADS", value}};
    ToolResult r = runTool(home, options);
    ASSERT_EQ(r.status, 0) << r.describe();
    std::vector<std::string> expected = folderScanLines(1, 0);
    expected.insert(expected.begin(), std::string("FWKIT_WALK_THREADS: ignoring \"") + value +
                                          "\", not a thread count; choosing automatically");
    EXPECT_EQ(r.messages(), expected);
  }
}

}  // namespace
