#include "extensions/objects/file_manager_extensions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/unicode.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, with HOME and TMPDIR inside it.
class RecursiveCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    // Taken once: later tests see TMPDIR pointing into an earlier, removed root.
    static const fs::path base = fs::temp_directory_path();
    std::string tmpl = (base / "fw_objects_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    ::setenv("HOME", (root_ / "home").c_str(), 1);
    ::setenv("TMPDIR", root_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::u16string at(const std::string& rel) const { return asciiToUtf16((root_ / rel).string()); }
  static std::string read(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write(const std::string& rel, const std::string& text) const {
    std::ofstream(root_ / rel) << text;
  }

  fs::path root_;
  const FileManager& fm = FileManager::defaultManager();
};

TEST_F(RecursiveCreation, CreatesMissingDirectoriesThenTheLeaf) {
  fs::create_directory(root_ / "x");
  createFileAtPathRecursive(fm, at("x/y/z.txt"));
  EXPECT_TRUE(fs::is_directory(root_ / "x/y"));
  ASSERT_TRUE(fs::is_regular_file(root_ / "x/y/z.txt"));
  EXPECT_EQ(fs::file_size(root_ / "x/y/z.txt"), 0u);

  createDirectoryAtPathRecursive(fm, at("x/q/r"));
  EXPECT_TRUE(fs::is_directory(root_ / "x/q"));
  EXPECT_TRUE(fs::is_directory(root_ / "x/q/r"));
}

TEST_F(RecursiveCreation, NeverChangesAnExistingEntry) {
  write("keep.txt", "contents");
  createFileAtPathRecursive(fm, at("keep.txt"));
  EXPECT_EQ(read(root_ / "keep.txt"), "contents");
  // A plain file where the last directory belongs: nothing is made.
  createDirectoryAtPathRecursive(fm, at("keep.txt"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "keep.txt"));
  // A directory at the last component: no file is made.
  fs::create_directory(root_ / "dir");
  createFileAtPathRecursive(fm, at("dir"));
  EXPECT_TRUE(fs::is_directory(root_ / "dir"));
  // The root exists already.
  createFileAtPathRecursive(fm, u"/");
  createDirectoryAtPathRecursive(fm, u"/");
  EXPECT_TRUE(fs::is_directory("/"));
}

TEST_F(RecursiveCreation, PlainFileInTheMiddleStopsEverythingBelow) {
  write("mid", "m");
  createFileAtPathRecursive(fm, at("mid/a/b.txt"));
  createDirectoryAtPathRecursive(fm, at("mid/a/b"));
  EXPECT_EQ(read(root_ / "mid"), "m");
  EXPECT_EQ(fs::directory_iterator(root_)->path(), root_ / "mid");
}

TEST_F(RecursiveCreation, RelativePathsLandBelowTheCurrentDirectory) {
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  createFileAtPathRecursive(fm, u"a/b");
  createDirectoryAtPathRecursive(fm, u"c/d");
  createFileAtPathRecursive(fm, u"");
  fs::current_path(before);
  EXPECT_TRUE(fs::is_directory(root_ / "a"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "a/b"));
  EXPECT_TRUE(fs::is_directory(root_ / "c/d"));
}

TEST_F(RecursiveCreation, UnpairedSurrogateCreatesNothing) {
  std::u16string bad = at("s");
  bad += u'\xD800';
  createDirectoryAtPathRecursive(fm, bad + u"/t");
  createFileAtPathRecursive(fm, bad);
  EXPECT_TRUE(fs::is_empty(root_));
}

}  // namespace
}  // namespace fw
