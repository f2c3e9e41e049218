#include "tool/fw_library_core.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "platform/plist/binary_writer.h"
#include "platform/plist/property_list.h"
#include "platform/unicode.h"

namespace fw {
namespace {

using plist::SharedString;
using plist::Value;

// A collection whose insert always throws, as an immutable one would.
struct Refusing {
  template <class T>
  void addObject(const T&) {
    throw Exception("NSInvalidArgumentException", "immutable collection");
  }
};
struct RefusingStd {
  template <class T>
  void addObject(const T&) {
    throw std::out_of_range("full");
  }
};
struct RefusingOther {
  template <class T>
  void addObject(const T&) {
    throw 7;
  }
};

// What `run` writes to standard error; the lines it logs are short enough
// to fit in a pipe's buffer.
std::string captureStderr(const std::function<void()>& run) {
  std::fflush(stderr);
  int fds[2];
  if (::pipe(fds) != 0) return "<no pipe>";
  int saved = ::dup(2);
  ::dup2(fds[1], 2);
  ::close(fds[1]);
  run();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::string text;
  char block[4096];
  for (ssize_t n; (n = ::read(fds[0], block, sizeof block)) > 0;) text.append(block, n);
  ::close(fds[0]);
  return text;
}

TEST(GuardedInsert, SkipsAbsentAndSwallowsWhatTheInsertThrows) {
  StringSet set;
  std::string log = captureStderr([&] {
    addObjectToCollection(std::optional<SharedString>{}, &set);
    addObjectToCollection(static_cast<const SharedString*>(nullptr), &set);
    addObjectToCollection(std::optional<SharedString>(SharedString(u"a")), &set);
    addObjectToCollection(std::optional<SharedString>(SharedString(u"a")), &set);
  });
  EXPECT_EQ(set.count(), 1u);
  EXPECT_EQ(log, "");

  Refusing refusing;
  RefusingStd refusingStd;
  RefusingOther refusingOther;
  log = captureStderr([&] {
    addObjectToCollection(std::optional<int>(1), &refusing);
    addObjectToCollection(std::optional<int>(1), &refusingStd);
    addObjectToCollection(std::optional<int>(1), &refusingOther);
    addObjectToCollection(std::optional<int>(), &refusing);
  });
  // Each line is "<timestamp> library-snapshot[pid:tid] <name>: <reason>".
  std::vector<std::string> messages;
  for (std::size_t at = 0; at < log.size();) {
    std::size_t end = log.find('\n', at);
    std::string line = log.substr(at, end - at);
    messages.push_back(line.substr(line.find("] ") + 2));
    at = end == std::string::npos ? log.size() : end + 1;
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"NSInvalidArgumentException: immutable collection",
                                                "std::out_of_range: full", "int: "}))
      << log;
}

TEST(Dictionary, StopsAtTheFirstAbsentCollection) {
  FwLibraryCore core;
  EXPECT_EQ(core.dictionary(), Value::dictionary());
  core.names.emplace();
  core.namesToParentPaths.emplace();
  core.namesToParentPaths->insert_or_assign(SharedString(u"a"), SharedString(u"~"));
  core.sizesToNames.emplace();
  EXPECT_EQ(core.dictionary(), Value::dictionary()) << "playlists is still absent";
  core.playlists.emplace();
  core.playlists->addObject(SharedString(u"Mix"));
  plist::Dictionary expected;
  expected.set(u"playlists", Value::array({Value::string(u"Mix")}));
  EXPECT_EQ(core.dictionary(), Value::dictionary(expected)) << "tunesToPaths absent";
  core.tunesToPaths.emplace();
  plist::Dictionary names;
  names.set(u"a", Value::string(u"~"));
  expected.set(u"tunesToPaths", Value::dictionary());
  expected.set(u"namesToParentPaths", Value::dictionary(names));
  expected.set(u"sizesToNames", Value::dictionary());
  EXPECT_EQ(core.dictionary(), Value::dictionary(expected));
}

// The snapshot is written straight from the collections; it must be the
// file of the dictionary, byte for byte, at every stage of filling them.
TEST(SnapshotPropertyList, IsTheDictionarysFileAtEveryStage) {
  FwLibraryCore core;
  auto expectSameFile = [&](const char* stage) {
    std::string reason;
    auto direct = core.snapshotPropertyList(&reason);
    ASSERT_TRUE(direct) << stage << ": " << reason;
    EXPECT_EQ(*direct, *plist::writeBinaryPropertyList(core.dictionary())) << stage;
  };
  expectSameFile("nothing scanned");
  core.names.emplace();
  core.namesToParentPaths.emplace();
  core.sizesToNames.emplace();
  const SharedString music(u"~/Music");
  for (int i = 0; i < 400; ++i) {  // wide references and counts past one byte
    core.namesToParentPaths->insert_or_assign(SharedString(asciiToUtf16("song" + std::to_string(i))),
                                              i % 2 ? music : SharedString(u"~/Music"));
  }
  core.namesToParentPaths->insert_or_assign(SharedString(u"caf\u00e9"), SharedString(u"song3"));
  core.sizesToNames->insert_or_assign(SharedString(u"20971520"), SharedString(u"song3"));
  expectSameFile("playlists absent");
  core.playlists.emplace();
  core.playlists->addObject(SharedString(u"Mix"));
  core.playlists->addObject(SharedString(u"tunesToPaths"));  // equal to a root key
  core.playlists->addObject(SharedString(u"Mix"));
  expectSameFile("tunesToPaths absent");
  core.tunesToPaths.emplace();
  core.tunesToPaths->insert_or_assign(SharedString(u"song3"), SharedString(u"/Music/song3.mp3"));
  expectSameFile("all present");
  core.sizesToNames.reset();
  expectSameFile("sizesToNames absent");
}

