#include "platform/strings/string_case.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "tests/support/table.h"

namespace fw {
namespace {

TEST(StringCaseTest, FullRootLocaleLowerCaseMapping) {
  test_support::expectRows(
      lowercaseString,
      test_support::Rows<std::u16string>{
          {u"", u""},
          {u"ABC xyz 123", u"abc xyz 123"},
          {u"\u0130", u"i\u0307"},  // dotted capital I grows to two units
          {u"I", u"i"},             // no Turkish dotless i
          {u"\u039F\u0394\u039F\u03A3", u"\u03BF\u03B4\u03BF\u03C2"},  // final sigma
          {u"\u03A3\u039F", u"\u03C3\u03BF"},                          // sigma not at the end
          {u"STRASSE \u1E9E", u"strasse \u00DF"},                      // capital sharp s
          {u"E\u0301", u"e\u0301"},                // decomposed stays decomposed
          {u"\U00010400", u"\U00010428"},          // Deseret, outside the BMP
          {u"  Mixed Case  ", u"  mixed case  "},  // no trimming here
          {std::u16string(1, u'\xD800') + u"A", std::u16string(1, u'\xD800') + u"a"},
      });
}

TEST(StringCaseTest, IgnoresTheProcessLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  // tr_TR may not be installed; the mapping must not change either way.
  std::setlocale(LC_ALL, "tr_TR.UTF-8");
  EXPECT_EQ(lowercaseString(u"I\u0130"), u"ii\u0307");
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(StringCaseTest, LongTextGrowingPastItsLength) {
  const std::u16string in(10000, u'\u0130');
  std::u16string expected;
  for (int i = 0; i < 10000; ++i) expected += u"i\u0307";
  EXPECT_EQ(lowercaseString(in), expected);
}

}  // namespace
}  // namespace fw
