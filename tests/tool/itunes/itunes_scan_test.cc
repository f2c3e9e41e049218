// Whole-process runs of library-snapshot in temporary homes, reading the
// snapshot back with our own reader.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/plist/property_list.h"
#include "platform/unicode.h"

namespace fs = std::filesystem;

namespace {

struct Snapshot {
  std::map<std::string, std::string> tunesToPaths;
  std::vector<std::string> playlists;
  std::string log;
};

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

  void writeLibrary(const fs::path& where, const std::string& text) {
    fs::create_directories(where.parent_path());
    std::ofstream(where, std::ios::binary) << text;
  }
  fs::path musicLibrary() const { return home_ / "Music/iTunes/iTunes Music Library.xml"; }
  fs::path documentsLibrary() const { return home_ / "Documents/iTunes/iTunes Music Library.xml"; }

  Snapshot run() {
    const std::string bin = std::string(FW_BIN_DIR) + "/library-snapshot";
    const fs::path logPath = root_ / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("HOME", home_.c_str(), 1);
      setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
      freopen(logPath.c_str(), "w", stderr);
      execl(bin.c_str(), bin.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    Snapshot s;
    std::stringstream log;
    log << std::ifstream(logPath).rdbuf();
    s.log = log.str();
    std::string reason;
    auto value = fw::plist::readPropertyListFile((root_ / "tmp/FwLibraryCore.plist").string(),
                                                 &reason);
    EXPECT_TRUE(value.has_value()) << reason;
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
                       }),
                       ""));
  const Snapshot s = run();
  const std::map<std::string, std::string> expected = {
      {"song", "/a/second.mp3"},
      {"", "/blank.mp3"},
      {"home", "~/My Music/x.mp3"},
      {"i\xCC\x87stanbul", "/i.mp3"},
      {"web", "/p/x.mp3"},
  };
  EXPECT_EQ(s.tunesToPaths, expected);
  EXPECT_EQ(lbLines(s.log, "5"), 1);
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
                           })));
  const Snapshot s = run();
  const std::vector<std::string> expected = {"podcasts", "fetchwright", "Mix", "Mix",
                                             "Odd flag"};
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

struct CorpusCase {
  const char* file;
  std::size_t tunes;
  std::vector<std::string> playlists;
  std::map<std::string, std::string> somePaths;
};

TEST_F(ItunesScanTest, RealLibraries) {
  const std::vector<CorpusCase> cases = {
      {"libpytunes/libpytunes/tests/Test Library.xml", 381, {"iTunes\xC2\xA0U", "Purchased"},
       {{"that's all i ask", "/Users/nathan/Music/iTunes/iTunes Media/Music/Nina Simone/Four "
                             "Women_ The Complete Nina Simone On Philips/3-16 That's All I Ask "
                             "1.m4a"},
        {"amy amy amy", "/Users/nathan/Music/iTunes/iTunes Media/Music/Amy Winehouse/Frank/11 "
                        "Amy Amy Amy.m4p"}},
       },
      {"beets/test/rsrc/itunes_library_unix.xml", 3, {"Music"},
       {{"\xE2\x9D\xA6 (ripe & ruin)", "/Music/Alt-J/An Awesome Wave/02 \xE2\x9D\xA6 (Ripe & Ruin).mp3"},
        {"tessellate", "/Music/Alt-J/An Awesome Wave/03 Tessellate.mp3"},
        {"breezeblocks", "/Music/Alt-J/An Awesome Wave/04 Breezeblocks.mp3"}},
       },
      {"Mac-iTunes-Library/t/iTunes_Music_Library.xml", 18, {"A-ardvark"}, {}},
      {"itunesvis/3a5a935/iTunes Music Library.xml", 677,
       {"iTunes\xC2\xA0U", "Apps", "edm", "edm_phone", "indie", "iTunes Artwork Screen Saver",
        "Not indie", "public", "sleep", "Books"},
       {{"we are young", "/Users/jettairlines/Music/iTunes/iTunes Media/Music/Fun._Janelle "
                         "Mona\xCC\x81" "e/Dancing Bear Best Of 2012 International/03 We Are "
                         "Young 1.mp3"}},
       },
      {"iTunesCopyMetadata/a941a32/iTunes Music Library.xml", 1741,
       {"Music", "Films", "TV Programmes", "MamaMusic", "Meuuh", "Voice Memos"}, {}},
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
  }
}

}  // namespace
