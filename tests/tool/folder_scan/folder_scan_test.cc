// Whole-process runs of library-snapshot in temporary homes: which folders
// the preference file makes roots, what the walk records, and how the
// snapshot file is written. The snapshot is read back with our reader and,
// once, with python3's plistlib.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/plist/binary_writer.h"
#include "platform/plist/property_list.h"
#include "platform/unicode.h"
#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

using Map = std::map<std::string, std::string>;

constexpr const char* kPreferences = "Library/Preferences/" FW_BUNDLE_IDENTIFIER ".plist";
constexpr std::int64_t kTenMiB = 10485760;

struct Limits {
  std::optional<rlim_t> openFiles;
  std::optional<rlim_t> fileSize;
};

struct Outcome {
  int status = -1;  // exit status, or -1 when the process did not exit
  int signal = 0;   // the signal that ended it, if one did
  std::vector<std::string> messages;  // log lines without timestamp and prefix
  std::optional<fw::plist::Value> snapshot;

  Map entries(std::u16string_view key) const {
    Map out;
    const auto* root = snapshot ? snapshot->asDictionary() : nullptr;
    const auto* dict = root ? root->find(key) : nullptr;
    if (dict == nullptr || dict->asDictionary() == nullptr) return out;
    for (const auto& [k, v] : *dict->asDictionary()) {
      out[fw::utf16ToUtf8Lossy(k.view())] = fw::utf16ToUtf8Lossy(v.asString().value_or(u"<kind>"));
    }
    return out;
  }
  Map names() const { return entries(u"namesToParentPaths"); }
  Map sizes() const { return entries(u"sizesToNames"); }
  std::vector<std::string> counts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) {
      if (m.rfind("FwLibraryController: fs: ", 0) == 0) out.push_back(m.substr(25));
    }
    return out;
  }
};

std::string xmlPlist(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" +
         dictBody + "</dict>\n</plist>\n";
}
std::string key(const std::string& k, const std::string& valueXml) {
  return "<key>" + k + "</key>" + valueXml + "\n";
}
std::string str(const std::string& s) { return "<string>" + s + "</string>"; }
std::string strings(const std::vector<std::string>& items) {
  std::string out = "<array>";
  for (const auto& s : items) out += str(s);
  return out + "</array>";
}

class FolderScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/folder-scan-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    tmp_ = root_ / "tmp";
    fs::create_directories(home_ / "Library/Preferences");
    fs::create_directories(tmp_);
  }
  void TearDown() override {
    for (const fs::path& dir : {root_, scratch_}) {
      if (dir.empty()) continue;
      std::error_code ignored;
      fs::remove_all(dir, ignored);
      // Trees deeper than PATH_MAX defeat remove_all; rm walks by descriptor.
      if (fs::exists(dir, ignored)) {
        std::string command = "rm -rf '" + dir.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
      }
    }
  }

  // A directory for a big tree: in memory when /dev/shm is there, since
  // creating and removing ten thousand directories on disk takes seconds.
  fs::path scratchDirectory() {
    char pattern[] = "/dev/shm/folder-scan-XXXXXX";
    std::error_code ignored;
    if (fs::is_directory("/dev/shm", ignored) && mkdtemp(pattern) != nullptr) {
      scratch_ = pattern;
      return scratch_;
    }
    return root_;
  }

  fs::path snapshotPath() const { return tmp_ / "FwLibraryCore.plist"; }

  void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  // A file of `size` bytes, sparse, so large ones cost no disk.
  void sizedFile(const fs::path& path, std::int64_t size) {
    writeFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
  }
  void symlink(const std::string& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
  }
  void preferences(const std::string& dictBody) {
    writeFile(home_ / kPreferences, xmlPlist(dictBody));
  }

  struct Child {
    pid_t pid = -1;
    int log = -1;  // read end of the child's standard error
  };

  // With `fullLog` the log pipe is filled to the brim first, so the child's
  // first log line waits until collect() drains it.
  Child spawn(const Limits& limits = {}, bool fullLog = false) {
    const std::string bin = std::string(FW_BIN_DIR) + "/" + fw::test_support::snapshotProgram();
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    if (fullLog) {
      ::fcntl(pipeFds[1], F_SETPIPE_SZ, 4096);
      const int flags = ::fcntl(pipeFds[1], F_GETFL);
      ::fcntl(pipeFds[1], F_SETFL, flags | O_NONBLOCK);
      const std::string filler(512, 'x');
      while (::write(pipeFds[1], filler.data(), filler.size()) > 0) {
      }
      while (::write(pipeFds[1], "x", 1) > 0) {
      }
      ::fcntl(pipeFds[1], F_SETFL, flags);
    }
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("HOME", home_.c_str(), 1);
      setenv("TMPDIR", tmp_.c_str(), 1);
      unsetenv("XDG_RUNTIME_DIR");
      if (limits.openFiles) {
        rlimit r{*limits.openFiles, *limits.openFiles};
        setrlimit(RLIMIT_NOFILE, &r);
      }
      if (limits.fileSize) {
        // An ignored SIGXFSZ survives exec, so an oversized write fails with
        // EFBIG instead of killing the process.
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{*limits.fileSize, *limits.fileSize};
        setrlimit(RLIMIT_FSIZE, &r);
      }
      int devNull = ::open("/dev/null", O_RDONLY);
      dup2(devNull, 0);
      dup2(pipeFds[1], 2);
      close(pipeFds[0]);
      execl(bin.c_str(), bin.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    return Child{pid, pipeFds[0]};
  }

  Outcome collect(const Child& child) {
    std::string log;
    char block[4096];
    for (ssize_t n; (n = ::read(child.log, block, sizeof block)) > 0;) log.append(block, n);
    close(child.log);
    int status = 0;
    waitpid(child.pid, &status, 0);
    Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
      std::size_t at = line.find("] ");
      r.messages.push_back(at == std::string::npos ? line : line.substr(at + 2));
    }
    r.snapshot = fw::plist::readPropertyListFile(snapshotPath().string());
    return r;
  }

  Outcome launch(const Limits& limits = {}) { return collect(spawn(limits)); }

  std::string readBytes(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
  }
  std::vector<std::string> tmpListing() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(tmp_)) out.push_back(e.path().filename());
    return out;
  }

  fs::path root_, home_, tmp_;
  fs::path scratch_;  // outside root_, when a test asked for one
};

std::vector<std::string> countLines(std::size_t names, std::size_t sizes) {
  return {std::to_string(names), std::to_string(sizes)};
}

