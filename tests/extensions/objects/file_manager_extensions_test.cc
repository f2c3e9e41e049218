#include "extensions/objects/file_manager_extensions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/strings/unicode.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// The tests work in the fixture's empty tmp() directory.
class RecursiveCreation : public ::testing::Test {
 protected:
  std::u16string at(const std::string& rel) const { return asciiToUtf16((root_ / rel).string()); }
  std::string read(const std::string& rel) const { return test_support::readBytes(root_ / rel); }

  test_support::TempHome home_{"fw_objects"};
  const fs::path root_ = home_.tmp();
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
  test_support::writeFile(root_ / "keep.txt", "contents");
  createFileAtPathRecursive(fm, at("keep.txt"));
  EXPECT_EQ(read("keep.txt"), "contents");
  // A plain file where the last directory belongs: nothing is made.
  createDirectoryAtPathRecursive(fm, at("keep.txt"));
  createDirectoryAtPathRecursive(fm, at("keep.txt/"));  // the slash makes it no directory
  createFileAtPathRecursive(fm, at("keep.txt//"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "keep.txt"));
  EXPECT_EQ(read("keep.txt"), "contents");
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
  test_support::writeFile(root_ / "mid", "m");
  createFileAtPathRecursive(fm, at("mid/a/b.txt"));
  createDirectoryAtPathRecursive(fm, at("mid/a/b"));
  EXPECT_EQ(read("mid"), "m");
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

TEST_F(RecursiveCreation, AbsentEmptyAndUnconvertiblePathsCreateNothing) {
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  std::u16string bad = at("s");
  bad += u'\xD800';
  createDirectoryAtPathRecursive(fm, bad + u"/t");
  createFileAtPathRecursive(fm, bad);
  createFileAtPathRecursive(fm, std::nullopt);
  createDirectoryAtPathRecursive(fm, std::nullopt);
  createFileAtPathRecursive(fm, u"");
  createDirectoryAtPathRecursive(fm, u"");
  const std::uint8_t bytes[] = {'x'};
  createFileAtPathRecursive(fm, std::nullopt, std::span<const std::uint8_t>(bytes), nullptr);
  fs::current_path(before);
  EXPECT_TRUE(fs::is_empty(root_));
}

// The contents and attributes of the long form never reach the file.
TEST_F(RecursiveCreation, TheLongFormAlwaysCreatesAnEmptyFile) {
  const std::uint8_t bytes[] = {'a', 'b', 'c'};
  plist::Dictionary attributes;
  createFileAtPathRecursive(fm, at("d/e.bin"), std::span<const std::uint8_t>(bytes), &attributes);
  ASSERT_TRUE(fs::is_regular_file(root_ / "d/e.bin"));
  EXPECT_EQ(fs::file_size(root_ / "d/e.bin"), 0u);
}

// Existence follows a final symbolic link, so a link to a directory counts
// as the directory and a dangling link as missing.
TEST_F(RecursiveCreation, SymbolicLinksAreFollowed) {
  fs::create_directory(root_ / "real");
  fs::create_directory_symlink(root_ / "real", root_ / "link");
  createFileAtPathRecursive(fm, at("link/f"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "real/f"));
  fs::create_symlink(root_ / "nowhere", root_ / "dangling");
  createDirectoryAtPathRecursive(fm, at("dangling"));  // the link is there: nothing is made
  createFileAtPathRecursive(fm, at("dangling"));       // and nothing is written through it
  EXPECT_TRUE(fs::is_symlink(root_ / "dangling"));
  EXPECT_FALSE(fs::exists(root_ / "nowhere"));
}

}  // namespace
}  // namespace fw
