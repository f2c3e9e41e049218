// The streaming media-library scan against a tree-based one (the scan as
// it was before it streamed: read the whole tree, then look the keys up)
// on the corpus and on generated libraries full of oddities; and hostile
// libraries stay bounded.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/plist/binary_writer.h"
#include "platform/plist/property_list.h"
#include "platform/url.h"
#include "tool/fw_library_core.h"
#include "tool/itunes_library_scan.h"
#include "tool/value_truth.h"
#include "tests/support/plist_bytes.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

using plist::Dictionary;
using plist::Value;
using test_support::TempHome;

// What a scan found, in order, as plain strings for readable failures.
struct Found {
  std::vector<std::pair<std::u16string, std::u16string>> tracks;
  std::vector<std::u16string> playlists;
  bool operator==(const Found&) const = default;
};

Found found(const MediaLibraryScan& s) {
  Found f;
  for (const auto& [name, path] : s.tracks) f.tracks.emplace_back(name.view(), path.view());
  for (const auto& name : s.playlists) f.playlists.emplace_back(name.view());
  return f;
}

std::optional<std::u16string_view> stringFor(const Dictionary& d, std::u16string_view key) {
  const Value* v = d.find(key);
  return v ? v->asString() : std::nullopt;
}

// The tree-based scan.
Found treeScan(const Value& library, std::u16string_view home) {
  Found f;
  const Dictionary* root = library.asDictionary();
  if (!root) return f;
  if (const Value* tracks = root->find(u"Tracks"); tracks && tracks->asDictionary()) {
    for (const auto& [id, value] : *tracks->asDictionary()) {
      const Dictionary* track = value.asDictionary();
      if (!track) continue;
      const auto name = stringFor(*track, u"Name");
      const auto location = stringFor(*track, u"Location");
      if (!name || !location) continue;
      const auto url = Url::parse(*location);
      if (!url) continue;
      const auto path = url->path();
      if (!path || path->find(u'\0') != std::u16string::npos) continue;
      f.tracks.emplace_back(*FwLibraryCore::normalizedStringForString(*name),
                            stringByAbbreviatingWithTildeInPath(*path, home));
    }
  }
  if (const Value* records = root->find(u"Playlists"); records && records->asArray()) {
    for (const Value& value : *records->asArray()) {
      const Dictionary* record = value.asDictionary();
      if (!record) continue;
      const auto name = stringFor(*record, u"Name");
      if (!name || record->contains(u"Smart Info") || *name == u"Fetchwright") continue;
      bool flagged = false;
      for (auto flag : {u"Master", u"Podcasts", u"Videos", u"Folder", u"Party Shuffle"}) {
        flagged = flagged || valueIsTrue(record->find(flag));
      }
      if (flagged || *name == u"Podcasts" || *name == u"Party Shuffle") continue;
      f.playlists.emplace_back(*name);
    }
  }
  return f;
}

constexpr std::u16string_view kHome = u"/home/someone";

// Both scans of one file: equal, or both refuse it.
void expectSameScan(const std::string& path) {
  SCOPED_TRACE(path);
  const auto tree = plist::readPropertyListFile(path);
  const auto streamed = scanMediaLibrary(path, kHome);
  ASSERT_EQ(tree.has_value(), streamed.has_value());
  if (tree) {
    EXPECT_TRUE(found(*streamed) == treeScan(*tree, kHome));
  }
}

TEST(ItunesStream, CorpusScansAsTheTreeDoes) {
  std::size_t scanned = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(FW_CORPUS_DIR, ec)) {
    if (!e.is_regular_file(ec)) continue;
    expectSameScan(e.path().string());
    ++scanned;
  }
  EXPECT_GT(scanned, 150u);
}

