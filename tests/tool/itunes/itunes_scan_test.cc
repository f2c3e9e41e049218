// Whole-process runs of library-snapshot in temporary homes, reading the
// snapshot back with our own reader.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/plist/property_list.h"
#include "platform/unicode.h"

namespace fs = std::filesystem;

namespace {

struct Snapshot {
  std::map<std::string, std::string> tunesToPaths;
  std::vector<std::string> playlists;
  std::string log;
  std::string skipped;  // why the run could not be made, when it could not
};

void writeFile(const fs::path& where, const std::string& text) {
  fs::create_directories(where.parent_path());
  std::ofstream(where, std::ios::binary) << text;
}

// The one path outside the home that the scan looks at.
const fs::path kSharedLibrary = "/Users/Shared/Music/iTunes/iTunes Music Library.xml";

std::string failure(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

void writeProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  (void)!::write(fd, text.data(), text.size());
  ::close(fd);
}

// Gives the calling process (a forked child, single-threaded) a root of its
// own in private mount namespaces: a tmpfs under `scratch` holding a bind of
// every top-level entry of the real root, and another fresh tmpfs at /Users.
// The real root and any real /Users are never written, and everything made
// below /Users vanishes with the process. Returns "" on success, otherwise
// why the namespaces or mounts were refused.
std::string enterPrivateRoot(const fs::path& scratch) {
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  bool entered = uid == 0 && ::unshare(CLONE_NEWNS) == 0;
  if (!entered) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return failure("unshare(CLONE_NEWUSER | CLONE_NEWNS)", errno);
    }
    writeProcFile("/proc/self/setgroups", "deny");
    writeProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
    writeProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
  }
  // Nothing mounted from here on may propagate back to the real namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return failure("making / private", errno);
  }
  const fs::path root = scratch / "private-root";
  std::error_code ec;
  fs::create_directories(root, ec);
  if (::mount("tmpfs", root.c_str(), "tmpfs", 0, "mode=0755") != 0) {
    return failure("tmpfs at " + root.string(), errno);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator("/", ec)) {
    const std::string name = entry.path().filename().string();
    if (name == "Users") continue;
    const fs::path target = root / name;
    if (entry.is_symlink(ec)) {
      fs::create_symlink(fs::read_symlink(entry.path(), ec), target, ec);
    } else if (entry.is_directory(ec)) {
      fs::create_directory(target, ec);
      if (::mount(entry.path().c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return failure("binding " + entry.path().string(), errno);
      }
    }
  }
  fs::create_directory(root / "Users", ec);
  if (::mount("tmpfs", (root / "Users").c_str(), "tmpfs", 0, "mode=0755") != 0) {
    return failure("tmpfs at /Users", errno);
  }
  if (::chroot(root.c_str()) != 0) return failure("chroot", errno);
  if (::chdir("/") != 0) return failure("chdir", errno);
  return "";
}

std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "wait status " + std::to_string(status);
}

class ItunesScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/itunes-scan-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    fs::create_directories(home_);
    fs::create_directories(root_ / "tmp");
  }
  void TearDown() override { fs::remove_all(root_); }

  void writeLibrary(const fs::path& where, const std::string& text) { writeFile(where, text); }
  fs::path musicLibrary() const { return home_ / "Music/iTunes/iTunes Music Library.xml"; }
  fs::path documentsLibrary() const { return home_ / "Documents/iTunes/iTunes Music Library.xml"; }

  // Runs library-snapshot with HOME and TMPDIR inside the test's directory
  // and reads back the snapshot it wrote. With `sharedLibrary`, the run
  // happens in a private root whose /Users is a fresh tmpfs holding that
  // text at the shared library path; Snapshot::skipped then says why, if
  // such a root could not be made.
  Snapshot run(const std::string* sharedLibrary = nullptr) {
    const std::string bin = std::string(FW_BIN_DIR) + "/library-snapshot";
    const fs::path logPath = root_ / "stderr.txt";
    fs::remove(root_ / "tmp/FwLibraryCore.plist");
    // The child reports a refused namespace here; a successful exec closes
    // the pipe with nothing written.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
      ADD_FAILURE() << failure("pipe2", errno);
      return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
      ::close(report[0]);
      if (sharedLibrary) {
        std::string why = enterPrivateRoot(root_);
        if (why.empty()) {
          try {
            writeFile(kSharedLibrary, *sharedLibrary);
          } catch (const std::exception& e) {
            why = e.what();
          }
          if (why.empty() && !fs::exists(kSharedLibrary)) why = "could not write the library";
        }
        if (!why.empty()) {
          (void)!::write(report[1], why.data(), why.size());
          _exit(0);
        }
      }
      setenv("HOME", home_.c_str(), 1);
      setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
      if (!freopen(logPath.c_str(), "w", stderr)) _exit(126);
      execl(bin.c_str(), bin.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(report[1]);
    std::string skipped;
    char buffer[512];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) {
      skipped.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(report[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Snapshot s;
    if (!skipped.empty()) {
      s.skipped = "no private mount namespace for /Users (" + skipped + ")";
      return s;
    }
    std::stringstream log;
    log << std::ifstream(logPath).rdbuf();
    s.log = log.str();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << bin << ": " << describeStatus(status) << "\nstderr:\n" << s.log;
    std::string reason;
    auto value = fw::plist::readPropertyListFile((root_ / "tmp/FwLibraryCore.plist").string(),
                                                 &reason);
    EXPECT_TRUE(value.has_value()) << reason << "\nstderr:\n" << s.log;
    if (!value || !value->asDictionary()) return s;
    const auto* dict = value->asDictionary();
    if (const auto* t = dict->find(u"tunesToPaths"); t && t->asDictionary()) {
      for (const auto& [k, v] : *t->asDictionary()) {
        s.tunesToPaths[fw::utf16ToUtf8Lossy(k.view())] =
            fw::utf16ToUtf8Lossy(v.asString().value_or(u"<not a string>"));
      }
    }
    if (const auto* p = dict->find(u"playlists"); p && p->asArray()) {
      for (const auto& v : *p->asArray()) {
        s.playlists.push_back(fw::utf16ToUtf8Lossy(v.asString().value_or(u"<not a string>")));
      }
    }
    return s;
  }

  static int lbLines(const std::string& log, const std::string& count) {
    int n = 0;
    for (std::size_t at = 0; (at = log.find("FwLibraryController: lb: ", at)) != std::string::npos;
         ++at) {
      ++n;
      EXPECT_EQ(log.substr(at + 25, log.find('\n', at) - at - 25), count);
    }
    return n;
  }

  fs::path root_, home_;
};

std::string library(const std::string& tracks, const std::string& playlists) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + tracks +
         playlists + "</dict></plist>\n";
}
std::string track(const std::string& name, const std::string& location) {
  return "<dict><key>Name</key><string>" + name + "</string><key>Location</key><string>" +
         location + "</string></dict>";
}
std::string tracks(const std::vector<std::string>& records) {
  std::string out = "<key>Tracks</key><dict>";
  int id = 1;
  for (const auto& r : records) out += "<key>" + std::to_string(id++) + "</key>" + r;
  return out + "</dict>";
}
std::string playlistsOf(const std::vector<std::string>& records) {
  std::string out = "<key>Playlists</key><array>";
  for (const auto& r : records) out += r;
  return out + "</array>";
}
std::string playlist(const std::string& name, const std::string& extra = "") {
  return "<dict><key>Name</key><string>" + name + "</string>" + extra + "</dict>";
}

TEST_F(ItunesScanTest, TracksNormaliseAndLastVisitedWins) {
  const std::string home = home_.string();
  writeLibrary(musicLibrary(),
               library(tracks({
                           track("Song", "file://localhost/a/first.mp3"),
                           track("  SONG\n", "file:///a/second.mp3"),
                           track("   ", "file:///blank.mp3"),
                           track("Home", "file://localhost" + home + "/My%20Music/x.mp3"),
                           track("\xC4\xB0stanbul", "file:///i.mp3"),
                           track("Spaced", "file:///a b.mp3"),        // refused
                           track("Wide", "file:///caf\xC3\xA9.mp3"),  // refused
                           track("Bad", "file:///%FF.mp3"),           // not UTF-8
                           track("Hostonly", "http://host"),          // no path
                           "<dict><key>Name</key><string>NoLocation</string></dict>",
                           "<dict><key>Name</key><integer>3</integer>"
                           "<key>Location</key><string>file:///n.mp3</string></dict>",
                           "<string>not a record</string>",
                           track("Web", "http://host/p/x.mp3"),
                           track("\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "file:///"),  // final sigma
                           "<dict><key>Name</key><string>NumLoc</string>"
                           "<key>Location</key><integer>7</integer></dict>",
                           track("Escaped%", "file:///50%25.mp3"),
                           track("BadEscape", "file:///50%2.mp3"),      // refused
                           track("NoHostPath", "file://localhost"),     // no path
                       }),
                       ""));
  const Snapshot s = run();
  const std::map<std::string, std::string> expected = {
      {"song", "/a/second.mp3"},
      {"", "/blank.mp3"},
      {"home", "~/My Music/x.mp3"},
      {"i\xCC\x87stanbul", "/i.mp3"},
      {"web", "/p/x.mp3"},
      {"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", "/"},
      {"escaped%", "/50%.mp3"},
  };
  EXPECT_EQ(s.tunesToPaths, expected);
  EXPECT_EQ(lbLines(s.log, "7"), 1);
  EXPECT_TRUE(s.playlists.empty());
}

TEST_F(ItunesScanTest, OnlyOrdinaryPlaylistsInFileOrder) {
  const std::string t = "<true/>";
  writeLibrary(musicLibrary(),
               library("", playlistsOf({
                               playlist("Library", "<key>Master</key>" + t),
                               playlist("Podcasts"),
                               playlist("podcasts"),
                               playlist("Fetchwright"),
                               playlist("fetchwright"),
                               playlist("Smart", "<key>Smart Info</key><data></data>"),
                               playlist("Party Shuffle"),
                               playlist("Vids", "<key>Videos</key>" + t),
                               playlist("Dir", "<key>Folder</key><integer>1</integer>"),
                               playlist("Pods", "<key>Podcasts</key><string>1</string>"),
                               playlist("DJ", "<key>Party Shuffle</key>" + t),
                               playlist("Mix", "<key>Master</key><false/>"),
                               playlist("Mix"),
                               "<dict><key>Name</key><integer>1</integer></dict>",
                               "<string>not a record</string>",
                               playlist("Odd flag", "<key>Folder</key><string>yes</string>"),
                               // A string flag keeps the low 8 bits of its number; a
                               // number flag is true whenever it is nonzero.
                               playlist("Byte string", "<key>Videos</key><string>256</string>"),
                               playlist("Byte number", "<key>Videos</key><integer>256</integer>"),
                               playlist("Real", "<key>Master</key><real>0.5</real>"),
                           })));
  const Snapshot s = run();
  const std::vector<std::string> expected = {"podcasts", "fetchwright", "Mix", "Mix",
                                             "Odd flag", "Byte string"};
  EXPECT_EQ(s.playlists, expected);
  EXPECT_EQ(lbLines(s.log, "0"), 1);
}

TEST_F(ItunesScanTest, MalformedPartsContributeNothing) {
  writeLibrary(musicLibrary(),
               library("<key>Tracks</key><array/>", playlistsOf({playlist("Kept")})));
  Snapshot s = run();
  EXPECT_EQ(s.playlists, std::vector<std::string>{"Kept"});
  EXPECT_EQ(lbLines(s.log, "0"), 1);

  writeLibrary(musicLibrary(), library(tracks({track("A", "file:///a")}),
                                       "<key>Playlists</key><dict/>"));
  s = run();
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"a", "/a"}}));
  EXPECT_TRUE(s.playlists.empty());

  // A readable file whose root is not a dictionary still reports its count.
  writeLibrary(musicLibrary(), "<plist version=\"1.0\"><array/></plist>");
  s = run();
  EXPECT_TRUE(s.tunesToPaths.empty());
  EXPECT_EQ(lbLines(s.log, "0"), 1);
}

