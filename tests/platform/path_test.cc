#include "platform/path.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/unicode.h"

namespace fw {
namespace {

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("HOME");
    saved_ = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("HOME", "/home/tester/", 1);
  }
  void TearDown() override {
    if (saved_) setenv("HOME", saved_->c_str(), 1);
    else unsetenv("HOME");
  }
  std::optional<std::string> saved_;
};

TEST_F(PathTest, AppendingAComponent) {
  EXPECT_EQ(stringByAppendingPathComponent(u"/tmp", u"a"), u"/tmp/a");
  EXPECT_EQ(stringByAppendingPathComponent(u"/tmp/", u"a"), u"/tmp/a");
  EXPECT_EQ(stringByAppendingPathComponent(u"/", u"a"), u"/a");
  EXPECT_EQ(stringByAppendingPathComponent(u"", u"a"), u"a");
}

TEST_F(PathTest, LastComponent) {
  EXPECT_EQ(lastPathComponent(u"/tmp/a.txt"), u"a.txt");
  EXPECT_EQ(lastPathComponent(u"/tmp/"), u"tmp");
  EXPECT_EQ(lastPathComponent(u"a///"), u"a");
  EXPECT_EQ(lastPathComponent(u"/"), u"/");
  EXPECT_EQ(lastPathComponent(u"plain"), u"plain");
}

TEST_F(PathTest, HomeLosesTrailingSlashes) { EXPECT_EQ(homeDirectory(), u"/home/tester"); }

TEST_F(PathTest, ExpandingTheTilde) {
  EXPECT_EQ(stringByExpandingTildeInPath(u"~"), u"/home/tester");
  EXPECT_EQ(stringByExpandingTildeInPath(u"~/x/y"), u"/home/tester/x/y");
  EXPECT_EQ(stringByExpandingTildeInPath(u"/abs/~"), u"/abs/~");
  EXPECT_EQ(stringByExpandingTildeInPath(u"rel"), u"rel");
  EXPECT_EQ(stringByExpandingTildeInPath(u"~no-such-user-here/x"), u"~no-such-user-here/x");
  const passwd* root = getpwuid(0);
  ASSERT_NE(root, nullptr);
  const std::u16string rootHome = utf8ToUtf16Lossy(root->pw_dir);
  EXPECT_EQ(stringByExpandingTildeInPath(u"~" + utf8ToUtf16Lossy(root->pw_name) + u"/x"),
            (rootHome == u"/" ? u"" : rootHome) + u"/x");
}

TEST_F(PathTest, AbbreviatingWithTheTilde) {
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/home/tester"), u"~");
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/home/tester///"), u"~");
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/home/tester/Music/"), u"~/Music");
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/home/testerx/a"), u"/home/testerx/a");
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/"), u"/");
  EXPECT_EQ(stringByAbbreviatingWithTildeInPath(u"/other//"), u"/other");
}

TEST_F(PathTest, HomeFallsBackToThePasswordDatabase) {
  unsetenv("HOME");
  const passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  std::string expected = me->pw_dir;
  while (expected.size() > 1 && expected.back() == '/') expected.pop_back();
  EXPECT_EQ(homeDirectoryUtf8(), expected);
}

TEST_F(PathTest, Components) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(pathComponents(u"/a//b/"), (V{u"/", u"a", u"b"}));
  EXPECT_EQ(pathComponents(u"a/b"), (V{u"a", u"b"}));
  EXPECT_EQ(pathComponents(u"/"), (V{u"/"}));
  EXPECT_EQ(pathComponents(u""), V{});
}

}  // namespace
}  // namespace fw