// A library in which names collapse after lower-casing and trimming, track
// IDs repeat, records are of the wrong kind, keys repeat, flags take every
// kind of value, and playlists come with and without items.
std::string oddLibrary(unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };
  const std::vector<std::string> names = {
      "Song", "song", "  SONG ", "Song\n", "\xC2\xA0song\xE3\x80\x80", "Stra\xC3\x9F" "e",
      "STRASSE", "\xC4\xB0stanbul", "   ", "", "Caf\xC3\xA9 &amp; Co", "\xCE\x9F\xCE\xA3"};
  const std::vector<std::string> locations = {
      "file://localhost/Music/a%20b.mp3", "file:///home/someone/Music/x.mp3", "file:///a b.mp3",
      "http://host", "file:///50%25.mp3", "file:///%00.mp3", "file:///bad%2.mp3",
      "file:///caf%C3%A9.mp3", "file://localhost"};
  const std::vector<std::string> values = {
      "<true/>", "<false/>", "<integer>1</integer>", "<integer>0</integer>",
      "<integer>256</integer>", "<string>YES</string>", "<string>no</string>",
      "<string>256</string>", "<real>0.5</real>", "<dict/>", "<array><true/></array>",
      "<data>AA==</data>", "<date>2004-01-01T00:00:00Z</date>"};
  const std::vector<std::string> playlistNames = {
      "Mix", "Mix", "Podcasts", "podcasts", "Fetchwright", "fetchwright", "Party Shuffle",
      "Library", "Caf\xC3\xA9"};
  std::string tracks = "<dict>";
  for (int i = 0; i < 300; ++i) {
    tracks += "<key>" + std::to_string(rng() % 200) + "</key>";
    switch (rng() % 12) {
      case 0: tracks += pick(values); continue;  // not a record
      case 1: tracks += "<string>x</string>"; continue;
      default: break;
    }
    tracks += "<dict><key>Track ID</key><integer>" + std::to_string(i) + "</integer>";
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) {
      const unsigned r = rng() % 10;
      if (r < 4) tracks += "<key>Name</key><string>" + pick(names) + "</string>";
      else if (r < 8) tracks += "<key>Location</key><string>" + pick(locations) + "</string>";
      else if (r == 8) tracks += "<key>" + pick({"Name", "Location"}) + "</key>" + pick(values);
      else tracks += "<key>Nested</key><dict><key>Name</key><string>deep</string></dict>";
    }
    tracks += "</dict>";
  }
  tracks += "</dict>";
  std::string playlists = "<array>";
  for (int i = 0; i < 60; ++i) {
    if (rng() % 10 == 0) {
      playlists += pick(values);
      continue;
    }
    playlists += "<dict>";
    if (rng() % 8 != 0) playlists += "<key>Name</key><string>" + pick(playlistNames) + "</string>";
    for (const char* flag : {"Master", "Podcasts", "Videos", "Folder", "Party Shuffle", "Smart Info"}) {
      if (rng() % 6 == 0) playlists += std::string("<key>") + flag + "</key>" + pick(values);
    }
    if (rng() % 2) {
      playlists += "<key>Playlist Items</key><array>";
      for (int t = 0, n = static_cast<int>(rng() % 5); t < n; ++t) {
        playlists += "<dict><key>Track ID</key><integer>" + std::to_string(t) + "</integer></dict>";
      }
      playlists += "</array>";
    }
    if (rng() % 10 == 0) playlists += "<key>Name</key><integer>7</integer>";
    playlists += "</dict>";
  }
  playlists += "</array>";
  std::string root = "<key>Major Version</key><integer>1</integer>";
  root += "<key>Tracks</key>" + (seed % 7 == 3 ? std::string("<array/>") : tracks);
  root += "<key>Playlists</key>" + playlists;
  // A repeated key replaces the first one's value.
  if (seed % 5 == 1) {
    root += "<key>Tracks</key><dict><key>5</key><dict><key>Name</key><string>Second</string>"
            "<key>Location</key><string>file:///s</string></dict></dict>";
  }
  if (seed % 5 == 2) root += "<key>Playlists</key><dict/>";
  return test_support::xmlPlist(root);
}

TEST(ItunesStream, GeneratedOdditiesScanAsTheTreeDoes) {
  const TempHome dir("fw-itunes-stream");
  for (unsigned seed = 0; seed < 12; ++seed) {
    const std::string xml = oddLibrary(seed);
    const auto tree = plist::readXmlPropertyList(test_support::bytesOf(xml));
    ASSERT_TRUE(tree.has_value()) << seed;
    // The dedicated reader, expat (a comment hands the file over), and a
    // binary list replayed from its tree.
    const auto xmlPath = dir.tmp() / "odd.xml";
    const auto expatPath = dir.tmp() / "odd-expat.xml";
    const auto binaryPath = dir.tmp() / "odd.plist";
    test_support::writeFile(xmlPath, xml);
    // The comment comes after the tracks, so the scan starts over.
    std::string handedOver = xml;
    handedOver.insert(handedOver.find("<key>Playlists</key>"), "<!-- exported -->");
    test_support::writeFile(expatPath, handedOver);
    const auto binary = plist::writeBinaryPropertyList(*tree);
    ASSERT_TRUE(binary.has_value());
    test_support::writeFile(binaryPath, std::string(binary->begin(), binary->end()));
    const Found want = treeScan(*tree, kHome);
    for (const auto& path : {xmlPath, expatPath, binaryPath}) {
      const auto streamed = scanMediaLibrary(path.string(), kHome);
      ASSERT_TRUE(streamed.has_value()) << seed << " " << path;
      EXPECT_TRUE(found(*streamed) == want) << seed << " " << path;
    }
    EXPECT_FALSE(want.tracks.empty() && seed % 7 != 3) << seed;
  }
}