TEST_F(FolderScanTest, WithoutPreferencesTheSnapshotHoldsFourEmptyEntries) {
  const Outcome r = launch();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.messages, (std::vector<std::string>{"FwLibraryController: fs: 0",
                                                  "FwLibraryController: fs: 0"}));
  fw::plist::Dictionary expected;
  expected.set(u"playlists", fw::plist::Value::array());
  expected.set(u"tunesToPaths", fw::plist::Value::dictionary());
  expected.set(u"namesToParentPaths", fw::plist::Value::dictionary());
  expected.set(u"sizesToNames", fw::plist::Value::dictionary());
  ASSERT_TRUE(r.snapshot);
  EXPECT_EQ(*r.snapshot, fw::plist::Value::dictionary(expected));
  EXPECT_EQ(readBytes(snapshotPath()).substr(0, 8), "bplist00");
  struct stat st;
  ASSERT_EQ(::lstat(snapshotPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
}

// Which values of the preference file become roots. Every folder holds one
// file named after it, so the recorded names show which folders were walked.
TEST_F(FolderScanTest, PreferencesChooseTheRoots) {
  for (const char* folder : {"Desktop", "Desktop/Sub", "Music", "Movies", "Pictures", "Shared",
                             "Other", ".hidden", "Music/.svn"}) {
    fs::path dir = home_ / folder;
    writeFile(dir / (dir.filename().string() + ".txt"), "x");
  }
  writeFile(root_ / "outside/outside.txt", "x");
  writeFile(home_ / "plain.txt", "x");
  symlink("Music", home_ / "LinkToMusic");
  symlink(home_ / "Music", home_ / "Shared/MusicLink");
  const std::string home = home_.string();
  const std::string t = "<true/>";

  struct Case {
    const char* what;
    std::string prefs;
    Map expected;
  };
  const std::vector<Case> cases = {
      {"no keys", "", {}},
      {"Desktop with tilde", key("save_directory", str("~/Desktop")), {}},
      {"Desktop as full path with a slash", key("save_directory", str(home + "/Desktop/")), {}},
      {"folder inside the Desktop", key("save_directory", str("~/Desktop/Sub")),
       {{"Sub.txt", "~/Desktop/Sub"}}},
      {"shared directories as one string", key("kFwSharedDirectories", str("~/Shared")),
       {{"Shared.txt", "~/Shared"}}},
      {"flag set, location absent", key("kFwMoveMusic", t), {}},
      {"location without its flag",
       key("kFwMoveMusic", "<false/>") + key("kFwMoveMusicLocation", str("~/Music")) +
           key("kFwMoveMoviesLocation", str("~/Movies")),
       {}},
      {"flags that read as true",
       key("kFwMoveMusic", t) + key("kFwMoveMusicLocation", str("~/Music")) +
           key("kFwMoveMovies", str(" 12abc")) + key("kFwMoveMoviesLocation", str("~/Movies")) +
           key("kFwMoveImages", "<integer>2</integer>") +
           key("kFwMoveImagesLocation", str("~/Pictures")),
       {{"Music.txt", "~/Music"}, {"Movies.txt", "~/Movies"}, {"Pictures.txt", "~/Pictures"}}},
      {"flags that read as false",
       key("kFwMoveMusic", "<date>2020-01-01T00:00:00Z</date>") +
           key("kFwMoveMusicLocation", str("~/Music")) + key("kFwMoveMovies", "<data></data>") +
           key("kFwMoveMoviesLocation", str("~/Movies")) + key("kFwMoveImages", "<array/>") +
           key("kFwMoveImagesLocation", str("~/Pictures")),
       {}},
      // A string flag reads as its leading integer's low byte, so "YES" is false.
      {"more flags that read as false",
       key("kFwMoveMusic", "<dict/>") + key("kFwMoveMusicLocation", str("~/Music")) +
           key("kFwMoveMovies", str("YES")) + key("kFwMoveMoviesLocation", str("~/Movies")) +
           key("kFwMoveImages", "<integer>0</integer>") +
           key("kFwMoveImagesLocation", str("~/Pictures")),
       {}},
      {"roots that are not strings",
       key("save_directory", "<integer>3</integer>") + key("kFwMoveMusic", t) +
           key("kFwMoveMusicLocation", "<dict><key>a</key>" + str("~/Music") + "</dict>") +
           key("kFwSharedDirectories", "<array><dict/><integer>1</integer><data></data>" +
                                           str("") + str("~/Shared") + "<true/></array>"),
       {{"Shared.txt", "~/Shared"}}},
      {"shared directories as a dictionary",
       key("kFwSharedDirectories", "<dict><key>x</key>" + str("~/Shared") + "</dict>"), {}},
      {"roots that are skipped",
       key("save_directory", str("")) +
           key("kFwSharedDirectories",
               strings({"~/.hidden", "~/LinkToMusic", "~/LinkToMusic/", "~/plain.txt",
                        "~/missing", home + "/Music/.svn"})),
       {}},
      {"full paths inside and outside the home",
       key("save_directory", str(home + "/Music")) +
           key("kFwSharedDirectories", strings({(root_ / "outside").string()})),
       {{"Music.txt", "~/Music"}, {"outside.txt", (root_ / "outside").string()}}},
      {"duplicated roots",
       key("save_directory", str("~/Music")) +
           key("kFwSharedDirectories", strings({"~/Music", home + "/Music/", "~/Music"})),
       {{"Music.txt", "~/Music"}}},
      {"a folder inside the Desktop, with a trailing slash",
       key("kFwSharedDirectories", strings({"~/Desktop/Sub/"})) +
           key("save_directory", str("~/Other")),
       {{"Other.txt", "~/Other"}, {"Sub.txt", "~/Desktop/Sub"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    preferences(c.prefs);
    const Outcome r = launch();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.names(), c.expected);
    EXPECT_EQ(r.sizes(), Map{});
    EXPECT_EQ(r.counts(), countLines(c.expected.size(), 0));
  }
}

// One root holding every kind of entry the walk tells apart.
TEST_F(FolderScanTest, WalkRecordsFilesAndSkipsHiddenDirectoriesAndLinks) {
  const fs::path r = home_ / "Downloads";
  writeFile(r / ".DS_Store", "x");
  writeFile(r / ".svn/entries", "x");
  writeFile(r / "sub/deeper/nested.txt", "x");
  writeFile(r / "sub/.cache/cached.txt", "x");
  writeFile(r / "sub/sibling.txt", "x");
  sizedFile(r / "exact.bin", kTenMiB);
  sizedFile(r / "over.bin", kTenMiB + 1);
  sizedFile(home_ / "big.bin", 3 * kTenMiB);  // outside the root
  symlink("../big.bin", r / "big-link");      // a link's own size is never large
  symlink("sub", r / "dir-link");             // a link to a directory is neither
  symlink("sub/.cache", r / ".hidden-dir-link");
  symlink("missing", r / "dangling");
  symlink("dangling", r / "dangling-chain");
  symlink("self-loop", r / "self-loop");
  ASSERT_EQ(::mkfifo((r / "pipe").c_str(), 0600), 0);
  fs::create_directories(r / "empty");
  preferences(key("save_directory", str("~/Downloads")));

  const Outcome outcome = launch();
  EXPECT_EQ(outcome.status, 0);
  const Map expected = {
      {".DS_Store", "~/Downloads"},         {"nested.txt", "~/Downloads/sub/deeper"},
      {"sibling.txt", "~/Downloads/sub"},   {"exact.bin", "~/Downloads"},
      {"over.bin", "~/Downloads"},          {"big-link", "~/Downloads"},
      {"pipe", "~/Downloads"},
  };
  EXPECT_EQ(outcome.names(), expected);
  EXPECT_EQ(outcome.sizes(), (Map{{"10485761", "over.bin"}}));
  EXPECT_EQ(outcome.counts(), countLines(7, 1));
}

// A shared name or size keeps the entry visited last; roots are walked in
// list order, so swapping them swaps the winner.
TEST_F(FolderScanTest, LastVisitWinsSharedNamesAndSizes) {
  const std::int64_t large = kTenMiB + 4096;
  for (const char* dir : {"A", "B"}) {
    writeFile(home_ / dir / "same.txt", "x");
    sizedFile(home_ / dir / (std::string("large-") + dir), large);
  }
  sizedFile(home_ / "B/other-size", large + 1);
  const std::string size = std::to_string(large);
  const std::string size1 = std::to_string(large + 1);

  preferences(key("save_directory", str("~/A")) + key("kFwSharedDirectories", strings({"~/B"})));
  Outcome r = launch();
  EXPECT_EQ(r.names(), (Map{{"same.txt", "~/B"},
                            {"large-A", "~/A"},
                            {"large-B", "~/B"},
                            {"other-size", "~/B"}}));
  EXPECT_EQ(r.sizes(), (Map{{size, "large-B"}, {size1, "other-size"}}));
  EXPECT_EQ(r.counts(), countLines(4, 2));

  preferences(key("save_directory", str("~/B")) + key("kFwSharedDirectories", strings({"~/A"})));
  r = launch();
  EXPECT_EQ(r.names(), (Map{{"same.txt", "~/A"},
                            {"large-A", "~/A"},
                            {"large-B", "~/B"},
                            {"other-size", "~/B"}}));
  EXPECT_EQ(r.sizes(), (Map{{size, "large-A"}, {size1, "other-size"}}));
}

// A listing far longer than one read of the directory: every entry arrives,
// with the files and folders of each part of it.
TEST_F(FolderScanTest, LongListingsArriveWhole) {
  const fs::path r = scratchDirectory() / "many";
  Map expected;
  for (int i = 0; i < 4000; ++i) {
    const std::string name = "a-rather-long-file-name-number-" + std::to_string(i) + ".txt";
    writeFile(r / name, "");
    expected[name] = r.string();
    if (i % 500 == 0) {
      const std::string inner = "inner-" + std::to_string(i);
      writeFile(r / ("folder-" + std::to_string(i)) / inner, "");
      expected[inner] = (r / ("folder-" + std::to_string(i))).string();
    }
  }
  preferences(key("save_directory", str(r.string())));
  const Outcome outcome = launch();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.names() == expected) << outcome.names().size() << " names";
  EXPECT_EQ(outcome.counts(), countLines(expected.size(), 0));
}

// Linux allows any bytes but "/" and NUL in a name; what is not UTF-8 is
// recorded with U+FFFD, in names and in parent paths, and the walk goes on.
TEST_F(FolderScanTest, NamesThatAreNotUtf8AreRecordedWithReplacementCharacters) {
  const fs::path r = home_ / "Files";
  writeFile(r / "caf\xE9.txt", "x");
  writeFile(r / "dir\xFF\xFE/inner.txt", "x");
  writeFile(r / "cut\xE2\x82", "x");
  writeFile(r / "caf\xC3\xA9 \xF0\x9F\x98\x80.txt", "x");
  preferences(key("save_directory", str("~/Files")));
  const Outcome outcome = launch();
  EXPECT_EQ(outcome.status, 0);
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(outcome.names(), (Map{{"caf" + fffd + ".txt", "~/Files"},
                               {"inner.txt", "~/Files/dir" + fffd + fffd},
                               {"cut" + fffd, "~/Files"},
                               {"caf\xC3\xA9 \xF0\x9F\x98\x80.txt", "~/Files"}}));
}

TEST_F(FolderScanTest, UnreadableSubdirectoryContributesNothingAndSiblingsStay) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
  const fs::path r = home_ / "Files";
  writeFile(r / "locked/secret.txt", "x");
  writeFile(r / "locked-listing/inside/deep.txt", "x");
  writeFile(r / "open/visible.txt", "x");
  writeFile(r / "top.txt", "x");
  ASSERT_EQ(::chmod((r / "locked").c_str(), 0), 0);
  ASSERT_EQ(::chmod((r / "locked-listing").c_str(), 0300), 0);  // enterable, not listable
  preferences(key("save_directory", str("~/Files")));
  const Outcome outcome = launch();
  ::chmod((r / "locked").c_str(), 0700);
  ::chmod((r / "locked-listing").c_str(), 0700);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.names(), (Map{{"visible.txt", "~/Files/open"}, {"top.txt", "~/Files"}}));
}

