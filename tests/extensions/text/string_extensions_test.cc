#include "extensions/text/string_extensions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "extensions/text/mutable_string_replace.h"

namespace fw {
namespace {

std::string show(std::u16string_view s) { return testing::PrintToString(std::u16string(s)); }

// Every member of the whitespace-and-newline set, and look-alikes that are not.
constexpr std::u16string_view kAllWhitespace =
    u"\u0009\u000A\u000B\u000C\u000D\u0020\u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004"
    u"\u2005\u2006\u2007\u2008\u2009\u200A\u2028\u2029\u202F\u205F\u3000";

TEST(Trimming, TrimmedStringRemovesOnlyTheEnds) {
  struct Case {
    std::u16string_view in, out;
  };
  const Case cases[] = {
      {u" \t\n name \r\n", u"name"},
      {u"a  b", u"a  b"},
      {u"\u00A0\u3000", u""},
      {u"", u""},
      {u"x", u"x"},
      {u"\u180Ex\u180E", u"\u180Ex\u180E"},  // not a separator
      {u"\u200Bx", u"\u200Bx"},              // zero-width space is not whitespace
      {u"\U0001F600 ", u"\U0001F600"},
  };
  for (const Case& c : cases) EXPECT_EQ(trimmedString(c.in), c.out) << show(c.in);
  std::u16string wrapped = std::u16string(kAllWhitespace) + u"a b" + std::u16string(kAllWhitespace);
  EXPECT_EQ(trimmedString(wrapped), u"a b");
}

TEST(Stripping, RemovesMembersWhereverTheyStand) {
  EXPECT_EQ(stringByStrippingWhitespace(u" a\u00A0b\n"), u"ab");
  EXPECT_EQ(stringByStrippingWhitespace(u"a b\tc"), u"abc");
  EXPECT_EQ(stringByStrippingWhitespace(std::u16string(kAllWhitespace) + u"x"), u"x");
  EXPECT_EQ(stringByStrippingWhitespace(u"\u180E\U0001F600"), u"\u180E\U0001F600");
  EXPECT_EQ(stringByStrippingNewlines(u"a\r\nb\u2028c"), u"ab\u2028c");
  EXPECT_EQ(stringByStrippingNewlines(u"\n\u0085\u2029\u000B\u000C\r"), u"\u0085\u2029\u000B\u000C");
  const CharacterSet dash = CharacterSet::characterSetWithCharactersInString(u"-");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"a-b-", &dash), u"ab");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"a-b-", nullptr), u"a-b-");
  // A set holding one surrogate removes that unit from a pair and leaves the other.
  const CharacterSet high = CharacterSet::characterSetWithCharactersInString(u"\xD83D");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"\U0001F600", &high), u"\xDE00");
}

TEST(Trimming, RemovingWhitespaceAndNewlinesDropsInnerLfOnly) {
  struct Case {
    std::u16string_view in, out;
  };
  const Case cases[] = {
      {u"  a b\r\nc \n", u"a b\rc"}, {u"x\ny", u"xy"}, {u"x\r\ny", u"x\ry"},
      {u"x y", u"x y"},              {u"\n\n", u""},   {u"", u""},
      {u"\t\na\n\tb\n\t", u"a\tb"},
  };
  for (const Case& c : cases) EXPECT_EQ(stringByRemovingWhitespaceAndNewlines(c.in), c.out) << show(c.in);
}


TEST(Searching, HasSubstringMatchesExactUnits) {
  EXPECT_TRUE(hasSubstring(u"Hello", u"ell"));
  EXPECT_FALSE(hasSubstring(u"Hello", u"hELLO"));
  EXPECT_FALSE(hasSubstring(u"Hello", u""));
  EXPECT_FALSE(hasSubstring(u"", u""));
  EXPECT_FALSE(hasSubstring(u"e\u0301", u"\u00E9"));  // no canonical equivalence
  EXPECT_TRUE(hasSubstring(u"\U0001F600", u"\xDE00"));   // one surrogate unit
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
      {u"Hello", u"hELLO", true},        {u"x", u"", true},
      {u"x", std::nullopt, true},        {u"", u"", true},
      {u"stra\u00DFe", u"STRASSE", true}, {u"STRASSE", u"stra\u00DFe", true},
      {u"\u03A3\u03B1", u"\u03C3", true}, {u"abc", u"abd", false},
      {u"", u"a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hasSubstringCaseInsensitive(c.text, c.sub), c.expected) << show(c.text);
  }
}

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

TEST(SoftHyphens, InsertsEntityTextBetweenCodeUnits) {
  EXPECT_EQ(stringByAddingSoftHyphens(u"abc"), u"a&shy;b&shy;c");
  EXPECT_EQ(stringByAddingSoftHyphens(u"ab"), u"a&shy;b");
  EXPECT_EQ(stringByAddingSoftHyphens(u"a"), u"a");
  EXPECT_EQ(stringByAddingSoftHyphens(u""), u"");
  EXPECT_EQ(stringByAddingSoftHyphens(u"\U0001F600"), u"\xD83D&shy;\xDE00");
}