TEST(ItunesStream, BenchGeneratorLibraryScansAsTheTreeDoes) {
  const TempHome dir("fw-itunes-gen");
  const auto path = dir.tmp() / "generated.xml";
  const std::string command = "python3 '" FW_SOURCE_DIR "/bench/gen-itunes-library.py' 3000 '" +
                              path.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  expectSameScan(path.string());
}

// Memory stays bounded by what is kept, on the fast path and off it; a
// hostile library is refused or read without growing with its size.
TEST(ItunesStream, HostileLibrariesStayBounded) {
  const TempHome home("fw-itunes-hostile");
  auto track = [](int i, bool location) {
    return "<key>" + std::to_string(i) + "</key><dict><key>Name</key><string>Track " +
           std::to_string(i) + " with a long enough name to cost something</string>" +
           (location ? "<key>Location</key><string>file:///m/" + std::to_string(i) + ".mp3</string>"
                     : std::string("<key>Comments</key><string>") + std::string(200, 'c') +
                           "</string>") +
           "</dict>";
  };
  // Written piece by piece: a forked child counts what its parent holds,
  // so the test never holds a large library itself. After the
  // declaration, a comment hands the file to expat.
  auto library = [&](std::ostream& out, int n, bool location, bool comment) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" << (comment ? "<!-- c -->" : "")
        << "<plist version=\"1.0\"><dict><key>Tracks</key><dict>";
    for (int i = 0; i < n; ++i) out << track(i, location);
    out << "</dict></dict></plist>\n";
  };
  const struct {
    const char* what;
    std::function<void(std::ostream&)> write;
    const char* lb;  // the count logged, or nullptr for none
    long allowedKb;  // above the small library's peak
  } cases[] = {
      {"small", [&](std::ostream& out) { library(out, 10, true, false); }, "10", 0},
      {"60 MB, nothing kept", [&](std::ostream& out) { library(out, 200000, false, false); }, "0",
       16 << 10},
      {"60 MB through expat, nothing kept",
       [&](std::ostream& out) { library(out, 200000, false, true); }, "0", 16 << 10},
      {"deep nesting",
       [](std::ostream& out) {
         out << "<plist><dict><key>Tracks</key>";
         for (int i = 0; i < 1000000; ++i) out << "<array>";
       },
       nullptr, 16 << 10},
      // Text is held whole while it is read: once, plus the buffer's slack.
      {"one 48 MB string",
       [&](std::ostream& out) {
         out << "<plist><dict><key>Tracks</key><dict>" << track(1, true)
             << "<key>2</key><dict><key>Comments</key><string>";
         const std::string mb(1 << 20, 'x');
         for (int i = 0; i < 48; ++i) out << mb;
         out << "</string></dict></dict></dict></plist>";
       },
       "1", 100 << 10},
  };
  long smallRss = 0;
  for (const auto& c : cases) {
    {
      std::filesystem::create_directories((home.home() / test_support::kLibraryPath).parent_path());
      std::ofstream out(home.home() / test_support::kLibraryPath, std::ios::binary);
      c.write(out);
    }
    const auto r = test_support::runTool(home);
    ASSERT_EQ(r.status, 0) << c.what << r.describe();
    const std::size_t at = r.err.find("lb: ");
    if (c.lb) {
      ASSERT_NE(at, std::string::npos) << c.what;
      EXPECT_EQ(r.err.substr(at + 4, r.err.find('\n', at) - at - 4), c.lb) << c.what;
    } else {
      EXPECT_EQ(at, std::string::npos) << c.what;
    }
    if (smallRss == 0) smallRss = r.peakKb;
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LE(r.peakKb - smallRss, c.allowedKb)
        << c.what << ": " << r.peakKb << " KB against " << smallRss;
#endif
  }
}

}  // namespace
}  // namespace fw
