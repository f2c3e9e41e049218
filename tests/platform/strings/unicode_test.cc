#include "platform/strings/unicode.h"

#include <gtest/gtest.h>

#include "tests/support/table.h"

namespace fw {
namespace {

TEST(Unicode, StrictRoundTripsEveryPlane) {
  const std::u16string text = u"a\u00e9\u20ac\U0001F600z";
  const auto utf8 = utf16ToUtf8(text);
  ASSERT_TRUE(utf8.has_value());
  EXPECT_EQ(*utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(utf8ToUtf16(*utf8), text);
}

TEST(Unicode, StrictRefusesIllFormedUtf8) {
  for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF5\x80\x80\x80", "a\xE2\x82", "\xFF"}) {
    EXPECT_FALSE(utf8ToUtf16(bad).has_value()) << bad;
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
}

TEST(Unicode, LossyReplacesEachMaximalSubpart) {
  test_support::expectRows(
      utf8ToUtf16Lossy,
      test_support::Rows<std::string, std::u16string>{
          {"a\xF0\x9F", u"a\uFFFD"},                // truncated 4-byte sequence: one
          {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong lead, then a lone continuation
          {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
          {"\xE2\x82\xACx\x80y", u"\u20acx\uFFFDy"},
          {"\xF1\x80\x80\xE1\x80\xC2", u"\uFFFD\uFFFD\uFFFD"},
      });
}

TEST(Unicode, UnpairedSurrogates) {
  const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_FALSE(utf16ToUtf8(lone).has_value());
  EXPECT_EQ(utf16ToUtf8Lossy(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(Unicode, AppendLeavesOutputOnFailure) {
  std::u16string out = u"keep";
  EXPECT_FALSE(appendUtf8ToUtf16(out, "x\xFF"));
  EXPECT_EQ(out, u"keep");
  EXPECT_TRUE(appendUtf8ToUtf16(out, "!"));
  EXPECT_EQ(out, u"keep!");
}

TEST(Unicode, EncodesEachScalarAtTheEdgesOfItsLength) {
  struct Case {
    char32_t cp;
    std::string utf8;
  };
  const Case cases[] = {
      {U'\0', std::string(1, '\0')},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFD, "\xEF\xBF\xBD"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const Case& c : cases) {
    char out[4] = {};
    const std::size_t n = encodeUtf8(c.cp, out);
    EXPECT_EQ(std::string(out, n), c.utf8) << static_cast<std::uint32_t>(c.cp);
  }
  EXPECT_EQ(combineSurrogates(0xD83D, 0xDE00), U'\U0001F600');
  EXPECT_EQ(combineSurrogates(0xDBFF, 0xDFFF), U'\U0010FFFF');
  EXPECT_TRUE(isHighSurrogate(0xDBFF) && !isHighSurrogate(0xDC00) && isLowSurrogate(0xDC00) &&
              !isLowSurrogate(0xE000));
}

}  // namespace
}  // namespace fw
