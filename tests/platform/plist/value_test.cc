#include "platform/plist/value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  EXPECT_FALSE(a.asInteger().has_value());
}

// One value of every kind, the containers holding out-of-line kinds too, so
// that a copy, move or destruction that mishandles any payload shows up here
// (and under the sanitizers as a leak or a double free).
std::vector<Value> everyKind() {
  Dictionary d;
  d.set(u"s", Value::string(u"text"));
  d.set(u"a", Value::array({Value::data(std::string_view("\x01\x02")), Value::real(0.5)}));
  return {Value::boolean(true),
          Value::integer(-7),
          Value::unsignedInteger(~0ull),
          Value::real(-2.5),
          Value::string(u"caf\u00e9"),
          Value::date(Date{86400.5}),
          Value::data(std::string_view("bytes")),
          Value::uid(Uid{42}),
          Value::array({Value::string(u"x"), Value::integer(1)}),
          Value::dictionary(d)};
}

TEST(Value, CopiesMovesAndAssignsEveryKindAcrossKinds) {
  const std::vector<Value> originals = everyKind();
  for (const Value& a : originals) {
    Value copy(a);
    EXPECT_EQ(copy, a);
    Value moved(std::move(copy));
    EXPECT_EQ(moved, a);
    copy = a;  // a moved-from value takes a new one
    EXPECT_EQ(copy, a);
    for (const Value& b : originals) {
      Value target(b);
      target = a;  // the old payload of another kind is released
      EXPECT_EQ(target, a);
      Value other(b);
      target = std::move(other);
      EXPECT_EQ(target, b);
    }
    const Value& self = copy;
    copy = self;
    EXPECT_EQ(copy, a);
  }
}

TEST(Value, CopiedContainersAreIndependentAndSharedBytesStayPut) {
  Value original = everyKind().back();
  Value copy = original;
  copy.asDictionary()->set(u"s", Value::integer(1));
  copy.asDictionary()->find(u"a")->asArray()->push_back(Value::boolean(false));
  EXPECT_EQ(original.asDictionary()->find(u"s")->asString(), u"text");
  EXPECT_EQ(original.asDictionary()->find(u"a")->asArray()->size(), 2u);
  const Value data = Value::data(std::string_view("abc"));
  const Value dataCopy = data;
  EXPECT_EQ(data.asData()->data(), dataCopy.asData()->data());
}

TEST(Value, IntegerAccessorsAnswerOnlyWhatFits) {
  constexpr std::uint64_t kTwo63 = 9223372036854775808ull;
  struct Case {
    Value v;
    std::optional<std::int64_t> asInteger;
    std::optional<std::uint64_t> asUnsigned;
    bool big;
  };
  const Case cases[] = {
      {Value::integer(0), 0, 0u, false},
      {Value::integer(-1), -1, std::nullopt, false},
      {Value::integer(INT64_MIN), INT64_MIN, std::nullopt, false},
      {Value::integer(INT64_MAX), INT64_MAX, 9223372036854775807ull, false},
      {Value::unsignedInteger(5), 5, 5u, false},
      {Value::unsignedInteger(kTwo63), std::nullopt, kTwo63, true},
      {Value::unsignedInteger(~0ull), std::nullopt, 18446744073709551615ull, true},
      {Value::real(1.0), std::nullopt, std::nullopt, false},
      {Value::boolean(true), std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.v.asInteger(), c.asInteger);
    EXPECT_EQ(c.v.asUnsigned(), c.asUnsigned);
    EXPECT_EQ(c.v.isBigUnsigned(), c.big);
  }
  // The same number however it was made; -1 is not 2^64 - 1.
  EXPECT_EQ(Value::integer(5), Value::unsignedInteger(5));
  EXPECT_FALSE(Value::integer(-1) == Value::unsignedInteger(~0ull));
}

}  // namespace
}  // namespace fw::plist
