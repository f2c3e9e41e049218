#include "tool/fw_library_core.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
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

}  // namespace
}  // namespace fw
