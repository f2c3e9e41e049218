// The tree changes under the walk: a mutator thread creates, deletes and
// renames files and folders as fast as it can, moves folders out of the
// root into a decoy folder and back, and swaps folders for links to /etc,
// while the tool walks a tree of about 50,000 entries. Rounds alternate the
// walk back ends, and few open files (so that the walk closes shallow
// folders on the way down and reopens them through ".." on the way back)
// with the usual limit (so that many threads walk at once).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"
#include "tests/support/snapshot.h"

namespace fw {
namespace {

using namespace test_support;

constexpr int kTop = 10, kMiddle = 10, kLow = 10, kLeaves = 5, kFilesPerLevel = 3;

// t<i>/u<j>/v<k>: the folders the mutator moves.
fs::path lowFolder(const fs::path& root, unsigned t, unsigned u, unsigned v) {
  return root / ("t" + std::to_string(t)) / ("u" + std::to_string(u)) / ("v" + std::to_string(v));
}

// t/u/v/w<l>/x/y/z with files at x, y and z: chains deeper than the tool's
// descriptor budget, so that t, u and v are closed while a chain is walked.
// Every file name is unique, so the snapshot holds every file found.
int buildTree(const fs::path& root) {
  int files = 0;
  for (int t = 0; t < kTop; ++t) {
    for (int u = 0; u < kMiddle; ++u) {
      for (int v = 0; v < kLow; ++v) {
        for (int w = 0; w < kLeaves; ++w) {
          fs::path p = lowFolder(root, t, u, v) / ("w" + std::to_string(w));
          for (const char* level : {"x", "y", "z"}) {
            p /= level;
            for (int f = 0; f < kFilesPerLevel; ++f) {
              writeFile(p / ("f" + std::to_string(files++)), "");
            }
          }
        }
      }
    }
  }
  return files;
}

// The decoy holds folders named like the tree's, full of files whose names
// give them away; a walk that climbs out of a moved folder into the decoy
// and goes on with the names it listed inside the root would find them.
void buildDecoy(const fs::path& decoy) {
  for (const char* prefix : {"t", "u", "v", "w"}) {
    for (int i = 0; i < 10; ++i) {
      const std::string name = prefix + std::to_string(i);
      for (const char* level : {"", "x", "x/y", "x/y/z"}) {
        writeFile(decoy / name / level / ("OUTSIDE-" + name), "");
      }
    }
  }
}

// Every operation on random folders of the tree until `stop`. Up to eight
// folders at once are moved to the decoy or swapped for links, and come back
// a few operations later, so the tree keeps its size.
void mutate(const fs::path& root, const fs::path& decoy, unsigned seed,
            const std::atomic<bool>& stop) {
  std::mt19937 random(seed);
  std::error_code ignored;
  std::vector<std::pair<fs::path, fs::path>> away;  // each moved folder's place, and where it is
  auto low = [&] { return lowFolder(root, random() % kTop, random() % kMiddle, random() % kLow); };
  // Never through one of its own links, which lead into the real /etc.
  auto isFolder = [](const fs::path& p) { return fs::is_directory(fs::symlink_status(p)); };
  auto bringBack = [&] {
    fs::remove(away.front().first, ignored);  // the link standing there, if any
    fs::rename(away.front().second, away.front().first, ignored);
    away.erase(away.begin());
  };
  for (unsigned long n = 0; !stop.load(); ++n) {
    const fs::path folder = low(), target = low();
    const fs::path extra = folder / ("new" + std::to_string(random() % 4));
    const unsigned op = random() % 7;
    if (op < 6 && (!isFolder(folder) || !isFolder(target))) continue;
    switch (op) {
      case 0: writeFile(extra, ""); break;
      case 1: fs::remove(extra, ignored); break;
      case 2: fs::rename(extra, target / ("moved" + std::to_string(n % 4)), ignored); break;
      case 3: fs::create_directory(extra, ignored); break;
      case 4:    // a folder, and a walk perhaps deep inside it, moved out of the root
      case 5: {  // a folder swapped for a link to /etc
        if (away.size() >= 8) break;
        const fs::path parked =
            op == 4 ? decoy / ("p" + std::to_string(n)) : fs::path(folder.string() + ".away");
        fs::rename(folder, parked, ignored);
        if (ignored) break;
        away.emplace_back(folder, parked);
        if (op == 5) fs::create_directory_symlink("/etc", folder, ignored);
        break;
      }
      default:
        if (!away.empty()) bringBack();
    }
  }
  while (!away.empty()) bringBack();
}

TEST(TreeChangesUnderTheWalk, NeverCrashesHangsOrLeavesTheRoot) {
  TempHome home("fwkit-race", /*inMemory=*/true);
  const fs::path root = home.home() / "root", decoy = home.home() / "decoy";
  const int files = buildTree(root);
  buildDecoy(decoy);
  home.preferences(key("save_directory", str("~/root")));
  std::set<std::string> etcNames;
  for (const auto& e : fs::directory_iterator("/etc")) etcNames.insert(e.path().filename());

  const std::vector<std::string> programs = snapshotPrograms();
  const int rounds = kSanitized ? 4 : 12;
  std::size_t fewest = SIZE_MAX;
  for (int round = 0; round < rounds; ++round) {
    ToolOptions options;
    options.program = programs[round / 2 % programs.size()];
    if (round % 2 == 0) options.openFiles = 16;  // a budget of 4 descriptors
    SCOPED_TRACE(options.program + " round " + std::to_string(round));
    ToolProcess tool(home, options);
    std::atomic<bool> stop{false};
    std::thread mutator(mutate, root, decoy, 1000 + round, std::cref(stop));
    const ToolResult r = tool.wait(std::chrono::seconds(kSanitized ? 60 : 20));
    stop = true;
    mutator.join();
    ASSERT_FALSE(r.timedOut) << r.describe();
    ASSERT_EQ(r.status, 0) << r.describe();
    const std::optional<Snapshot> s = readSnapshot(home.snapshotPath());
    ASSERT_TRUE(s) << "no valid snapshot";
    for (const auto& [name, parent] : s->namesToParentPaths) {
      ASSERT_TRUE(parent == "~/root" || parent.rfind("~/root/", 0) == 0)
          << name << " in " << parent;
      ASSERT_EQ(name.find("OUTSIDE"), std::string::npos) << name << " in " << parent;
      ASSERT_EQ(etcNames.count(name), 0u) << name << " in " << parent;
    }
    // Folders moved away or given up take their files with them, but most
    // of the tree is found in every round.
    EXPECT_GT(s->namesToParentPaths.size(), static_cast<std::size_t>(files) / 2);
    fewest = std::min(fewest, s->namesToParentPaths.size());
  }
  std::printf("%d rounds; at least %zu of %d files found in each\n", rounds, fewest, files);
}

}  // namespace
}  // namespace fw
