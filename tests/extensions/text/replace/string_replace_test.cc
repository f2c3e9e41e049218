#include "extensions/text/replace/string_replace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "extensions/text/replace/mutable_string_replace.h"
#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::show;

TEST(Replacing, SinglePassLeftToRightWithoutOverlap) {
  struct Case {
    std::u16string_view in, target, replacement, out;
    std::uint32_t count;
  };
  const Case cases[] = {
      {u"a&b&c", u"&", u"%26", u"a%26b%26c", 2},
      {u"aaa", u"aa", u"b", u"ba", 1},
      {u"aaa", u"a", u"aa", u"aaaaaa", 3},
      {u"abc", u"", u"x", u"abc", 0},
      {u"abc", u"b", u"", u"ac", 1},
      {u"abab", u"ab", u"ab", u"abab", 2},
      {u"", u"a", u"b", u"", 0},
      {u"\U0001F600\U0001F601", u"\xD83D", u"?", u"?\xDE00?\xDE01", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringByReplacingString(c.in, c.target, c.replacement), c.out) << show(c.in);
    std::u16string mutated(c.in);
    EXPECT_EQ(replaceOccurrencesOfString(mutated, c.target, c.replacement), c.count) << show(c.in);
    EXPECT_EQ(mutated, c.out);
  }
  EXPECT_THROW((void)stringByReplacingString(u"a", std::nullopt, u"b"), std::invalid_argument);
  EXPECT_THROW((void)stringByReplacingString(u"a", u"a", std::nullopt), std::invalid_argument);
  std::u16string s = u"aaa";
  EXPECT_EQ(replaceOccurrencesOfString(s, u"a", std::nullopt), 0u);
  EXPECT_EQ(replaceOccurrencesOfString(s, std::nullopt, u"b"), 0u);
  EXPECT_EQ(s, u"aaa");
}

TEST(Mutating, AppendStringASkipsAbsentAndEmpty) {
  std::u16string s = u"ab";
  appendStringA(s, std::nullopt);
  appendStringA(s, u"");
  EXPECT_EQ(s, u"ab");
  appendStringA(s, u"c");
  EXPECT_EQ(s, u"abc");
}

}  // namespace
}  // namespace fw