// 10,000 levels, paths near 20,000 bytes, under a limit on open files.
// Every 50th level holds a file beside its subdirectory, created
// first so that many listings yield it after the subdirectory: those files
// are reached only when the walk gets back to levels it had to close.
TEST_F(FolderScanTest, TenThousandLevelsAreWalkedCompletely) {
  constexpr int kDepth = 10000;
  const fs::path deep = scratchDirectory() / "deep";
  fs::create_directories(deep);
  int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  Map expected;
  std::string parent = deep.string();
  for (int level = 0; level <= kDepth; ++level) {
    if (level % 50 == 0 || level == kDepth) {
      const std::string name = "n" + std::to_string(level);
      int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT, 0600);
      ASSERT_GE(file, 0);
      ::close(file);
      expected[name] = parent;
    }
    if (level == kDepth) break;
    ASSERT_EQ(::mkdirat(fd, "d", 0700), 0) << level;
    int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(child, 0);
    ::close(fd);
    fd = child;
    parent += "/d";
  }
  ::close(fd);
  preferences(key("save_directory", str(deep.string())));
  // The usual limit, and one so low that most levels must be reopened.
  for (rlim_t openFiles : {1024, 20}) {
    SCOPED_TRACE(openFiles);
    const Outcome r = launch(Limits{.openFiles = openFiles, .fileSize = {}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.counts(), countLines(expected.size(), 0));
    const Map names = r.names();
    EXPECT_EQ(names.size(), expected.size());
    EXPECT_TRUE(names == expected) << "first difference at "
                                   << [&] {
                                        for (const auto& [k, v] : expected) {
                                          auto it = names.find(k);
                                          if (it == names.end() || it->second != v) return k;
                                        }
                                        return std::string("<none>");
                                      }();
    auto deepest = names.find("n" + std::to_string(kDepth));
    ASSERT_NE(deepest, names.end());
    EXPECT_GT(deepest->second.size(), 4096u * 4);
  }
}

