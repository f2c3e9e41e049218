#include "extensions/text/string_match.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::show;

TEST(Searching, HasSubstringMatchesExactUnits) {
  EXPECT_TRUE(hasSubstring(u"Hello", u"ell"));
  EXPECT_FALSE(hasSubstring(u"Hello", u"hELLO"));
  EXPECT_FALSE(hasSubstring(u"Hello", u""));
  EXPECT_FALSE(hasSubstring(u"", u""));
  EXPECT_FALSE(hasSubstring(u"e\u0301", u"\u00E9"));    // no canonical equivalence
  EXPECT_TRUE(hasSubstring(u"\U0001F600", u"\xDE00"));  // one surrogate unit
  EXPECT_FALSE(hasSubstring(u"aabaabaab", u"aabaaa"));  // partial matches fall back
  EXPECT_TRUE(hasSubstring(u"aabaabaaab", u"abaaab"));
  EXPECT_THROW((void)hasSubstring(u"x", std::nullopt), std::invalid_argument);
}

TEST(Searching, CaseInsensitiveUsesFullFolding) {
  struct Case {
    std::u16string_view text;
    std::optional<std::u16string_view> sub;
    bool expected;
  };
  const Case cases[] = {
      {u"Hello", u"hELLO", true},
      {u"x", u"", true},
      {u"x", std::nullopt, true},
      {u"", u"", true},
      {u"stra\u00DFe", u"STRASSE", true},
      {u"STRASSE", u"stra\u00DFe", true},
      {u"\u03A3\u03B1", u"\u03C3", true},
      {u"abc", u"abd", false},
      {u"", u"a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hasSubstringCaseInsensitive(c.text, c.sub), c.expected) << show(c.text);
  }
}

}  // namespace
}  // namespace fw