TEST_F(ItunesScanTest, UnreadableOrMissingLibraryLogsNothing) {
  Snapshot s = run();  // no library anywhere
  EXPECT_EQ(lbLines(s.log, ""), 0);

  writeLibrary(musicLibrary(), "<plist><dict><key>Tracks</key>");  // refused
  s = run();
  EXPECT_EQ(lbLines(s.log, ""), 0);

  // A directory in the first place hides the file in the second.
  fs::remove(musicLibrary());
  fs::create_directories(musicLibrary());
  writeLibrary(documentsLibrary(), library(tracks({track("Doc", "file:///d")}), ""));
  s = run();
  EXPECT_EQ(lbLines(s.log, ""), 0);
  EXPECT_TRUE(s.tunesToPaths.empty());

  // With the first place empty, the second is read.
  fs::remove(musicLibrary());
  s = run();
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"doc", "/d"}}));
}

TEST_F(ItunesScanTest, LookupFollowsLinksAndStopsAtTheFirstCandidate) {
  // A dangling link in the first place does not exist; the second is read.
  fs::create_directories(musicLibrary().parent_path());
  fs::create_symlink(root_ / "nowhere.xml", musicLibrary());
  writeLibrary(documentsLibrary(), library(tracks({track("Doc", "file:///d")}), ""));
  Snapshot s = run();
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"doc", "/d"}}));

  // Once the link resolves, the first place wins and is read through it.
  writeLibrary(root_ / "nowhere.xml", library(tracks({track("Linked", "file:///l")}), ""));
  s = run();
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"linked", "/l"}}));
  EXPECT_EQ(lbLines(s.log, "1"), 1);
}

