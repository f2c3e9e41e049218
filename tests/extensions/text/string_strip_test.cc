#include "extensions/text/string_strip.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::expectRows;
using test_support::TextRows;

// Every member of the whitespace-and-newline set, and look-alikes that are not.
constexpr std::u16string_view kAllWhitespace =
    u"\u0009\u000A\u000B\u000C\u000D\u0020\u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004"
    u"\u2005\u2006\u2007\u2008\u2009\u200A\u2028\u2029\u202F\u205F\u3000";

TEST(Trimming, TrimmedStringRemovesOnlyTheEnds) {
  const std::u16string all(kAllWhitespace), wrapped = all + u"a b" + all;
  expectRows(trimmedString,
             TextRows{{u" \t\n name \r\n", u"name"},
                      {u"a  b", u"a  b"},
                      {u"\u00A0\u3000", u""},
                      {u"", u""},
                      {u"x", u"x"},
                      {u"\u180Ex\u180E", u"\u180Ex\u180E"},  // not a separator
                      {u"\u200Bx", u"\u200Bx"},              // zero-width space is not whitespace
                      {u"\U0001F600 ", u"\U0001F600"},
                      {wrapped, u"a b"}});
}

TEST(Trimming, RemovingWhitespaceAndNewlinesDropsInnerLfOnly) {
  expectRows(stringByRemovingWhitespaceAndNewlines, TextRows{{u"  a b\r\nc \n", u"a b\rc"},
                                                             {u"x\ny", u"xy"},
                                                             {u"x\r\ny", u"x\ry"},
                                                             {u"x y", u"x y"},
                                                             {u"\n\n", u""},
                                                             {u"", u""},
                                                             {u"\t\na\n\tb\n\t", u"a\tb"}});
}

TEST(Stripping, RemovesMembersWhereverTheyStand) {
  const std::u16string leading = std::u16string(kAllWhitespace) + u"x";
  expectRows(stringByStrippingWhitespace, TextRows{{u" a\u00A0b\n", u"ab"},
                                                   {u"a b\tc", u"abc"},
                                                   {leading, u"x"},
                                                   {u"\u180E\U0001F600", u"\u180E\U0001F600"}});
  expectRows(stringByStrippingNewlines,
             TextRows{{u"a\r\nb\u2028c", u"ab\u2028c"},
                      {u"\n\u0085\u2029\u000B\u000C\r", u"\u0085\u2029\u000B\u000C"}});
  const CharacterSet dash = CharacterSet::characterSetWithCharactersInString(u"-");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"a-b-", &dash), u"ab");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"a-b-", nullptr), u"a-b-");
  // A set holding one surrogate removes that unit from a pair and leaves the other.
  const CharacterSet high = CharacterSet::characterSetWithCharactersInString(u"\xD83D");
  EXPECT_EQ(stringByStrippingCharactersInSet(u"\U0001F600", &high), u"\xDE00");
}

}  // namespace
}  // namespace fw
