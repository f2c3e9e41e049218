#include "extensions/text/string_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/table.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StringWithData, DecodesStrictUtf8AndRefusesTheRest) {
  struct Case {
    Bytes bytes;
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {{0x61, 0xC3, 0xA9}, u"a\u00E9"},
      {{}, u""},
      {{'a', 0x00, 'b'}, std::u16string(u"a\0b", 3)},
      {{0xF0, 0x9F, 0x98, 0x80}, u"\U0001F600"},
      {{0xFF}, std::nullopt},
      {{0x61, 0xC3}, std::nullopt},        // truncated sequence
      {{0xC0, 0xAF}, std::nullopt},        // overlong
      {{0xED, 0xA0, 0x80}, std::nullopt},  // encoded surrogate
      {{0xE9, 0x74, 0xE9}, std::nullopt},  // Latin-1, not 7-bit ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringWithData(c.bytes), c.expected) << testing::PrintToString(c.bytes);
  }
}

// data() is seven-bit with question marks, counting code units (a pair of
// surrogates gives two); dataUTF8() is lossy for unpaired surrogates.
TEST(StringData, DataIsSevenBitAndDataUtf8Lossy) {
  using Rows = test_support::Rows<std::u16string_view, Bytes>;
  test_support::expectRows([](auto s) { return fw::data(s); },
                           Rows{{u"abc", {'a', 'b', 'c'}},
                                {u"a\u00E9\u007F", {'a', '?', 0x7F}},
                                {u"\U0001F600!", {'?', '?', '!'}},
                                {u"", {}}});
  const char16_t lone[] = {u'x', char16_t(0xD800), 0};
  test_support::expectRows([](auto s) { return fw::dataUTF8(s); },
                           Rows{{u"a\u00E9", {'a', 0xC3, 0xA9}},
                                {u"\U0001F600", {0xF0, 0x9F, 0x98, 0x80}},
                                {lone, {'x', 0xEF, 0xBF, 0xBD}},
                                {u"", {}}});
}

TEST(StringData, IntValueReadsALeadingDecimalClampedTo32Bits) {
  struct Case {
    std::u16string_view text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {u"42", 42},
      {u" \t\n 12abc", 12},
      {u"\u00A0\u30007", 7},
      {u"+5", 5},
      {u"-17x", -17},
      {u"", 0},
      {u"abc", 0},
      {u"- 5", 0},
      {u"+-5", 0},
      {u"0x41", 0},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"-2147483648", INT32_MIN},
      {u"-2147483649", INT32_MIN},
      {u"99999999999999999999999999", 2147483647},
      {u"\uFF11", 0},  // full-width digit is not a decimal digit here
  };
  for (const Case& c : cases) {
    EXPECT_EQ(intValue(c.text), c.expected) << testing::PrintToString(std::u16string(c.text));
  }
}

TEST(StringData, BoolValueKeepsTheLowEightBits) {
  struct Case {
    std::u16string_view text;
    std::int8_t expected;
  };
  const Case cases[] = {
      {u"1", 1},    {u"257", 1},    {u"256", 0},         {u"512", 0}, {u"-1", -1},
      {u"-256", 0}, {u"128", -128}, {u" 12abc", 12},     {u"YES", 0}, {u"true", 0},
      {u"y", 0},    {u"", 0},       {u"9999999999", -1},  // clamped to 0x7FFFFFFF first
  };
  for (const Case& c : cases) {
    EXPECT_EQ(boolValue(c.text), c.expected) << testing::PrintToString(std::u16string(c.text));
  }
}

}  // namespace
}  // namespace fw
