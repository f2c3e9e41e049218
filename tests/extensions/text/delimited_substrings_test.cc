#include "extensions/text/delimited_substrings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>
#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::show;

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
      case Op::Tags: got = substringBetweenTags(c.text, *c.first); break;
      case Op::Prefix: got = stringByRemovingPrefix(c.text, c.first); break;
      case Op::Suffix: got = stringByRemovingSuffix(c.text, c.first); break;
    }
    EXPECT_EQ(got, c.result ? std::optional<std::u16string>(*c.result) : std::nullopt);
  }
}

}  // namespace
}  // namespace fw
