// Which folders the preference file makes roots, read in this process from
// a temporary home. "H" in an expectation stands for that home.

#include "tool/preference_roots.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/plist/binary/writer.h"
#include "platform/strings/unicode.h"
#include "tests/support/scan_in_process.h"
#include "tests/support/snapshot.h"

namespace fw::test_support {
namespace {

using namespace std::string_literals;
using Roots = std::vector<std::string>;

Roots roots(const TempHome& home) {
  HomeOverride env(home.home());
  const std::string h = home.home().string();
  Roots out;
  for (const std::u16string& root : preferenceRoots()) {
    const std::string path = utf16ToUtf8Lossy(root);
    out.push_back(path.rfind(h, 0) == 0 ? "H" + path.substr(h.size()) : path);
  }
  return out;
}

TEST(PreferenceRoots, ChosenFromTheFileInWalkingOrder) {
  TempHome home("fwkit-roots");
  const std::string h = home.home().string();
  const std::string t = "<true/>";
  const struct {
    const char* what;
    std::string prefs;
    Roots expected;
  } cases[] = {
      {"no keys", "", {}},
      {"each kind, in walking order",
       key("kFwSharedDirectories", strings({"~/C", "/abs"})) + key("kFwMoveImages", t) +
           key("kFwMoveImagesLocation", str("~/I")) + key("save_directory", str("~/S")) +
           key("kFwMoveMusic", t) + key("kFwMoveMusicLocation", str("~/M")),
       {"H/S", "H/M", "H/I", "H/C", "/abs"}},
      {"the Desktop itself, however spelt",
       key("save_directory", str("~/Desktop")) +
           key("kFwSharedDirectories", strings({h + "/Desktop/", "~/Desktop//"})),
       {}},
      {"inside the Desktop",
       key("kFwSharedDirectories", strings({"~/Desktop/Sub/", "~/Desktop/Sub"})),
       {"H/Desktop/Sub/", "H/Desktop/Sub"}},
      {"shared directories as one string",
       key("kFwSharedDirectories", str("~/Shared")),
       {"H/Shared"}},
      {"shared directories as a dictionary",
       key("kFwSharedDirectories", "<dict><key>x</key>" + str("~/Shared") + "</dict>"),
       {}},
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
       {"H/Music", "H/Movies", "H/Pictures"}},
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
      {"roots that are not strings, or empty",
       key("save_directory", "<integer>3</integer>") + key("kFwMoveMusic", t) +
           key("kFwMoveMusicLocation", "<dict><key>a</key>" + str("~/Music") + "</dict>") +
           key("kFwSharedDirectories", "<array><dict/><integer>1</integer><data></data>" + str("") +
                                           str("~/Shared") + "<true/></array>"),
       {"H/Shared"}},
      // Only a hidden last component is refused here; what is no folder is
      // left to the walk.
      {"hidden folders",
       key("kFwSharedDirectories",
           strings({"~/.hidden", h + "/Music/.svn", "~/.a/b", "~/plain.txt"})),
       {"H/.a/b", "H/plain.txt"}},
      {"duplicates stay",
       key("save_directory", str("~/Music")) +
           key("kFwSharedDirectories", strings({"~/Music", h + "/Music/", "~/Music"})),
       {"H/Music", "H/Music", "H/Music/", "H/Music"}},
  };
  for (const auto& c : cases) {
    home.preferences(c.prefs);
    EXPECT_EQ(roots(home), c.expected) << c.what;
  }

  // U+0000 in a path names no folder; only a binary file can carry one.
  plist::Dictionary prefs;
  prefs.set(u"save_directory", plist::Value::string(u"~/real\0/etc"s));
  prefs.set(u"kFwSharedDirectories",
            plist::Value::array({plist::Value::string(u"~/ok"), plist::Value::string(u"\0"s)}));
  binaryPreferences(home, plist::Value::dictionary(std::move(prefs)));
  EXPECT_EQ(roots(home), Roots{"H/ok"});
}

// A binary file is read like an XML one; anything else that is not a
// dictionary gives no roots, and neither a directory nor a FIFO with no
// writer (which would block a reader forever) stops the scan.
TEST(PreferenceRoots, FilesThatCannotBeUsedGiveNone) {
  TempHome home("fwkit-roots");
  const fs::path file = home.home() / kPreferencesPath;
  plist::Dictionary dict;
  dict.set(u"save_directory", plist::Value::string(u"~/Music"));
  const auto binary = plist::writeBinaryPropertyList(plist::Value::dictionary(dict));
  ASSERT_TRUE(binary);
  const std::string binaryText(binary->begin(), binary->end());
  const std::string full = xmlPlist(key("save_directory", str("~/Music")));
  const struct {
    const char* what;
    std::string bytes;
    bool read;
  } cases[] = {
      {"XML dictionary", full, true},
      {"binary dictionary", binaryText, true},
      {"garbage", "\x00\x01garbage\xFF{not a plist"s, false},
      {"empty file", "", false},
      {"truncated XML", full.substr(0, full.size() - 20), false},
      {"truncated binary", binaryText.substr(0, binaryText.size() - 5), false},
      {"list as the root", "<plist version=\"1.0\"><array>" + str("~/Music") + "</array></plist>",
       false},
      {"string as the root", "<plist version=\"1.0\">" + str("~/Music") + "</plist>", false},
  };
  for (const auto& c : cases) {
    writeFile(file, c.bytes);
    EXPECT_EQ(roots(home), c.read ? Roots{"H/Music"} : Roots{}) << c.what;
  }
  fs::remove(file);
  EXPECT_EQ(roots(home), Roots{}) << "no file";
  fs::create_directories(file);
  EXPECT_EQ(roots(home), Roots{}) << "a directory";
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(roots(home), Roots{}) << "a FIFO";
}

}  // namespace
}  // namespace fw::test_support