TEST_F(ItunesScanTest, SharedLibraryIsTheLastCandidate) {
  const std::string shared = library(tracks({track("Shared", "file:///Users/Shared/s.mp3")}),
                                     playlistsOf({playlist("Everyone")}));
  const bool usersExisted = fs::exists("/Users");
  Snapshot s = run(&shared);
  if (!s.skipped.empty()) GTEST_SKIP() << s.skipped;
  EXPECT_EQ(s.tunesToPaths,
            (std::map<std::string, std::string>{{"shared", "/Users/Shared/s.mp3"}}));
  EXPECT_EQ(s.playlists, std::vector<std::string>{"Everyone"});
  EXPECT_EQ(lbLines(s.log, "1"), 1);

  // Either home candidate hides the shared library.
  writeLibrary(documentsLibrary(), library(tracks({track("Doc", "file:///d")}), ""));
  s = run(&shared);
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"doc", "/d"}}));
  EXPECT_TRUE(s.playlists.empty());
  writeLibrary(musicLibrary(), library(tracks({track("Music", "file:///m")}), ""));
  s = run(&shared);
  EXPECT_EQ(s.tunesToPaths, (std::map<std::string, std::string>{{"music", "/m"}}));

  // The shared library lived only in the private /Users of those runs.
  EXPECT_EQ(fs::exists("/Users"), usersExisted);
}

struct CorpusCase {
  const char* file;
  std::size_t tunes;
  std::vector<std::string> playlists;
  std::map<std::string, std::string> somePaths;
  std::vector<std::string> withoutLocation;  // names of tracks that have none
};

