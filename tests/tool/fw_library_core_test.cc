// The scanner's collections and the snapshot built from them, in this
// process; then traverse(), the whole run, in the tool: the snapshot file
// and the exit status.

#include "tool/fw_library_core.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/diagnostics/exception.h"
#include "platform/plist/binary/writer.h"
#include "platform/strings/unicode.h"
#include "tests/support/run_tool.h"
#include "tests/support/scan_in_process.h"

namespace fw {
namespace {

using namespace test_support;
using plist::SharedString;
using plist::Value;

// Collections whose insert always throws, as an immutable one would.
template <int kKind>
struct Refusing {
  template <class T>
  void addObject(const T&) {
    if constexpr (kKind == 0) throw Exception("NSInvalidArgumentException", "immutable collection");
    if constexpr (kKind == 1) throw std::out_of_range("full");
    throw 7;
  }
};

TEST(GuardedInsert, SkipsAbsentAndSwallowsWhatTheInsertThrows) {
  StringSet set;
  std::vector<std::string> log = loggedBy([&] {
    addObjectToCollection(std::optional<SharedString>{}, &set);
    addObjectToCollection(static_cast<const SharedString*>(nullptr), &set);
    addObjectToCollection(std::optional<SharedString>(SharedString(u"a")), &set);
    addObjectToCollection(std::optional<SharedString>(SharedString(u"a")), &set);
  });
  EXPECT_EQ(set.count(), 1u);
  EXPECT_TRUE(log.empty());

  Refusing<0> refusing;
  Refusing<1> refusingStd;
  Refusing<2> refusingOther;
  log = loggedBy([&] {
    addObjectToCollection(std::optional<int>(1), &refusing);
    addObjectToCollection(std::optional<int>(1), &refusingStd);
    addObjectToCollection(std::optional<int>(1), &refusingOther);
    addObjectToCollection(std::optional<int>(), &refusing);
  });
  EXPECT_EQ(log, (std::vector<std::string>{"NSInvalidArgumentException: immutable collection",
                                           "std::out_of_range: full", "int: "}));
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
    EXPECT_EQ(std::vector<std::uint8_t>(direct->begin(), direct->end()),
              *plist::writeBinaryPropertyList(core.dictionary()))
        << stage;
  };
  expectSameFile("nothing scanned");
  core.names.emplace();
  core.namesToParentPaths.emplace();
  core.sizesToNames.emplace();
  const SharedString music(u"~/Music");
  for (int i = 0; i < 400; ++i) {  // wide references and counts past one byte
    core.namesToParentPaths->insert_or_assign(SharedString::fromUtf8("song" + std::to_string(i)),
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
  TempHome home("fwkit-core");
  for (const char* f :
       {"A/b", "A/a", "A/sub/a", "A/sub/c", "A/sub/deeper/b", "A/d", "B/a", "B/e", "B/f/c"}) {
    writeFile(home.root() / f, "");
  }
  const std::u16string a = utf8ToUtf16Lossy((home.root() / "A").string());
  const std::u16string b = utf8ToUtf16Lossy((home.root() / "B").string());
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
    for (const auto& s : c.mapBefore) {
      core.namesToParentPaths->insert_or_assign(SharedString(s), SharedString(u"~"));
    }
    // Two roots, as the folder scan walks them, sharing names.
    core.traverseDirectory(a, &*core.names, nullptr);
    core.traverseDirectory(b, &*core.names, nullptr);
    EXPECT_EQ(setItems(*core.names), appendNew(appendNew(c.setBefore, inA), inB)) << c.what;
    EXPECT_EQ(keys(*core.namesToParentPaths), appendNew(appendNew(c.mapBefore, inA), inB))
        << c.what;
  }
}

// Each run replaces the snapshot whole, with mode 0600, through a new file
// renamed into place, so a link planted at the path is replaced, not
// followed. An independent reader, python3's plistlib, agrees on the file.
TEST(Traverse, ReplacesTheSnapshotWholeAndNeverWritesThroughALink) {
  TempHome home("fwkit-traverse");
  ToolResult r = runTool(home);
  ASSERT_EQ(r.status, 0) << r.describe();
  EXPECT_EQ(r.messages(), folderScanLines(0, 0));
  const std::optional<Snapshot> empty = readSnapshot(home.snapshotPath());
  ASSERT_TRUE(empty) << "four empty collections";
  EXPECT_TRUE(empty->playlists.empty() && empty->tunesToPaths.empty() &&
              empty->namesToParentPaths.empty() && empty->sizesToNames.empty());

  for (const char* name : {"caf\xC3\xA9.txt", "\xF0\x9F\x8E\xB5 song.mp3", "plain"}) {
    writeFile(home.home() / "Mixed" / name, "x");
  }
  sizedFile(home.home() / "Mixed/sub/huge.iso", 52428800);
  home.preferences(key("save_directory", str("~/Mixed")));
  ASSERT_EQ(::chmod(home.snapshotPath().c_str(), 0644), 0);
  ASSERT_EQ(runTool(home).status, 0);
  struct stat st;
  ASSERT_EQ(::lstat(home.snapshotPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  writeFile(home.root() / "read.py",
            "import plistlib, sys\n"
            "data = open(sys.argv[1], 'rb').read()\n"
            "assert data[:8] == b'bplist00'\n"
            "root = plistlib.loads(data, fmt=plistlib.FMT_BINARY)\n"
            "print(','.join(sorted(root)), len(root['playlists']), len(root['tunesToPaths']))\n"
            "for table in ('namesToParentPaths', 'sizesToNames'):\n"
            "    for k in sorted(root[table]):\n"
            "        print(table, k, '=', root[table][k])\n");
  ToolOptions python;
  python.program = "/usr/bin/env";
  python.args = {"python3", (home.root() / "read.py").string(), home.snapshotPath().string()};
  python.env = {{"PYTHONIOENCODING", "utf-8"}};
  r = runTool(home, python);
  EXPECT_EQ(r.status, 0) << r.describe();
  EXPECT_EQ(r.out,
            "namesToParentPaths,playlists,sizesToNames,tunesToPaths 0 0\n"
            "namesToParentPaths caf\xC3\xA9.txt = ~/Mixed\n"
            "namesToParentPaths huge.iso = ~/Mixed/sub\n"
            "namesToParentPaths plain = ~/Mixed\n"
            "namesToParentPaths \xF0\x9F\x8E\xB5 song.mp3 = ~/Mixed\n"
            "sizesToNames 52428800 = huge.iso\n");

  const fs::path victim = home.root() / "victim.txt";
  writeFile(victim, "keep me");
  const std::string before = readBytes(home.snapshotPath());
  fs::remove(home.snapshotPath());
  symlinkAt(victim, home.snapshotPath());
  ASSERT_EQ(runTool(home).status, 0);
  EXPECT_EQ(readBytes(victim), "keep me");
  ASSERT_EQ(::lstat(home.snapshotPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(readBytes(home.snapshotPath()), before);
  EXPECT_EQ(home.tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
}

// A write that fails is reported, exits 1, and leaves the earlier snapshot
// and no stray file behind. The size limit leaves room for the log file.
TEST(Traverse, FailedWriteExitsOneAndKeepsTheEarlierSnapshot) {
  const struct {
    const char* what;
    std::optional<rlim_t> fileSize;
    bool readOnlyTemporaryDirectory;
  } cases[] = {{"file size limit", 1024, false}, {"read-only temporary directory", {}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.readOnlyTemporaryDirectory && ::geteuid() == 0) continue;  // root writes anyway
    TempHome home("fwkit-traverse");
    writeFile(home.home() / "A/a.txt", "x");
    home.preferences(key("save_directory", str("~/A")));
    ASSERT_EQ(runTool(home).status, 0);
    const std::string before = readBytes(home.snapshotPath());
    for (int i = 0; i < 100; ++i) {
      writeFile(home.home() / ("A/more-names-make-a-longer-snapshot-" + std::to_string(i)), "");
    }
    ASSERT_EQ(c.readOnlyTemporaryDirectory ? ::chmod(home.tmp().c_str(), 0500) : 0, 0);
    ToolOptions options;
    options.fileSize = c.fileSize;
    const ToolResult r = runTool(home, options);
    ::chmod(home.tmp().c_str(), 0700);
    EXPECT_EQ(r.status, 1) << r.describe();
    const std::vector<std::string> lines = r.messages();
    ASSERT_EQ(lines.size(), 3u) << r.describe();
    const std::string prefix = couldNotWrite(home);
    EXPECT_EQ(lines[2].substr(0, prefix.size()), prefix);
    EXPECT_GT(lines[2].size(), prefix.size()) << "a reason follows";
    EXPECT_EQ(readBytes(home.snapshotPath()), before);
    EXPECT_EQ(home.tmpListing(), std::vector<std::string>{"FwLibraryCore.plist"});
  }
}

}  // namespace
}  // namespace fw
