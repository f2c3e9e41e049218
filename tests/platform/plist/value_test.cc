#include "platform/plist/value.h"

#include <gtest/gtest.h>

#include <string>

namespace fw::plist {
namespace {

std::u16string key(int i) { return {u'k', static_cast<char16_t>(u'A' + i)}; }

// Small dictionaries scan, large ones keep an index; both must find every
// key, replace in place and keep insertion order.
TEST(Dictionary, FindsReplacesAndKeepsOrderAcrossTheIndexThreshold) {
  for (const int n : {3, 16, 17, 40}) {
    Dictionary d;
    for (int i = 0; i < n; ++i) d.set(key(i), Value::integer(i));
    d.set(SharedString(key(1)), Value::integer(100));  // replaced, same position
    d.set(key(n - 1), Value::integer(200));
    ASSERT_EQ(d.size(), static_cast<std::size_t>(n));
    int i = 0;
    for (const auto& [k, v] : d) {
      EXPECT_EQ(k.view(), key(i)) << n;
      const std::int64_t want = i == 1 ? 100 : i == n - 1 ? 200 : i;
      EXPECT_EQ(v.asInteger(), want) << n << " " << i;
      ++i;
    }
    EXPECT_EQ(d.find(u"missing"), nullptr);
    EXPECT_EQ(d.find(key(n / 2))->asInteger(), n / 2 == 1 ? 100 : n / 2 == n - 1 ? 200 : n / 2);
  }
}

TEST(Dictionary, BulkEntriesKeepTheFirstPositionAndTheLastValue) {
  for (const int n : {4, 30}) {
    std::vector<Dictionary::Entry> entries;
    for (int i = 0; i < n; ++i) entries.emplace_back(SharedString(key(i)), Value::integer(i));
    entries.emplace_back(SharedString(key(0)), Value::boolean(true));
    const Dictionary d(std::move(entries));
    ASSERT_EQ(d.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(d.begin()->first.view(), key(0));
    EXPECT_EQ(d.begin()->second.asBoolean(), true);
    EXPECT_EQ(d.find(key(n - 1))->asInteger(), n - 1);
  }
}

TEST(Value, IsSixteenBytesAndCopiesShareStrings) {
  static_assert(sizeof(Value) == 16);
  const Value a = Value::string(u"shared");
  const Value b = a;  // NOLINT: the copy is the point
  EXPECT_EQ(a.asSharedString()->identity(), b.asSharedString()->identity());
  EXPECT_EQ(SharedString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80").view(), u"café 😀");
  EXPECT_EQ(SharedString::fromUtf8("a\xF0\x9F").view(), u"a\uFFFD");
  EXPECT_FALSE(a.asInteger().has_value());
}

// ASCII is checked eight bytes at a time: a non-ASCII character in any word
// or in the tail must still be decoded, and pure ASCII of every length
// widened exactly.
TEST(SharedString, DecodesUtf8WhereverTheFirstNonAsciiByteFalls) {
  for (std::size_t length = 0; length <= 18; ++length) {
    const std::string ascii(length, 'q');
    EXPECT_EQ(SharedString::fromUtf8(ascii).view(), std::u16string(length, u'q')) << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::string utf8 = ascii;
      utf8.replace(at, 1, "\xC3\xA9");
      std::u16string want(length, u'q');
      want[at] = u'\u00E9';
      EXPECT_EQ(SharedString::fromUtf8(utf8).view(), want) << length << " " << at;
    }
  }
}

}  // namespace
}  // namespace fw::plist
