// The file manager and the per-user temporary directory, on real files in a
// fresh directory.

#include "platform/files/file_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/temporary_directory.h"
#include "platform/strings/unicode.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// The tests work in the fixture's empty tmp() directory.
class FilesTest : public ::testing::Test {
 protected:
  std::u16string at(const std::string& relative) const {
    return utf8ToUtf16Lossy((root_ / relative).string());
  }
  void write(const std::string& relative, const std::string& text) const {
    test_support::writeFile(root_ / relative, text);
  }
  std::string read(const std::string& relative) const {
    return test_support::readBytes(root_ / relative);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
  }

  test_support::TempHome home_{"fwkit-files"};
  const fs::path root_ = home_.tmp();
  const FileManager& fm_ = FileManager::defaultManager();
};

TEST_F(FilesTest, ExistenceAndAttributesFollowLinksUnlessAsked) {
  write("file", "12345");
  fs::create_directory(root_ / "dir");
  fs::create_symlink("file", root_ / "to-file");
  fs::create_symlink("dir", root_ / "to-dir");
  fs::create_symlink("missing", root_ / "dangling");

  struct Case {
    const char* name;
    bool exists;
    bool isDirectory;
  };
  for (const Case& c :
       {Case{"file", true, false}, Case{"dir", true, true}, Case{"to-file", true, false},
        Case{"to-dir", true, true}, Case{"dangling", false, false}, Case{"absent", false, false}}) {
    SCOPED_TRACE(c.name);
    bool isDirectory = !c.isDirectory;
    EXPECT_EQ(fm_.fileExistsAtPath(at(c.name), &isDirectory), c.exists);
    if (c.exists) {
      EXPECT_EQ(isDirectory, c.isDirectory);
    }
  }

  EXPECT_EQ(fm_.fileAttributesAtPath(at("to-file"), true), (FileAttributes{FileType::Regular, 5}));
  // A link described itself has its target's length as its size.
  EXPECT_EQ(fm_.fileAttributesAtPath(at("to-file"), false),
            (FileAttributes{FileType::SymbolicLink, 4}));
  EXPECT_EQ(fm_.fileAttributesAtPath(at("dangling"), false),
            (FileAttributes{FileType::SymbolicLink, 7}));
  EXPECT_EQ(fm_.fileAttributesAtPath(at("dangling"), true), std::nullopt);
  EXPECT_EQ(fm_.fileAttributesAtPath(at("dir"), true)->type, FileType::Directory);
}

TEST_F(FilesTest, ListingHasEveryNameAndNoDotEntries) {
  write("a", "");
  write(".hidden", "");
  fs::create_directory(root_ / "sub");
  write("caf\xC3\xA9", "");
  write("bad\xFFname", "");
  auto names = fm_.directoryContentsAtPath(utf8ToUtf16Lossy(root_.string()));
  ASSERT_TRUE(names);
  std::vector<std::string> got;
  for (const auto& n : *names) got.push_back(utf16ToUtf8Lossy(n));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(
      got, (std::vector<std::string>{".hidden", "a", "bad\xEF\xBF\xBDname", "caf\xC3\xA9", "sub"}));
  EXPECT_EQ(fm_.directoryContentsAtPath(at("a")), std::nullopt);
  EXPECT_EQ(fm_.directoryContentsAtPath(at("absent")), std::nullopt);
}

TEST_F(FilesTest, ContentsAreReadWholeFromRegularFilesOnly) {
  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  write("big", big);
  write("empty", "");
  EXPECT_EQ(fm_.contentsAtPath(at("big")), bytes(big));
  EXPECT_EQ(fm_.contentsAtPath(at("empty")), bytes(""));
  EXPECT_EQ(fm_.contentsAtPath(at("absent")), std::nullopt);
  fs::create_directory(root_ / "dir");
  EXPECT_EQ(fm_.contentsAtPath(at("dir")), std::nullopt);
  // Neither a FIFO without a writer nor an endless device holds the caller.
  ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(fm_.contentsAtPath(at("fifo")), std::nullopt);
  EXPECT_EQ(fm_.contentsAtPath(u"/dev/zero"), std::nullopt);
}