// A fresh directory for one test, HOME and TMPDIR pointing into it while the
// test runs.
class TemporaryHome {
 public:
  TemporaryHome() {
    std::string pattern = ::testing::TempDir() + "fw-core-XXXXXX";
    root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    for (const char* name : {"HOME", "TMPDIR"}) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    ::setenv("HOME", root_.c_str(), 1);
    ::setenv("TMPDIR", root_.c_str(), 1);
  }
  ~TemporaryHome() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
    std::system(("rm -rf '" + root_ + "'").c_str());
  }
  const std::string& root() const { return root_; }
  void file(const std::string& relative) const {
    const std::string path = root_ + "/" + relative;
    std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
    if (FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
  }

 private:
  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::vector<std::u16string> setItems(const StringSet& set) {
  std::vector<std::u16string> out;
  for (const auto& s : set.items()) out.emplace_back(s.view());
  return out;
}

std::vector<std::u16string> keys(const StringDictionary& map) {
  std::vector<std::u16string> out;
  for (const auto& [k, v] : map) out.emplace_back(k.view());
  return out;
}

// The name set gets every visited name not yet in it, in the order first
// visited, whatever it and namesToParentPaths held before the walk.
TEST(TraverseDirectory, NameSetGetsEachNewNameInFirstVisitOrder) {
  TemporaryHome home;
  ASSERT_FALSE(home.root().empty());
  for (const char* f : {"A/b", "A/a", "A/sub/a", "A/sub/c", "A/sub/deeper/b", "A/d", "B/a", "B/e", "B/f/c"}) {
    home.file(f);
  }
  const std::u16string a = asciiToUtf16(home.root() + "/A");
  const std::u16string b = asciiToUtf16(home.root() + "/B");
  // The order each walk visits names in, from a scanner that starts empty.
  auto visited = [&](const std::u16string& root) {
    FwLibraryCore fresh;
    fresh.names.emplace();
    fresh.namesToParentPaths.emplace();
    fresh.traverseDirectory(root, &*fresh.names, nullptr);
    return keys(*fresh.namesToParentPaths);
  };
  const auto inA = visited(a);
  const auto inB = visited(b);
  ASSERT_EQ(inA.size(), 4u);  // b a c d
  ASSERT_EQ(inB.size(), 3u);  // a e c
  auto appendNew = [](std::vector<std::u16string> to, const std::vector<std::u16string>& from) {
    for (const auto& s : from) {
      if (std::find(to.begin(), to.end(), s) == to.end()) to.push_back(s);
    }
    return to;
  };

  struct Case {
    const char* what;
    std::vector<std::u16string> setBefore;
    std::vector<std::u16string> mapBefore;
  };
  const Case cases[] = {
      {"both empty", {}, {}},
      {"both the same names", {u"c", u"zz"}, {u"c", u"zz"}},
      {"set holds a name the map lacks", {u"zz", u"a"}, {}},
      {"map holds a name the set lacks", {}, {u"c"}},
      {"as many names, not the same", {u"q"}, {u"c"}},
      {"same names, another order", {u"zz", u"c"}, {u"c", u"zz"}},
  };
  for (const Case& c : cases) {
    FwLibraryCore core;
    core.names.emplace();
    core.namesToParentPaths.emplace();
    for (const auto& s : c.setBefore) core.names->addObject(SharedString(s));
    for (const auto& s : c.mapBefore) core.namesToParentPaths->insert_or_assign(SharedString(s), SharedString(u"~"));
    // Two roots, as the folder scan walks them, sharing names.
    core.traverseDirectory(a, &*core.names, nullptr);
    core.traverseDirectory(b, &*core.names, nullptr);
    EXPECT_EQ(setItems(*core.names), appendNew(appendNew(c.setBefore, inA), inB)) << c.what;
    EXPECT_EQ(keys(*core.namesToParentPaths), appendNew(appendNew(c.mapBefore, inA), inB)) << c.what;
  }
}

}  // namespace
}  // namespace fw
