// The media-library scan: what it keeps of tracks and playlists and which
// library file it reads, in this process; the streaming scan against a
// tree-based one (the scan as it was before it streamed: read the whole
// tree, then look the keys up); and, in the tool, the shared library
// outside the home. (Memory bounds on hostile libraries: tests/tool/faults.)

#include "tool/media/itunes_library_scan.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/path.h"
#include "platform/files/url.h"
#include "platform/plist/binary/writer.h"
#include "platform/plist/property_list.h"
#include "tests/support/plist_bytes.h"
#include "tests/support/private_mounts.h"
#include "tests/support/run_tool.h"
#include "tests/support/scan_in_process.h"
#include "tool/value_truth.h"

namespace fw {
namespace {

using namespace test_support;
using plist::Dictionary;
using plist::Value;
using Names = std::vector<std::string>;

std::string library(const std::string& tracks, const std::string& playlists) {
  return xmlPlist(tracks + playlists);
}
std::string track(const std::string& name, const std::string& location) {
  return "<dict>" + key("Name", str(name)) + key("Location", str(location)) + "</dict>";
}
std::string tracks(const std::vector<std::string>& records) {
  std::string out = "<key>Tracks</key><dict>";
  int id = 1;
  for (const auto& r : records) out += key(std::to_string(id++), r);
  return out + "</dict>";
}
std::string playlists(const std::vector<std::string>& records) {
  std::string out = "<key>Playlists</key><array>";
  for (const auto& r : records) out += r;
  return out + "</array>";
}
std::string playlist(const std::string& name, const std::string& extra = "") {
  return "<dict>" + key("Name", str(name)) + extra + "</dict>";
}

TEST(MediaLibraryScan, TracksNormaliseAndTheLastOfANameWins) {
  TempHome home("fwkit-itunes");
  home.library(
      library(tracks({
                  track("Song", "file://localhost/a/first.mp3"),
                  track("  SONG\n", "file:///a/second.mp3"),
                  track("   ", "file:///blank.mp3"),
                  track("Home", "file://localhost" + home.home().string() + "/My%20Music/x.mp3"),
                  track("\xC4\xB0stanbul", "file:///i.mp3"),
                  track("Spaced", "file:///a b.mp3"),        // refused
                  track("Wide", "file:///caf\xC3\xA9.mp3"),  // refused
                  track("Bad", "file:///%FF.mp3"),           // not UTF-8
                  track("Cut", "file:///a%00b.mp3"),         // names no file
                  track("Hostonly", "http://host"),          // no path
                  "<dict>" + key("Name", str("NoLocation")) + "</dict>",
                  "<dict>" + key("Name", "<integer>3</integer>") +
                      key("Location", str("file:///n")) + "</dict>",
                  str("not a record"),
                  track("Web", "http://host/p/x.mp3"),
                  track("\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "file:///"),  // final sigma
                  "<dict>" + key("Name", str("NumLoc")) + key("Location", "<integer>7</integer>") +
                      "</dict>",
                  track("Escaped%", "file:///50%25.mp3"),
                  track("BadEscape", "file:///50%2.mp3"),   // refused
                  track("NoHostPath", "file://localhost"),  // no path
              }),
              ""));
  const Scan s = scanHome(home, kLibrary);
  EXPECT_EQ(s.found.tunesToPaths, (Map{{"song", "/a/second.mp3"},
                                       {"", "/blank.mp3"},
                                       {"home", "~/My Music/x.mp3"},
                                       {"i\xCC\x87stanbul", "/i.mp3"},
                                       {"web", "/p/x.mp3"},
                                       {"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", "/"},
                                       {"escaped%", "/50%.mp3"}}));
  EXPECT_EQ(s.log, Names{"FwLibraryController: lb: 7"});
  EXPECT_TRUE(s.found.playlists.empty());
}

TEST(MediaLibraryScan, OnlyOrdinaryPlaylistsInFileOrder) {
  TempHome home("fwkit-itunes");
  const std::string t = "<true/>";
  home.library(library("", playlists({
                               playlist("Library", key("Master", t)),
                               playlist("Podcasts"),
                               playlist("podcasts"),
                               playlist("Fetchwright"),
                               playlist("fetchwright"),
                               playlist("Smart", key("Smart Info", "<data></data>")),
                               playlist("Party Shuffle"),
                               playlist("Vids", key("Videos", t)),
                               playlist("Dir", key("Folder", "<integer>1</integer>")),
                               playlist("Pods", key("Podcasts", str("1"))),
                               playlist("DJ", key("Party Shuffle", t)),
                               playlist("Mix", key("Master", "<false/>")),
                               playlist("Mix"),
                               "<dict>" + key("Name", "<integer>1</integer>") + "</dict>",
                               str("not a record"),
                               playlist("Odd flag", key("Folder", str("yes"))),
                               // A string flag keeps the low 8 bits of its number; a number
                               // flag is true whenever it is nonzero.
                               playlist("Byte string", key("Videos", str("256"))),
                               playlist("Byte number", key("Videos", "<integer>256</integer>")),
                               playlist("Real", key("Master", "<real>0.5</real>")),
                           })));
  const Scan s = scanHome(home, kLibrary);
  EXPECT_EQ(s.found.playlists,
            (Names{"podcasts", "fetchwright", "Mix", "Mix", "Odd flag", "Byte string"}));
  EXPECT_EQ(s.log, Names{"FwLibraryController: lb: 0"});
}

// Parts of the wrong kind contribute nothing; a file the reader refuses
// ends the scan without its count line, one it reads (whatever its root)
// reports its count.
TEST(MediaLibraryScan, MalformedPartsContributeNothing) {
  TempHome home("fwkit-itunes");
  const struct {
    std::string text;
    Map tunes;
    Names playlists, log;
  } cases[] = {
      {library("<key>Tracks</key><array/>", playlists({playlist("Kept")})),
       {},
       {"Kept"},
       {"FwLibraryController: lb: 0"}},
      {library(tracks({track("A", "file:///a")}), "<key>Playlists</key><dict/>"),
       {{"a", "/a"}},
       {},
       {"FwLibraryController: lb: 1"}},
      {"<plist version=\"1.0\"><array/></plist>", {}, {}, {"FwLibraryController: lb: 0"}},
      {"<plist><dict><key>Tracks</key>", {}, {}, {}},
  };
  for (const auto& c : cases) {
    home.library(c.text);
    const Scan s = scanHome(home, kLibrary);
    EXPECT_EQ(s.found.tunesToPaths, c.tunes) << c.text;
    EXPECT_EQ(s.found.playlists, c.playlists) << c.text;
    EXPECT_EQ(s.log, c.log) << c.text;
  }
}

// The first of ~/Music/iTunes, ~/Documents/iTunes that exists, links
// followed, is read; a directory counts as existing and hides the rest.
TEST(MediaLibraryScan, ReadsTheFirstCandidateThatExists) {
  TempHome home("fwkit-itunes");
  const fs::path music = home.home() / kLibraryPath;
  const fs::path documents = home.home() / "Documents/iTunes/iTunes Music Library.xml";
  auto tunes = [&] { return scanHome(home, kLibrary).found.tunesToPaths; };
  EXPECT_EQ(scanHome(home, kLibrary).log, Names{}) << "no library anywhere";
  writeFile(documents, library(tracks({track("Doc", "file:///d")}), ""));
  fs::create_directories(music);
  EXPECT_EQ(scanHome(home, kLibrary).log, Names{}) << "a directory first";
  fs::remove(music);
  EXPECT_EQ(tunes(), (Map{{"doc", "/d"}})) << "the first place empty";
  symlinkAt(home.root() / "nowhere.xml", music);
  EXPECT_EQ(tunes(), (Map{{"doc", "/d"}})) << "a dangling link first";
  writeFile(home.root() / "nowhere.xml", library(tracks({track("Linked", "file:///l")}), ""));
  EXPECT_EQ(tunes(), (Map{{"linked", "/l"}})) << "the link resolved";
}

// The one place outside the home, last of all. The tool runs in a private
// root: a tmpfs holding a bind of every top-level entry of the real root,
// and a fresh tmpfs at /Users holding `text` at the shared library path.
// The real root and any real /Users are never written.
std::string enterRootWithSharedLibrary(const fs::path& scratch, const std::string& text) {
  const std::string why = enterPrivateMounts();
  if (!why.empty()) return why;
  const fs::path root = scratch / "private-root";
  std::error_code ec;
  fs::create_directories(root, ec);
  if (::mount("tmpfs", root.c_str(), "tmpfs", 0, "mode=0755") != 0) return std::strerror(errno);
  for (const fs::directory_entry& entry : fs::directory_iterator("/", ec)) {
    const fs::path target = root / entry.path().filename();
    if (entry.path() == "/Users") continue;
    if (entry.is_symlink(ec)) {
      fs::create_symlink(fs::read_symlink(entry.path(), ec), target, ec);
    } else if (entry.is_directory(ec)) {
      fs::create_directory(target, ec);
      if (::mount(entry.path().c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return "binding " + entry.path().string();
      }
    }
  }
  fs::create_directory(root / "Users", ec);
  if (::mount("tmpfs", (root / "Users").c_str(), "tmpfs", 0, "mode=0755") != 0) return "/Users";
  if (::chroot(root.c_str()) != 0 || ::chdir("/") != 0) return "chroot";
  const fs::path shared = "/Users/Shared/Music/iTunes/iTunes Music Library.xml";
  fs::create_directories(shared.parent_path(), ec);
  std::ofstream(shared, std::ios::binary) << text;
  return fs::exists(shared) ? "" : "could not write the library";
}

TEST(MediaLibraryScan, SharedLibraryIsTheLastCandidate) {
  TempHome home("fwkit-itunes");
  const std::string shared = library(tracks({track("Shared", "file:///Users/Shared/s.mp3")}),
                                     playlists({playlist("Everyone")}));
  const bool usersExisted = fs::exists("/Users");
  ToolOptions options;
  options.beforeExec = [&] {
    const std::string why = enterRootWithSharedLibrary(home.root(), shared);
    if (why.empty()) return;
    (void)!::write(STDERR_FILENO, why.data(), why.size());
    ::_exit(124);
  };
  const struct {
    const char* homeLibrary;  // written into the home first, if any
    Map tunes;
    Names playlists;
  } cases[] = {
      {nullptr, {{"shared", "/Users/Shared/s.mp3"}}, {"Everyone"}},
      {"Documents/iTunes/iTunes Music Library.xml", {{"documents", "/d"}}, {}},
      {kLibraryPath, {{"music", "/m"}}, {}},
  };
  for (const auto& c : cases) {
    if (c.homeLibrary) {
      const std::string name = c.tunes.begin()->first;
      const std::string text = library(tracks({track(name, "file:///" + name.substr(0, 1))}), "");
      writeFile(home.home() / c.homeLibrary, text);
    }
    const ToolResult r = runTool(home, options);
    if (r.status == 124) GTEST_SKIP() << "no private mount namespace for /Users: " << r.err;
    ASSERT_EQ(r.status, 0) << r.describe();
    const std::optional<Snapshot> s = readSnapshot(home.snapshotPath());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->tunesToPaths, c.tunes);
    EXPECT_EQ(s->playlists, c.playlists);
  }
  EXPECT_EQ(fs::exists("/Users"), usersExisted) << "the shared library lived in a private /Users";
}

// The scan's results as plain strings, in order, for readable failures;
// `tunes` as tunesToPaths holds them.
struct Found {
  std::vector<std::pair<std::u16string, std::u16string>> tracks;
  std::vector<std::u16string> playlists;
  bool operator==(const Found&) const = default;
  Map tunes() const {
    Map out;
    for (const auto& [name, path] : tracks) out[utf16ToUtf8Lossy(name)] = utf16ToUtf8Lossy(path);
    return out;
  }
};

constexpr std::u16string_view kHome = u"/home/someone";

std::optional<Found> streamScan(const std::string& path) {
  const auto s = scanMediaLibrary(path, kHome);
  if (!s) return std::nullopt;
  Found f;
  for (const auto& [name, where] : s->tracks) f.tracks.emplace_back(name.view(), where.view());
  for (const auto& name : s->playlists) f.playlists.emplace_back(name.view());
  return f;
}

struct CorpusCase {
  const char* file;
  std::size_t tunes;
  Names playlists;
  Map somePaths;
  Names withoutLocation;  // names of tracks that have none
};

TEST(MediaLibraryScan, RealLibraries) {
  // Facts read from the files themselves. Accented names keep the form the
  // file gives them: the itunesvis Location spells "Mona\u0301e" decomposed,
  // the iTunesCopyMetadata ones use precomposed escapes (%C3%A8).
  const std::string emile = "/C:/Users/Emile/Music/iTunes/iTunes Media/Music/";
  const CorpusCase cases[] = {
      {"libpytunes/libpytunes/tests/Test Library.xml",
       381,
       {"iTunes\xC2\xA0U", "Purchased"},
       {{"that's all i ask",
         "/Users/nathan/Music/iTunes/iTunes Media/Music/Nina Simone/Four "
         "Women_ The Complete Nina Simone On Philips/3-16 That's All I Ask "
         "1.m4a"}},
       {"deadpool", "the revenant", "the big short"}},
      {"beets/test/rsrc/itunes_library_unix.xml",
       3,
       {"Music"},
       {{"\xE2\x9D\xA6 (ripe & ruin)",
         "/Music/Alt-J/An Awesome Wave/02 \xE2\x9D\xA6 (Ripe & Ruin).mp3"}},
       {}},
      {"beets/test/rsrc/itunes_library_windows.xml",
       3,
       {"Muziek"},
       {{"\xE2\x9D\xA6 (ripe & ruin)",
         "/G:/Experiments/Alt-J/An Awesome Wave/02 \xE2\x9D\xA6 (Ripe & Ruin).mp3"}},
       {}},
      {"Mac-iTunes-Library/t/iTunes_Music_Library.xml",
       18,
       {"A-ardvark"},
       {{"goodbye",
         "/Users/dinomite/Music/iTunes/iTunes Music/Save Ferris/It Means Everything/05 "
         "Goodbye.mp3"}},
       {}},
      {"itunesvis/3a5a935/iTunes Music Library.xml",
       677,
       {"iTunes\xC2\xA0U", "Apps", "edm", "edm_phone", "indie", "iTunes Artwork Screen Saver",
        "Not indie", "public", "sleep", "Books"},
       {{"we are young",
         "/Users/jettairlines/Music/iTunes/iTunes Media/Music/Fun._Janelle Mona\xCC\x81"
         "e/Dancing Bear Best Of 2012 International/03 We Are Young 1.mp3"}},
       {}},
      {"iTunesCopyMetadata/a941a32/iTunes Music Library.xml",
       1741,
       {"Music", "Films", "TV Programmes", "MamaMusic", "Meuuh", "Voice Memos"},
       {{"les yeux de ma m\xC3\xA8re",
         emile + "Arno/Putain Putain, Une Tribu Pour Arno/201-06 Les Yeux De Ma M\xC3\xA8re.mp3"},
        {"old man: v\xC3\xA4in\xC3\xA4m\xC3\xB6inen",
         emile + "Ensiferum/Ensiferum/05 Old Man_ V\xC3\xA4in\xC3\xA4m\xC3\xB6inen.mp3"}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::optional<Found> f = streamScan(std::string(FW_CORPUS_DIR) + "/" + c.file);
    ASSERT_TRUE(f);
    const Map tunes = f->tunes();
    EXPECT_EQ(tunes.size(), c.tunes);
    Names names;
    for (const auto& p : f->playlists) names.push_back(utf16ToUtf8Lossy(p));
    EXPECT_EQ(names, c.playlists);
    for (const auto& [name, path] : c.somePaths) {
      EXPECT_EQ(tunes.count(name) ? tunes.at(name) : "<none>", path) << name;
    }
    for (const auto& name : c.withoutLocation) EXPECT_EQ(tunes.count(name), 0u) << name;
  }
}

std::optional<std::u16string_view> stringFor(const Dictionary& d, std::u16string_view key) {
  const Value* v = d.find(key);
  return v ? v->asString() : std::nullopt;
}

// The tree-based scan.
Found treeScan(const Value& library) {
  Found f;
  const Dictionary* root = library.asDictionary();
  if (!root) return f;
  if (const Value* tracks = root->find(u"Tracks"); tracks && tracks->asDictionary()) {
    for (const auto& [id, value] : *tracks->asDictionary()) {
      const Dictionary* track = value.asDictionary();
      const auto name = track ? stringFor(*track, u"Name") : std::nullopt;
      const auto location = track ? stringFor(*track, u"Location") : std::nullopt;
      const auto url = location ? Url::parse(*location) : std::nullopt;
      const auto path = url ? url->path() : std::nullopt;
      if (!name || !path || path->find(u'\0') != std::u16string::npos) continue;
      f.tracks.emplace_back(*FwLibraryCore::normalizedStringForString(*name),
                            stringByAbbreviatingWithTildeInPath(*path, kHome));
    }
  }
  if (const Value* records = root->find(u"Playlists"); records && records->asArray()) {
    for (const Value& value : *records->asArray()) {
      const Dictionary* record = value.asDictionary();
      const auto name = record ? stringFor(*record, u"Name") : std::nullopt;
      if (!name || record->contains(u"Smart Info") || *name == u"Fetchwright") continue;
      bool flagged = *name == u"Podcasts" || *name == u"Party Shuffle";
      for (auto flag : {u"Master", u"Podcasts", u"Videos", u"Folder", u"Party Shuffle"}) {
        flagged = flagged || valueIsTrue(record->find(flag));
      }
      if (!flagged) f.playlists.emplace_back(*name);
    }
  }
  return f;
}

// Both scans of one file: equal, or both refuse it.
void expectSameScan(const std::string& path) {
  SCOPED_TRACE(path);
  const auto tree = plist::readPropertyListFile(path);
  const auto streamed = streamScan(path);
  ASSERT_EQ(tree.has_value(), streamed.has_value());
  EXPECT_TRUE(!tree || *streamed == treeScan(*tree));
}

TEST(MediaLibraryStream, CorpusScansAsTheTreeDoes) {
  const auto files = corpusFiles();
  EXPECT_GT(files.size(), 150u);
  for (const auto& file : files) expectSameScan(file.string());
}

TEST(MediaLibraryStream, BenchGeneratorLibraryScansAsTheTreeDoes) {
  const TempHome dir("fwkit-itunes-gen");
  const auto path = dir.tmp() / "generated.xml";
  const std::string command =
      "python3 '" FW_SOURCE_DIR "/bench/gen-itunes-library.py' 3000 '" + path.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  expectSameScan(path.string());
}

// A library in which names collapse after lower-casing and trimming, track
// IDs repeat, records are of the wrong kind, keys repeat, flags take every
// kind of value, and playlists come with and without items.
std::string oddLibrary(unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };
  const std::vector<std::string> names = {"Song",
                                          "song",
                                          "  SONG ",
                                          "Song\n",
                                          "\xC2\xA0song\xE3\x80\x80",
                                          "Stra\xC3\x9F"
                                          "e",
                                          "STRASSE",
                                          "\xC4\xB0stanbul",
                                          "   ",
                                          "",
                                          "Caf\xC3\xA9 &amp; Co",
                                          "\xCE\x9F\xCE\xA3"};
  const std::vector<std::string> locations = {"file://localhost/Music/a%20b.mp3",
                                              "file:///home/someone/Music/x.mp3",
                                              "file:///a b.mp3",
                                              "http://host",
                                              "file:///50%25.mp3",
                                              "file:///%00.mp3",
                                              "file:///bad%2.mp3",
                                              "file:///caf%C3%A9.mp3",
                                              "file://localhost"};
  const std::vector<std::string> values = {"<true/>",
                                           "<false/>",
                                           "<integer>1</integer>",
                                           "<integer>0</integer>",
                                           "<integer>256</integer>",
                                           "<string>YES</string>",
                                           "<string>no</string>",
                                           "<string>256</string>",
                                           "<real>0.5</real>",
                                           "<dict/>",
                                           "<array><true/></array>",
                                           "<data>AA==</data>",
                                           "<date>2004-01-01T00:00:00Z</date>"};
  const std::vector<std::string> playlistNames = {"Mix",           "Mix",         "Podcasts",
                                                  "podcasts",      "Fetchwright", "fetchwright",
                                                  "Party Shuffle", "Library",     "Caf\xC3\xA9"};
  std::string records = "<dict>";
  for (int i = 0; i < 300; ++i) {
    records += "<key>" + std::to_string(rng() % 200) + "</key>";
    switch (rng() % 12) {
      case 0: records += pick(values); continue;  // not a record
      case 1: records += str("x"); continue;
      default: break;
    }
    records += "<dict>" + key("Track ID", "<integer>" + std::to_string(i) + "</integer>");
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) {
      const unsigned r = rng() % 10;
      if (r < 4)
        records += key("Name", str(pick(names)));
      else if (r < 8)
        records += key("Location", str(pick(locations)));
      else if (r == 8)
        records += key(pick({"Name", "Location"}), pick(values));
      else
        records += key("Nested", "<dict>" + key("Name", str("deep")) + "</dict>");
    }
    records += "</dict>";
  }
  records += "</dict>";
  std::string lists = "<array>";
  for (int i = 0; i < 60; ++i) {
    if (rng() % 10 == 0) {
      lists += pick(values);
      continue;
    }
    lists += "<dict>";
    if (rng() % 8 != 0) lists += key("Name", str(pick(playlistNames)));
    for (const char* flag :
         {"Master", "Podcasts", "Videos", "Folder", "Party Shuffle", "Smart Info"}) {
      if (rng() % 6 == 0) lists += key(flag, pick(values));
    }
    if (rng() % 2) {
      lists += "<key>Playlist Items</key><array>";
      for (int t = 0, n = static_cast<int>(rng() % 5); t < n; ++t) {
        lists += "<dict>" + key("Track ID", "<integer>" + std::to_string(t) + "</integer>");
        lists += "</dict>";
      }
      lists += "</array>";
    }
    if (rng() % 10 == 0) lists += key("Name", "<integer>7</integer>");
    lists += "</dict>";
  }
  std::string root = key("Major Version", "<integer>1</integer>");
  root += key("Tracks", seed % 7 == 3 ? "<array/>" : records);
  root += key("Playlists", lists + "</array>");
  // A repeated key replaces the first one's value.
  if (seed % 5 == 1) root += tracks({track("Second", "file:///s")});
  if (seed % 5 == 2) root += "<key>Playlists</key><dict/>";
  return xmlPlist(root);
}

TEST(MediaLibraryStream, GeneratedOdditiesScanAsTheTreeDoes) {
  const TempHome dir("fwkit-itunes-stream");
  for (unsigned seed = 0; seed < 12; ++seed) {
    SCOPED_TRACE(seed);
    const std::string xml = oddLibrary(seed);
    const auto tree = plist::readXmlPropertyList(bytesOf(xml));
    ASSERT_TRUE(tree.has_value());
    const Found want = treeScan(*tree);
    EXPECT_FALSE(want.tracks.empty() && seed % 7 != 3);
    // The dedicated reader; expat, to which a comment after the tracks
    // hands the file over, so that the scan starts over; and a binary list.
    std::string handedOver = xml;
    handedOver.insert(handedOver.find("<key>Playlists</key>"), "<!-- exported -->");
    const auto binary = plist::writeBinaryPropertyList(*tree);
    ASSERT_TRUE(binary.has_value());
    const std::string binaryText(binary->begin(), binary->end());
    for (const std::string& bytes : {xml, handedOver, binaryText}) {
      writeFile(dir.tmp() / "odd", bytes);
      const std::optional<Found> streamed = streamScan((dir.tmp() / "odd").string());
      ASSERT_TRUE(streamed.has_value());
      EXPECT_TRUE(*streamed == want) << bytes.substr(0, 8);
    }
  }
}

}  // namespace
}  // namespace fw