// Files that are not preference files, or preference files whose root is not
// a dictionary, give no roots; a binary file is read like an XML one.
TEST_F(FolderScanTest, PreferenceFilesThatCannotBeUsedGiveNoRoots) {
  writeFile(home_ / "Music/song.mp3", "x");
  const std::string asRoot = key("save_directory", str("~/Music"));
  fw::plist::Dictionary binaryRoot;
  binaryRoot.set(u"save_directory", fw::plist::Value::string(u"~/Music"));
  auto binary = fw::plist::writeBinaryPropertyList(fw::plist::Value::dictionary(binaryRoot));
  ASSERT_TRUE(binary);
  const std::string binaryText(binary->begin(), binary->end());
  const std::string full = xmlPlist(asRoot);

  struct Case {
    const char* what;
    std::string bytes;
    bool walked;
  };
  const std::vector<Case> cases = {
      {"XML dictionary", full, true},
      {"binary dictionary", binaryText, true},
      {"garbage", "\x00\x01garbage\xFF{not a plist", false},
      {"empty file", "", false},
      {"truncated XML", full.substr(0, full.size() - 20), false},
      {"truncated binary", binaryText.substr(0, binaryText.size() - 5), false},
      {"XML list as the root",
       "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>" + str("~/Music") +
           "</array></plist>",
       false},
      {"string as the root", "<plist version=\"1.0\">" + str("~/Music") + "</plist>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(home_ / kPreferences, c.bytes);
    const Outcome r = launch();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.names(), (c.walked ? Map{{"song.mp3", "~/Music"}} : Map{}));
    EXPECT_EQ(r.counts(), countLines(c.walked ? 1 : 0, 0));
  }
  // Neither a directory nor a FIFO with no writer (which would block a
  // reader forever) stops the run.
  fs::remove(home_ / kPreferences);
  fs::create_directories(home_ / kPreferences);
  Outcome r = launch();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.counts(), countLines(0, 0));
  fs::remove(home_ / kPreferences);
  ASSERT_EQ(::mkfifo((home_ / kPreferences).c_str(), 0600), 0);
  r = launch();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.counts(), countLines(0, 0));
}

