#include "platform/containers/insertion_ordered.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/strings/shared_string.h"

namespace fw {
namespace {

using Map = InsertionOrderedMap<SharedString, SharedString, SharedStringHash, SharedStringEqual>;

std::vector<std::u16string> keysOf(const Map& map) {
  std::vector<std::u16string> keys;
  for (const auto& [key, value] : map) keys.emplace_back(key.view());
  return keys;
}

// Through many doublings a key inserted again keeps its first position:
// try_emplace leaves its value, insert_or_assign replaces it, and a hash
// taken ahead finds the same entry as one taken by the insert itself.
TEST(InsertionOrderedMap, KeepsFirstPositionsThroughGrowthAndBothInserts) {
  Map map;
  std::vector<std::u16string> expected;
  for (int i = 0; i < 5000; ++i) {
    const std::u16string key =
        u"k" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(i / 26 + 1, u'x');
    const auto [entry, inserted] = map.try_emplace(SharedString(key), SharedString(u"first"));
    ASSERT_TRUE(inserted);
    EXPECT_EQ(entry->first.view(), key);
    expected.push_back(key);
  }
  for (int i = 0; i < 5000; i += 7) {
    const SharedString key(expected[i]);
    const std::uint32_t hash = map.hashOf(key);
    map.prefetch(hash);
    const auto [kept, added] = map.try_emplace(hash, key, SharedString(u"ignored"));
    EXPECT_FALSE(added);
    EXPECT_EQ(kept->second.view(), u"first");
    const auto [replaced, again] = map.insert_or_assign(key, SharedString(u"second"));
    EXPECT_FALSE(again);
    EXPECT_EQ(replaced, kept);
  }
  EXPECT_EQ(keysOf(map), expected);
  for (int i = 0; i < 5000; ++i) {
    const auto it = map.find(std::u16string_view(expected[i]));
    ASSERT_NE(it, map.end());
    EXPECT_EQ(it->second.view(), i % 7 == 0 ? u"second" : u"first") << i;
  }
  EXPECT_EQ(map.find(std::u16string_view(u"absent")), map.end());
}

}  // namespace
}  // namespace fw