TEST_F(FilesTest, AtomicWriteReplacesWholeWithMode0600AndNeverThroughALink) {
  write("target", "an older and much longer snapshot");
  ::chmod((root_ / "target").c_str(), 0644);
  std::string reason;
  ASSERT_TRUE(fm_.writeAtomically(at("target"), bytes("new"), &reason)) << reason;
  EXPECT_EQ(read("target"), "new");
  EXPECT_EQ(fs::status(root_ / "target").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A link planted at the path is replaced by the file, and what it pointed
  // at is left alone.
  write("elsewhere", "precious");
  fs::create_symlink("elsewhere", root_ / "planted");
  ASSERT_TRUE(fm_.writeAtomically(at("planted"), bytes("snap"), &reason)) << reason;
  EXPECT_FALSE(fs::is_symlink(root_ / "planted"));
  EXPECT_EQ(read("planted"), "snap");
  EXPECT_EQ(read("elsewhere"), "precious");
  EXPECT_EQ(entries(), (std::vector<std::string>{"elsewhere", "planted", "target"}));
}

TEST_F(FilesTest, FailedAtomicWriteLeavesTheTargetAndNoTemporaryFile) {
  // A directory standing at the path cannot be renamed over: the write fails
  // after the new file was made, which must then be gone.
  fs::create_directory(root_ / "occupied");
  write("occupied/inside", "kept");
  std::string reason;
  EXPECT_FALSE(fm_.writeAtomically(at("occupied"), bytes("x"), &reason));
  EXPECT_NE(reason.find("occupied"), std::string::npos) << reason;
  EXPECT_EQ(read("occupied/inside"), "kept");
  EXPECT_EQ(entries(), (std::vector<std::string>{"occupied"}));

  reason.clear();
  EXPECT_FALSE(fm_.writeAtomically(at("no-such-dir/file"), bytes("x"), &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(fm_.writeAtomically(at("dir-path/"), bytes("x"), &reason));
  EXPECT_EQ(entries(), (std::vector<std::string>{"occupied"}));
}

TEST_F(FilesTest, AtomicWriteFromAProducerKeepsTheTargetWhenItStops) {
  write("target", "earlier");
  std::string reason;
  const auto pieces = [](const ByteSink& sink) {
    return sink(bytes("new ")) && sink(bytes("file"));
  };
  ASSERT_TRUE(fm_.writeAtomicallyFrom(at("target"), pieces, &reason)) << reason;
  EXPECT_EQ(read("target"), "new file");

  // A producer that gives up after a piece: the target stays, with no
  // temporary beside it, and the producer's reason is kept.
  const auto partial = [&](const ByteSink& sink) {
    reason = "ran dry";
    return sink(bytes("half")) && false;
  };
  EXPECT_FALSE(fm_.writeAtomicallyFrom(at("target"), partial, &reason));
  EXPECT_EQ(reason, "ran dry");
  EXPECT_EQ(read("target"), "new file");
  EXPECT_EQ(entries(), (std::vector<std::string>{"target"}));
}

using test_support::ScopedEnv;

TEST_F(FilesTest, TemporaryDirectoryPrefersTmpdirThenAPrivateRuntimeDirectory) {
  fs::create_directory(root_ / "tmpdir");
  fs::create_directory(root_ / "runtime");
  ::chmod((root_ / "runtime").c_str(), 0700);
  fs::create_directory(root_ / "open-runtime");
  ::chmod((root_ / "open-runtime").c_str(), 0755);
  const std::string tmpdir = (root_ / "tmpdir").string();
  const std::string runtime = (root_ / "runtime").string();

  {
    ScopedEnv t("TMPDIR", tmpdir + "//");
    ScopedEnv x("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(temporaryDirectory(), utf8ToUtf16Lossy(tmpdir));
  }
  {
    ScopedEnv t("TMPDIR", (root_ / "absent").string());
    ScopedEnv x("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(temporaryDirectory(), utf8ToUtf16Lossy(runtime));
  }
  {
    // A runtime directory others may enter is passed over for the fallback.
    ScopedEnv t("TMPDIR", std::nullopt);
    ScopedEnv x("XDG_RUNTIME_DIR", (root_ / "open-runtime").string());
    const auto chosen = temporaryDirectory();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(utf16ToUtf8Lossy(*chosen), "/tmp/fwkit-" + std::to_string(::geteuid()));
  }
}

TEST_F(FilesTest, PerUserDirectoryIsMadePrivateAndRefusedWhenNotOursAlone) {
  const std::string own = "fwkit-" + std::to_string(::geteuid());
  std::string reason;
  auto made = perUserDirectoryIn(root_.string() + "/", &reason);
  ASSERT_TRUE(made) << reason;
  EXPECT_EQ(*made, (root_ / own).string());
  struct stat st {};
  ASSERT_EQ(::lstat(made->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(perUserDirectoryIn(root_.string()), made);  // an existing one is reused

  struct Case {
    const char* what;
    void (*plant)(const fs::path& where);
    const char* reason;
  };
  const Case cases[] = {
      {"open to others",
       [](const fs::path& p) {
         fs::create_directory(p);
         ::chmod(p.c_str(), 0755);
       },
       "open to other users"},
      {"a link to a private directory",
       [](const fs::path& p) {
         fs::create_directory(p.string() + ".real");
         ::chmod((p.string() + ".real").c_str(), 0700);
         fs::create_symlink(p.string() + ".real", p);
       },
       "not a directory"},
      {"a plain file", [](const fs::path& p) { std::ofstream(p) << "x"; }, "not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path parent = root_ / c.what;
    fs::create_directory(parent);
    c.plant(parent / own);
    reason.clear();
    EXPECT_EQ(perUserDirectoryIn(parent.string(), &reason), std::nullopt);
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  }
}

}  // namespace
}  // namespace fw
