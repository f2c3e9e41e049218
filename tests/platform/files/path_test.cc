#include "platform/files/path.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/strings/unicode.h"
#include "tests/support/scoped_env.h"
#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::expectRows;
using test_support::TextRows;

class PathTest : public ::testing::Test {
 protected:
  test_support::ScopedEnv home_{"HOME", "/home/tester/"};
};

TEST_F(PathTest, ComponentsAppendedAndTakenApart) {
  for (const auto& [dir, joined] :
       TextRows{{u"/tmp", u"/tmp/a"}, {u"/tmp/", u"/tmp/a"}, {u"/", u"/a"}, {u"", u"a"}}) {
    EXPECT_EQ(stringByAppendingPathComponent(dir, u"a"), joined) << test_support::show(dir);
  }
  expectRows(lastPathComponent, TextRows{{u"/tmp/a.txt", u"a.txt"},
                                         {u"/tmp/", u"tmp"},
                                         {u"a///", u"a"},
                                         {u"/", u"/"},
                                         {u"plain", u"plain"}});
  using V = std::vector<std::u16string>;
  expectRows(
      pathComponents,
      test_support::Rows<std::u16string_view, V>{
          {u"/a//b/", {u"/", u"a", u"b"}}, {u"a/b", {u"a", u"b"}}, {u"/", {u"/"}}, {u"", {}}});
}

TEST_F(PathTest, TheTildeExpandedAndAbbreviatedAgainstAHomeWithoutTrailingSlashes) {
  EXPECT_EQ(homeDirectory(), u"/home/tester");
  expectRows(stringByExpandingTildeInPath,
             TextRows{{u"~", u"/home/tester"},
                      {u"~/x/y", u"/home/tester/x/y"},
                      {u"/abs/~", u"/abs/~"},
                      {u"rel", u"rel"},
                      {u"~no-such-user-here/x", u"~no-such-user-here/x"}});
  const passwd* root = getpwuid(0);
  ASSERT_NE(root, nullptr);
  const std::u16string rootHome = utf8ToUtf16Lossy(root->pw_dir);
  EXPECT_EQ(stringByExpandingTildeInPath(u"~" + utf8ToUtf16Lossy(root->pw_name) + u"/x"),
            (rootHome == u"/" ? u"" : rootHome) + u"/x");
  expectRows([](auto p) { return stringByAbbreviatingWithTildeInPath(p); },
             TextRows{{u"/home/tester", u"~"},
                      {u"/home/tester///", u"~"},
                      {u"/home/tester/Music/", u"~/Music"},
                      {u"/home/testerx/a", u"/home/testerx/a"},
                      {u"/", u"/"},
                      {u"/other//", u"/other"}});
}

TEST_F(PathTest, HomeFallsBackToThePasswordDatabase) {
  unsetenv("HOME");
  const passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  std::string expected = me->pw_dir;
  while (expected.size() > 1 && expected.back() == '/') expected.pop_back();
  EXPECT_EQ(homeDirectoryUtf8(), expected);
}

}  // namespace
}  // namespace fw