// Every outcome of rangeBetween, then the examples of the other four
// operations, as one table. L is the receiver's length, p the position just
// after the first marker, b where the second marker was found.
TEST(DelimitedSubstrings, OutcomeTableAndExamples) {
  using Text = std::optional<std::u16string_view>;
  const Text none = std::nullopt;
  enum class Op { Between, Tags, Prefix, Suffix };
  struct Case {
    Op op;
    std::u16string_view text;
    Text first, second;  // markers; for Tags, Prefix and Suffix only `first`
    Range range;         // of rangeBetween, for Between rows
    Text result;
  };
  const Range nothing{NSNotFound, 0};
  const Case cases[] = {
      // "" with any markers.
      {Op::Between, u"", u"a", u"b", nothing, none},
      {Op::Between, u"", none, none, nothing, none},
      // No first marker: {0, L - 1}, {0, b}, or {0, L}.
      {Op::Between, u"abc", none, none, {0, 2}, u"ab"},
      {Op::Between, u"abc", none, u"b", {0, 1}, u"a"},
      {Op::Between, u"abc", none, u"c", {0, 2}, u"ab"},
      {Op::Between, u"abc", none, u"x", {0, 3}, u"abc"},
      {Op::Between, u"abc", none, u"", {0, 3}, u"abc"},
      // A first marker of length L or more, not found, or empty.
      {Op::Between, u"abc", u"abc", none, nothing, none},
      {Op::Between, u"abc", u"abcd", u"c", nothing, none},
      {Op::Between, u"abc", u"x", none, nothing, none},
      {Op::Between, u"abc", u"", u"c", nothing, none},
      {Op::Between, u"abc", u"C", none, nothing, none},  // case-sensitive
      // Found with p below L: {p, L - 1 - p}, {p, b - p}, or {p, L - p}.
      {Op::Between, u"(abc)", u"(", none, {1, 3}, u"abc"},
      {Op::Between, u"key=value;", u"=", none, {4, 5}, u"value"},
      {Op::Between, u"key=value;", u"=", u";", {4, 5}, u"value"},
      {Op::Between, u"a=;", u"=", u";", {2, 0}, u""},
      {Op::Between, u"key=value;", u"=", u"#", {4, 6}, u"value;"},
      {Op::Between, u"key=value;", u"=", u"", {4, 6}, u"value;"},
      {Op::Between, u"a;=b", u"=", u";", {3, 1}, u"b"},  // only after the first marker
      {Op::Between, u"a=b=c", u"=", u"=", {2, 1}, u"b"},
      // Found with p equal to L: {L, 0}.
      {Op::Between, u"abc=", u"=", u";", {4, 0}, u""},
      {Op::Between, u"abc=", u"=", none, {4, 0}, u""},
      // Examples, code units included.
      {Op::Between, u"a[b]c[d]", u"[", u"]", {2, 1}, u"b"},
      {Op::Between, u"a[b]c[d]", u"{", u"}", nothing, none},
      {Op::Between, u"a[]", u"[", u"]", {2, 0}, u""},
      {Op::Between, u"x\U0001F600y", u"\xD83D", u"y", {2, 1}, u"\xDE00"},
      {Op::Between, u"e\u0301=1", u"\u00E9=", none, nothing, none},  // no canonical equivalence
      {Op::Tags, u"x<b>bold</b>y", u"b", none, {}, u"bold"},
      {Op::Tags, u"<b>one</b><b>two</b>", u"b", none, {}, u"one"},
      {Op::Tags, u"<b>open", u"b", none, {}, u"open"},
      {Op::Tags, u"<B>x</B>", u"b", none, {}, none},
      {Op::Tags, u"plain", u"b", none, {}, none},
      {Op::Tags, u"<b>", u"b", none, {}, none},
      {Op::Tags, u"x<b>", u"b", none, {}, u""},
      {Op::Tags, u"<b href=x>y</b>", u"b", none, {}, none},
      {Op::Tags, u"<b><b>in</b></b>", u"b", none, {}, u"<b>in"},
      {Op::Prefix, u"prefix-name", u"prefix-", none, {}, u"name"},
      {Op::Prefix, u"prefix-name", u"", none, {}, u"prefix-name"},
      {Op::Prefix, u"prefix-name", u"other", none, {}, u"prefix-name"},
      {Op::Prefix, u"prefix-name", none, none, {}, u"prefix-name"},
      {Op::Prefix, u"ab", u"abc", none, {}, u"ab"},
      {Op::Prefix, u"ab", u"ab", none, {}, u""},
      {Op::Suffix, u"file.gz.gz", u".gz", none, {}, u"file.gz"},
      {Op::Suffix, u".gz", u".gz", none, {}, u""},
      {Op::Suffix, u"file.gz", u"", none, {}, u"file.gz"},
      {Op::Suffix, u"file.gz", none, none, {}, u"file.gz"},
      {Op::Suffix, u"file.GZ", u".gz", none, {}, u"file.GZ"},
      {Op::Suffix, u"gz", u".gz", none, {}, u"gz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(show(c.text) + " " + show(c.first.value_or(u"<absent>")) + " " +
                 show(c.second.value_or(u"<absent>")));
    std::optional<std::u16string> got;
    switch (c.op) {
      case Op::Between:
        EXPECT_EQ(rangeBetween(c.text, c.first, c.second), c.range);
        got = substringBetween(c.text, c.first, c.second);
        break;
      case Op::Tags:
        got = substringBetweenTags(c.text, *c.first);
        break;
      case Op::Prefix:
        got = stringByRemovingPrefix(c.text, c.first);
        break;
      case Op::Suffix:
        got = stringByRemovingSuffix(c.text, c.first);
        break;
    }
    EXPECT_EQ(got, c.result ? std::optional<std::u16string>(*c.result) : std::nullopt);
  }
}

}  // namespace
}  // namespace fw
