// A path holding U+0000 names no file, at every layer that hands a path to
// the system: the system would read the bytes before the NUL as the whole
// path and answer for, or create, another file. (The tool's preference
// roots and tracks are checked where those are read.)

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extensions/objects/file_manager_extensions.h"
#include "platform/files/file_manager.h"
#include "platform/files/path.h"
#include "platform/files/temporary_directory.h"
#include "platform/graphics/image.h"
#include "platform/strings/unicode.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

using namespace std::string_literals;
using namespace test_support;

// Everything below `dir`, as sorted relative paths.
std::vector<std::string> tree(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    out.push_back(fs::relative(e.path(), dir).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class NulPath : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir() / "real", "secret");
    fs::create_directory(dir() / "sub");
    fs::permissions(dir() / "sub", fs::perms::owner_all, fs::perm_options::replace);
    before_ = tree(dir());
  }
  fs::path dir() const { return home_.root() / "d"; }
  // dir()/<head> U+0000 <tail>, as UTF-16 and as bytes.
  std::u16string at(const std::string& head, const std::string& tail) const {
    return utf8ToUtf16Lossy((dir() / head).string()) + u'\0' + utf8ToUtf16Lossy(tail);
  }
  std::string bytesAt(const std::string& head, const std::string& tail) const {
    return (dir() / head).string() + '\0' + tail;
  }
  void expectNothingCreated() const { EXPECT_EQ(tree(dir()), before_); }

  TempHome home_{"fwkit-nul"};
  std::vector<std::string> before_;
  const FileManager& fm_ = FileManager::defaultManager();
};

TEST_F(NulPath, NamesNoFileInAnyQuestion) {
  const std::u16string file = at("real", "zzz");
  const std::u16string folder = at("sub", "zzz");
  bool isDirectory = true;
  EXPECT_FALSE(fm_.fileExistsAtPath(file, &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(fm_.fileExistsAtPath(folder));
  EXPECT_FALSE(fm_.fileExistsAtPathUtf8(bytesAt("real", "zzz")));
  EXPECT_EQ(fm_.fileAttributesAtPath(file, true), std::nullopt);
  EXPECT_EQ(fm_.fileAttributesAtPathUtf8(bytesAt("real", "zzz"), false), std::nullopt);
  EXPECT_EQ(fm_.directoryContentsAtPath(folder), std::nullopt);
  EXPECT_EQ(fm_.contentsAtPath(file), std::nullopt);
  EXPECT_EQ(fm_.contentsAtPathUtf8(bytesAt("real", "zzz")), std::nullopt);
  EXPECT_EQ(fileSystemRepresentation(file), std::nullopt);
  EXPECT_EQ(fileSystemRepresentation(u"/tmp/a"), std::optional<std::string>("/tmp/a"));
  // "~root\0x" is no user's home, not root's.
  const std::u16string tildeUser = u"~root\0x/y"s;
  EXPECT_EQ(stringByExpandingTildeInPath(tildeUser), tildeUser);
}

TEST_F(NulPath, CreatesNothing) {
  const std::vector<std::uint8_t> bytes = {'n', 'e', 'w'};
  std::string reason;
  struct Case {
    const char* what;
    std::function<bool()> make;  // true: the call claimed success
  };
  const Case cases[] = {
      {"directory", [&] { return fm_.createDirectoryAtPath(at("cut", "dir")); }},
      {"file", [&] { return fm_.createFileAtPath(at("cut", ".txt"), bytes); }},
      {"atomic write over a file",
       [&] { return fm_.writeAtomically(at("real", ".new"), bytes, &reason); }},
      {"atomic write, bytes",
       [&] { return fm_.writeAtomicallyUtf8(bytesAt("real", ".new"), bytes, &reason); }},
      {"recursive file",
       [&] {
         createFileAtPathRecursive(fm_, at("t/cut", ".txt"));
         return false;
       }},
      {"recursive file, NUL in a middle component",
       [&] {
         createFileAtPathRecursive(fm_, at("m", "id/leaf.txt"));
         return false;
       }},
      {"recursive directory",
       [&] {
         createDirectoryAtPathRecursive(fm_, at("t/cut", "/x"));
         return false;
       }},
      {"PNG",
       [&] {
         ImagePtr image = Image::imageWithSize(Size{4, 4});
         return image->writeToPNG(at("cut", ".png"));
       }},
      {"per-user temporary directory",
       [&] { return perUserDirectoryIn(bytesAt("sub", "/elsewhere")).has_value(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.make());
    expectNothingCreated();
  }
  EXPECT_EQ(readBytes(dir() / "real"), "secret");
}

}  // namespace
}  // namespace fw