// Each run replaces the snapshot whole, with mode 0600, through a new file
// renamed into place, so a link planted at the path is replaced, not followed.
TEST_F(FolderScanTest, SnapshotIsReplacedWholeAndNeverWrittenThroughALink) {
  writeFile(home_ / "A/a.txt", "x");
  writeFile(home_ / "B/b.txt", "x");
  preferences(key("save_directory", str("~/A")));
  Outcome r = launch();
  EXPECT_EQ(r.names(), (Map{{"a.txt", "~/A"}}));

  preferences(key("save_directory", str("~/B")));
  ASSERT_EQ(::chmod(snapshotPath().c_str(), 0644), 0);
  r = launch();
  EXPECT_EQ(r.names(), (Map{{"b.txt", "~/B"}}));
  struct stat st;
  ASSERT_EQ(::lstat(snapshotPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const fs::path victim = root_ / "victim.txt";
  writeFile(victim, "keep me");
  ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);
  fs::remove(snapshotPath());
  symlink(victim.string(), snapshotPath());
  r = launch();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readBytes(victim), "keep me");
  ASSERT_EQ(::lstat(snapshotPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(r.names(), (Map{{"b.txt", "~/B"}}));
  EXPECT_EQ(tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
}

// A write that fails is reported, exits 1, and leaves the earlier snapshot
// and no stray file behind.
TEST_F(FolderScanTest, FailedWriteExitsOneAndKeepsTheEarlierSnapshot) {
  writeFile(home_ / "A/a.txt", "x");
  preferences(key("save_directory", str("~/A")));
  ASSERT_EQ(launch().status, 0);
  const std::string before = readBytes(snapshotPath());
  writeFile(home_ / "A/more-names-make-a-longer-snapshot.txt", "x");

  const Outcome r = launch(Limits{.openFiles = {}, .fileSize = 16});
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.messages.size(), 3u);
  const std::string prefix = "FwLibraryCore: could not write " + snapshotPath().string() + ": ";
  EXPECT_EQ(r.messages[2].substr(0, prefix.size()), prefix);
  EXPECT_GT(r.messages[2].size(), prefix.size()) << "a reason follows";
  EXPECT_EQ(readBytes(snapshotPath()), before);
  EXPECT_EQ(tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
}

TEST_F(FolderScanTest, ReadOnlyTemporaryDirectoryExitsOneAndKeepsTheEarlierSnapshot) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from writing";
  ASSERT_EQ(launch().status, 0);
  const std::string before = readBytes(snapshotPath());
  writeFile(home_ / "A/a.txt", "x");
  preferences(key("save_directory", str("~/A")));
  ASSERT_EQ(::chmod(tmp_.c_str(), 0500), 0);
  const Outcome r = launch();
  ::chmod(tmp_.c_str(), 0700);
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(r.messages.back().rfind("FwLibraryCore: could not write " + snapshotPath().string(), 0),
            0u);
  EXPECT_EQ(readBytes(snapshotPath()), before);
}

// An independent reader agrees on the file: binary format, the four keys,
// and names outside the Basic Multilingual Plane.
TEST_F(FolderScanTest, PythonPlistlibReadsTheSnapshot) {
  writeFile(home_ / "Mixed/caf\xC3\xA9.txt", "x");
  writeFile(home_ / "Mixed/\xF0\x9F\x8E\xB5 song.mp3", "x");
  writeFile(home_ / "Mixed/plain", "x");
  sizedFile(home_ / "Mixed/sub/huge.iso", 5 * kTenMiB);
  preferences(key("save_directory", str("~/Mixed")));
  ASSERT_EQ(launch().status, 0);

  const std::string script =
      "import plistlib, sys\n"
      "data = open(sys.argv[1], 'rb').read()\n"
      "assert data[:8] == b'bplist00'\n"
      "root = plistlib.loads(data, fmt=plistlib.FMT_BINARY)\n"
      "print(','.join(sorted(root)))\n"
      "print(len(root['playlists']), len(root['tunesToPaths']))\n"
      "for table in ('namesToParentPaths', 'sizesToNames'):\n"
      "    for k in sorted(root[table]):\n"
      "        print(table, k, '=', root[table][k])\n";
  const fs::path scriptPath = root_ / "read.py";
  writeFile(scriptPath, script);
  const std::string command =
      "PYTHONIOENCODING=utf-8 python3 '" + scriptPath.string() + "' '" + snapshotPath().string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) out.append(block, n);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(out,
            "namesToParentPaths,playlists,sizesToNames,tunesToPaths\n"
            "0 0\n"
            "namesToParentPaths caf\xC3\xA9.txt = ~/Mixed\n"
            "namesToParentPaths huge.iso = ~/Mixed/sub\n"
            "namesToParentPaths plain = ~/Mixed\n"
            "namesToParentPaths \xF0\x9F\x8E\xB5 song.mp3 = ~/Mixed\n"
            "sizesToNames 52428800 = huge.iso\n");
}

// A fatal signal is named in one log line, and the process still ends by
// that signal, wherever it comes: the handler formats and writes its line
// without allocating or locking. The signal is sent at a known point: the
// tool is blocked writing its first log line into a full log pipe, so its
// handlers are in place and it can get no further.
TEST_F(FolderScanTest, FatalSignalIsLoggedAndEndsTheProcess) {
  const Child child = spawn({}, /*fullLog=*/true);
  // /proc/<pid>/syscall names the call a blocked process sits in, then its
  // arguments: write(2) on descriptor 2.
  const std::string syscallFile = "/proc/" + std::to_string(child.pid) + "/syscall";
  bool blocked = false;
  for (int attempt = 0; attempt < 20000 && !blocked; ++attempt) {
    std::ifstream in(syscallFile);
    std::string number, fd;
    in >> number >> fd;
    blocked = number == std::to_string(SYS_write) && fd == "0x2";
    if (!blocked) ::usleep(500);
  }
  ASSERT_TRUE(blocked) << "the tool never blocked on its log pipe";
  ASSERT_EQ(::kill(child.pid, SIGSEGV), 0);
  const Outcome r = collect(child);
  EXPECT_EQ(r.signal, SIGSEGV);
  // The signal is taken when the tool next leaves the kernel: before its
  // first log line, or just after it, if the draining let that line through.
  const std::vector<std::string> before = {"uncaught signal SIGSEGV"};
  const std::vector<std::string> after = {"FwLibraryController: fs: 0", "uncaught signal SIGSEGV"};
  EXPECT_TRUE(r.messages == before || r.messages == after) << ::testing::PrintToString(r.messages);
  EXPECT_FALSE(r.snapshot.has_value());
}

}  // namespace
