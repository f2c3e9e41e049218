// The tree changes under the walk: a mutator process creates, deletes and
// renames files and folders as fast as it can, moves folders out of the
// root into a decoy folder and back, and swaps folders for links to /etc,
// while the tool walks a tree of about 50,000 entries. The tool is run with
// few open files, so that it closes shallow folders on the way down and
// reopens them through ".." on the way back.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"
#include "tests/support/snapshot.h"

namespace fw {
namespace {

using namespace test_support;

constexpr std::size_t kAwayAtOnce = 8;
constexpr int kTop = 10, kMiddle = 10, kLow = 10, kLeaves = 5, kFilesPerLeaf = 7;

void touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

// t<i>/u<j>/v<k>/w<l>/x/y/z with files at every level: 10 x 10 x 10 x 5
// deep chains, about 50,000 entries. The chains are deeper than the tool's
// descriptor budget, so t, u and v are closed while a chain is walked.
std::string lowFolder(const std::string& root, int t, int u, int v) {
  return root + "/t" + std::to_string(t) + "/u" + std::to_string(u) + "/v" + std::to_string(v);
}

// Every file name is unique, so the snapshot holds every file found.
int buildTree(const std::string& root, int& files) {
  int entries = 0;
  auto dir = [&](const std::string& p) {
    ::mkdir(p.c_str(), 0755);
    ++entries;
  };
  for (int t = 0; t < kTop; ++t) {
    dir(root + "/t" + std::to_string(t));
    for (int u = 0; u < kMiddle; ++u) {
      dir(root + "/t" + std::to_string(t) + "/u" + std::to_string(u));
      for (int v = 0; v < kLow; ++v) {
        const std::string low = lowFolder(root, t, u, v);
        dir(low);
        for (int w = 0; w < kLeaves; ++w) {
          std::string p = low + "/w" + std::to_string(w);
          dir(p);
          for (const char* level : {"x", "y", "z"}) {
            p += std::string("/") + level;
            dir(p);
            for (int f = 0; f < kFilesPerLeaf / 3 + 1; ++f) {
              touch(p + "/f" + std::to_string(files++));
              ++entries;
            }
          }
        }
      }
    }
  }
  return entries;
}

// The decoy holds folders named like the tree's, full of files whose names
// give them away; a walk that climbs out of a moved folder into the decoy
// and goes on with the names it listed inside the root would find them.
void buildDecoy(const std::string& decoy) {
  ::mkdir(decoy.c_str(), 0755);
  for (const char* prefix : {"t", "u", "v", "w"}) {
    for (int i = 0; i < 10; ++i) {
      const std::string d = decoy + "/" + prefix + std::to_string(i);
      ::mkdir(d.c_str(), 0755);
      touch(d + "/OUTSIDE-" + prefix + std::to_string(i));
      for (const char* level : {"x", "x/y", "x/y/z"}) {
        ::mkdir((d + "/" + level).c_str(), 0755);
        touch(d + "/" + level + "/OUTSIDE-deep");
      }
    }
  }
}

// Runs until killed: every operation on random folders of the tree, as fast
// as it can. Folders moved to the decoy or swapped for links come back a
// few operations later, so the tree keeps its size.
[[noreturn]] void mutate(const std::string& root, const std::string& decoy, unsigned seed) {
  std::mt19937 random(seed);
  std::string parkedName;
  auto low = [&] {
    const unsigned t = random() % kTop, u = random() % kMiddle, v = random() % kLow;
    parkedName = "/p" + std::to_string(t) + "_" + std::to_string(u) + "_" + std::to_string(v);
    return lowFolder(root, t, u, v);
  };
  struct Away {
    std::string home, parked;
    bool link;  // a link to /etc stands at home meanwhile
  };
  std::vector<Away> away;
  // Never through one of its links, which lead into the real /etc: it makes
  // them itself, so a check just before each change holds.
  auto isLink = [](const std::string& folder) {
    struct stat st;
    return ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
  };
  for (unsigned long n = 0;; ++n) {
    const std::string target = low();
    const std::string folder = low();
    const std::string extra = folder + "/new" + std::to_string(random() % 4);
    const unsigned op = random() % 8;
    if (op < 5 && (isLink(folder) || isLink(target))) continue;
    switch (op) {
      case 0: touch(extra); break;
      case 1: ::unlink(extra.c_str()); break;
      case 2: ::rename(extra.c_str(), (target + "/moved" + std::to_string(n % 4)).c_str()); break;
      case 3: ::mkdir(extra.c_str(), 0755); break;
      case 4: ::rmdir(extra.c_str()); break;
      case 5: {  // a folder, and a walk perhaps deep inside it, moved out of the root
        if (isLink(folder) || away.size() >= kAwayAtOnce) break;
        const std::string parked = decoy + parkedName;
        if (::rename(folder.c_str(), parked.c_str()) == 0) away.push_back({folder, parked, false});
        break;
      }
      case 6: {  // a folder swapped for a link to /etc
        if (isLink(folder) || away.size() >= kAwayAtOnce) break;
        const std::string parked = folder + ".away";
        if (::rename(folder.c_str(), parked.c_str()) == 0) {
          if (::symlink("/etc", folder.c_str()) == 0) {
            away.push_back({folder, parked, true});
          } else {
            ::rename(parked.c_str(), folder.c_str());
          }
        }
        break;
      }
      default:
        if (!away.empty()) {
          const Away back = away.front();
          away.erase(away.begin());
          if (back.link) ::unlink(back.home.c_str());
          ::rename(back.parked.c_str(), back.home.c_str());
        }
    }
  }
}

// Puts back what a killed mutator left moved away or swapped for a link.
void restore(const std::string& root, const std::string& decoy) {
  for (int t = 0; t < kTop; ++t) {
    for (int u = 0; u < kMiddle; ++u) {
      for (int v = 0; v < kLow; ++v) {
        const std::string home = lowFolder(root, t, u, v);
        struct stat st;
        if (::lstat(home.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(home.c_str());
        ::rename((home + ".away").c_str(), home.c_str());
        const std::string parked = decoy + "/p" + std::to_string(t) + "_" + std::to_string(u) +
                                   "_" + std::to_string(v);
        ::rename(parked.c_str(), home.c_str());
      }
    }
  }
}

TEST(TreeChangesUnderTheWalk, NeverCrashesHangsOrLeavesTheRoot) {
  TempHome home("fwkit-race", /*inMemory=*/true);
  const std::string root = (home.home() / "root").string();
  const std::string decoy = (home.home() / "decoy").string();
  ::mkdir(root.c_str(), 0755);
  int files = 0;
  EXPECT_GE(buildTree(root, files), 45000);
  buildDecoy(decoy);
  home.preferences(key("save_directory", str("~/root")));
  std::set<std::string> etcNames;
  for (const auto& e : fs::directory_iterator("/etc")) etcNames.insert(e.path().filename());

  const int rounds = kSanitized ? 3 : 12;
  int recordedMost = 0;
  std::size_t fewest = SIZE_MAX;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t mutator = ::fork();
    ASSERT_GE(mutator, 0);
    if (mutator == 0) mutate(root, decoy, 1000 + round);
    ToolOptions options;
    options.openFiles = 16;  // a budget of 4 descriptors
    ToolProcess tool(home, options);
    const ToolResult r = tool.wait(std::chrono::seconds(kSanitized ? 60 : 20));
    ::kill(mutator, SIGKILL);
    ::waitpid(mutator, nullptr, 0);
    restore(root, decoy);
    ASSERT_FALSE(r.timedOut) << r.describe();
    ASSERT_EQ(r.status, 0) << r.describe();
    const std::optional<Snapshot> s = readSnapshot(home.snapshotPath());
    ASSERT_TRUE(s) << "no valid snapshot";
    for (const auto& [name, parent] : s->namesToParentPaths) {
      ASSERT_TRUE(parent == "~/root" || parent.rfind("~/root/", 0) == 0) << name << " in " << parent;
      ASSERT_EQ(name.find("OUTSIDE"), std::string::npos) << name << " in " << parent;
      ASSERT_EQ(etcNames.count(name), 0u) << name << " in " << parent;
    }
    // Folders moved away or given up take their files with them, but most
    // of the tree is found in every round.
    if (s->namesToParentPaths.size() > static_cast<std::size_t>(files) / 2) ++recordedMost;
    fewest = std::min(fewest, s->namesToParentPaths.size());
  }
  EXPECT_EQ(recordedMost, rounds);
  std::printf("%d rounds; at least %zu of %d files found in each\n", rounds, fewest, files);
}

}  // namespace
}  // namespace fw
