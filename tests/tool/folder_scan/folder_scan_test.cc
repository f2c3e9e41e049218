// The folder scan, run in this process over temporary homes: what the walk
// records of each kind of entry and root. The build runs these tests once
// more linked with the other walk back end, and once on one thread.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"
#include "tests/support/scan_in_process.h"
#include "tool/walk/backend/walk_backend.h"

namespace fw::test_support {
namespace {

constexpr std::int64_t kTenMiB = 10485760;

Map scannedNames(const TempHome& home) { return scanHome(home, kFolders).found.namesToParentPaths; }

TEST(FolderScan, RunsOnTheBackEndItWasLinkedWith) {
  EXPECT_STREQ(walk_backend::name(), FW_TEST_WALK_BACKEND);
}

// One scan over every kind of entry and of root the walk tells apart.
TEST(FolderScan, RecordsFilesAndSkipsHiddenFoldersLinksAndNonFolders) {
  TempHome home("fwkit-scan");
  const fs::path h = home.home(), r = h / "Downloads", outside = home.root() / "outside";
  for (const char* file : {".DS_Store", ".svn/entries", "sub/deeper/nested.txt",
                           "sub/.cache/cached.txt", "sub/sibling.txt"}) {
    writeFile(r / file, "x");
  }
  sizedFile(r / "exact.bin", kTenMiB);
  sizedFile(r / "over.bin", kTenMiB + 1);
  sizedFile(h / "big.bin", 3 * kTenMiB);    // outside the root
  symlinkAt("../big.bin", r / "big-link");  // a link's own size is never large
  symlinkAt("sub", r / "dir-link");         // a link to a directory is neither
  symlinkAt("sub/.cache", r / ".hidden-dir-link");
  symlinkAt("missing", r / "dangling");
  symlinkAt("dangling", r / "dangling-chain");
  symlinkAt("self-loop", r / "self-loop");
  ASSERT_EQ(::mkfifo((r / "pipe").c_str(), 0600), 0);
  fs::create_directories(r / "empty");
  writeFile(h / "Music/Music.txt", "x");
  writeFile(h / "Desktop/Sub/Sub.txt", "x");
  writeFile(outside / "outside.txt", "x");
  writeFile(h / "plain.txt", "x");
  symlinkAt("Music", h / "LinkToMusic");
  symlinkAt(h / "Music", h / "Shared/MusicLink");
  home.preferences(
      key("save_directory", str("~/Downloads")) +
      key("kFwSharedDirectories",
          strings({"~/LinkToMusic", "~/LinkToMusic/", "~/plain.txt", "~/missing", "~/Shared",
                   "~/Desktop/Sub/", outside.string(), h.string() + "/Music/", "~/Music"})));
  const Scan s = scanHome(home, kFolders);
  EXPECT_EQ(s.found.namesToParentPaths, (Map{{".DS_Store", "~/Downloads"},
                                             {"nested.txt", "~/Downloads/sub/deeper"},
                                             {"sibling.txt", "~/Downloads/sub"},
                                             {"exact.bin", "~/Downloads"},
                                             {"over.bin", "~/Downloads"},
                                             {"big-link", "~/Downloads"},
                                             {"pipe", "~/Downloads"},
                                             {"Sub.txt", "~/Desktop/Sub"},
                                             {"outside.txt", outside.string()},
                                             {"Music.txt", "~/Music"}}));
  EXPECT_EQ(s.found.sizesToNames, (Map{{"10485761", "over.bin"}}));
  EXPECT_EQ(s.log, folderScanLines(10, 1));
}

// A shared name or size keeps the entry visited last; roots are walked in
// list order, so swapping them swaps the winner.
TEST(FolderScan, LastVisitWinsSharedNamesAndSizes) {
  TempHome home("fwkit-scan");
  for (const char* dir : {"A", "B"}) {
    writeFile(home.home() / dir / "same.txt", "x");
    sizedFile(home.home() / dir / (std::string("large-") + dir), kTenMiB + 4096);
  }
  sizedFile(home.home() / "B/other-size", kTenMiB + 4097);
  const struct {
    const char *first, *second, *sameParent, *largeName;
  } cases[] = {{"~/A", "~/B", "~/B", "large-B"}, {"~/B", "~/A", "~/A", "large-A"}};
  for (const auto& c : cases) {
    home.preferences(key("save_directory", str(c.first)) +
                     key("kFwSharedDirectories", strings({c.second})));
    const Scan s = scanHome(home, kFolders);
    EXPECT_EQ(s.found.namesToParentPaths, (Map{{"same.txt", c.sameParent},
                                               {"large-A", "~/A"},
                                               {"large-B", "~/B"},
                                               {"other-size", "~/B"}}));
    EXPECT_EQ(s.found.sizesToNames, (Map{{"10489856", c.largeName}, {"10489857", "other-size"}}));
  }
}

// A listing far longer than one read of the directory: every entry arrives,
// with the files and folders of each part of it.
TEST(FolderScan, LongListingsArriveWhole) {
  TempHome home("fwkit-scan", /*inMemory=*/true);
  const fs::path r = home.root() / "many";
  Map expected;
  for (int i = 0; i < 4000; ++i) {
    const std::string name = "a-rather-long-file-name-number-" + std::to_string(i) + ".txt";
    writeFile(r / name, "");
    expected[name] = r.string();
    if (i % 500 == 0) {
      const fs::path folder = r / ("folder-" + std::to_string(i));
      writeFile(folder / ("inner-" + std::to_string(i)), "");
      expected["inner-" + std::to_string(i)] = folder.string();
    }
  }
  home.preferences(key("save_directory", str(r.string())));
  EXPECT_TRUE(scannedNames(home) == expected);
}

// Any bytes but "/" and NUL make a name; what is not UTF-8 is recorded with
// U+FFFD, in names and in parent paths, and the walk goes on.
TEST(FolderScan, NamesThatAreNotUtf8AreRecordedWithReplacementCharacters) {
  TempHome home("fwkit-scan");
  const fs::path r = home.home() / "Files";
  for (const char* name : {"caf\xE9.txt", "dir\xFF\xFE/inner.txt", "cut\xE2\x82",
                           "caf\xC3\xA9 \xF0\x9F\x98\x80.txt"}) {
    writeFile(r / name, "x");
  }
  home.preferences(key("save_directory", str("~/Files")));
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(scannedNames(home), (Map{{"caf" + fffd + ".txt", "~/Files"},
                                     {"inner.txt", "~/Files/dir" + fffd + fffd},
                                     {"cut" + fffd, "~/Files"},
                                     {"caf\xC3\xA9 \xF0\x9F\x98\x80.txt", "~/Files"}}));
}

TEST(FolderScan, UnreadableSubdirectoryContributesNothingAndSiblingsStay) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
  TempHome home("fwkit-scan");
  const fs::path r = home.home() / "Files";
  for (const char* file :
       {"locked/secret.txt", "locked-listing/inside/deep.txt", "open/visible.txt", "top.txt"}) {
    writeFile(r / file, "x");
  }
  ASSERT_EQ(::chmod((r / "locked").c_str(), 0), 0);
  ASSERT_EQ(::chmod((r / "locked-listing").c_str(), 0300), 0);  // enterable, not listable
  home.preferences(key("save_directory", str("~/Files")));
  EXPECT_EQ(scannedNames(home), (Map{{"visible.txt", "~/Files/open"}, {"top.txt", "~/Files"}}));
}

// 10,000 levels, paths near 20,000 bytes. Every 50th level holds a file
// beside its subdirectory, created first so that many listings yield it
// after the subdirectory: those files are reached only when the walk gets
// back to levels it had to close. In this process, and in the tool under
// a limit of open files so low that most levels must be reopened.
TEST(FolderScan, TenThousandLevelsAreWalkedCompletely) {
  constexpr int kDepth = 10000;
  TempHome home("fwkit-deep", /*inMemory=*/true);
  const fs::path deep = home.root() / "deep";
  fs::create_directories(deep);
  int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  Map expected;
  std::string parent = deep.string();
  for (int level = 0; level <= kDepth; ++level) {
    if (level % 50 == 0 || level == kDepth) {
      const std::string name = "n" + std::to_string(level);
      ::close(::openat(fd, name.c_str(), O_WRONLY | O_CREAT, 0600));
      expected[name] = parent;
    }
    if (level == kDepth) break;
    ASSERT_EQ(::mkdirat(fd, "d", 0700), 0) << level;
    const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(child, 0);
    ::close(fd);
    fd = child;
    parent += "/d";
  }
  ::close(fd);
  EXPECT_GT(parent.size(), 4096u * 4);
  home.preferences(key("save_directory", str(deep.string())));
  EXPECT_TRUE(scannedNames(home) == expected) << "in this process";
  ToolOptions options;
  options.openFiles = 20;
  const ToolResult r = runTool(home, options);
  ASSERT_EQ(r.status, 0) << r.describe();
  const std::optional<Snapshot> s = readSnapshot(home.snapshotPath());
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->namesToParentPaths == expected) << "in the tool, 20 open files";
}

}  // namespace
}  // namespace fw::test_support