TEST_F(ItunesScanTest, RealLibraries) {
  // Facts read from the files themselves. Accented names keep the form the
  // file gives them: the itunesvis Location spells "Mona\u0301e" decomposed,
  // the iTunesCopyMetadata ones use precomposed escapes (%C3%A8).
  const std::string nina =
      "/Users/nathan/Music/iTunes/iTunes Media/Music/Nina Simone/Four Women_ The Complete Nina "
      "Simone On Philips/";
  const std::string emile = "/C:/Users/Emile/Music/iTunes/iTunes Media/Music/";
  const std::vector<CorpusCase> cases = {
      {"libpytunes/libpytunes/tests/Test Library.xml", 381, {"iTunes\xC2\xA0U", "Purchased"},
       {{"that's all i ask", nina + "3-16 That's All I Ask 1.m4a"},
        {"four women", nina + "3-13 Four Women 1.m4a"},
        {"amy amy amy", "/Users/nathan/Music/iTunes/iTunes Media/Music/Amy Winehouse/Frank/11 "
                        "Amy Amy Amy.m4p"}},
       {"deadpool", "the revenant", "the big short"}},
      {"beets/test/rsrc/itunes_library_unix.xml", 3, {"Music"},
       {{"\xE2\x9D\xA6 (ripe & ruin)", "/Music/Alt-J/An Awesome Wave/02 \xE2\x9D\xA6 (Ripe & Ruin).mp3"},
        {"tessellate", "/Music/Alt-J/An Awesome Wave/03 Tessellate.mp3"},
        {"breezeblocks", "/Music/Alt-J/An Awesome Wave/04 Breezeblocks.mp3"}},
       {}},
      {"beets/test/rsrc/itunes_library_windows.xml", 3, {"Muziek"},
       {{"\xE2\x9D\xA6 (ripe & ruin)",
         "/G:/Experiments/Alt-J/An Awesome Wave/02 \xE2\x9D\xA6 (Ripe & Ruin).mp3"},
        {"breezeblocks", "/G:/Music/Alt-J/An Awesome Wave/04 Breezeblocks.mp3"}},
       {}},
      {"Mac-iTunes-Library/t/iTunes_Music_Library.xml", 18, {"A-ardvark"},
       {{"push the limits",
         "/Users/dinomite/Music/iTunes/iTunes Music/ATB/Unknown Album/Push the Limits.mp3"},
        {"goodbye",
         "/Users/dinomite/Music/iTunes/iTunes Music/Save Ferris/It Means Everything/05 "
         "Goodbye.mp3"}},
       {}},
      {"itunesvis/3a5a935/iTunes Music Library.xml", 677,
       {"iTunes\xC2\xA0U", "Apps", "edm", "edm_phone", "indie", "iTunes Artwork Screen Saver",
        "Not indie", "public", "sleep", "Books"},
       {{"we are young", "/Users/jettairlines/Music/iTunes/iTunes Media/Music/Fun._Janelle "
                         "Mona\xCC\x81" "e/Dancing Bear Best Of 2012 International/03 We Are "
                         "Young 1.mp3"},
        {"wind", "/Users/jettairlines/Music/iTunes/iTunes Media/Music/Akeboshi/Stoned Town/01 "
                 "Wind 1.mp3"}},
       {}},
      {"iTunesCopyMetadata/a941a32/iTunes Music Library.xml", 1741,
       {"Music", "Films", "TV Programmes", "MamaMusic", "Meuuh", "Voice Memos"},
       {{"les yeux de ma m\xC3\xA8re",
         emile + "Arno/Putain Putain, Une Tribu Pour Arno/201-06 Les Yeux De Ma M\xC3\xA8re.mp3"},
        {"old man: v\xC3\xA4in\xC3\xA4m\xC3\xB6inen",
         emile + "Ensiferum/Ensiferum/05 Old Man_ V\xC3\xA4in\xC3\xA4m\xC3\xB6inen.mp3"},
        {"take on me", emile + "A-Ha/Unknown Album/01 Take On Me.mp3"}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    fs::create_directories(musicLibrary().parent_path());
    fs::copy_file(fs::path(FW_CORPUS_DIR) / c.file, musicLibrary(),
                  fs::copy_options::overwrite_existing);
    const Snapshot s = run();
    EXPECT_EQ(s.tunesToPaths.size(), c.tunes);
    EXPECT_EQ(lbLines(s.log, std::to_string(c.tunes)), 1);
    EXPECT_EQ(s.playlists, c.playlists);
    for (const auto& [name, path] : c.somePaths) {
      auto it = s.tunesToPaths.find(name);
      ASSERT_NE(it, s.tunesToPaths.end()) << name;
      EXPECT_EQ(it->second, path);
    }
    for (const auto& name : c.withoutLocation) EXPECT_EQ(s.tunesToPaths.count(name), 0u) << name;
  }
}

}  // namespace
