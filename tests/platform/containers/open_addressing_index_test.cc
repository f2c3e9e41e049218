#include "platform/containers/open_addressing_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace fw {
namespace {

// Keys stand in a vector beside the index, as in its callers. The hashes
// are chosen to collide: all alike, all on the last slot (so probes wrap
// round to the front), and spread, each through several doublings.
TEST(OpenAddressingIndex, FindsEveryIdThroughCollisionsWrapsAndGrowth) {
  using Index = OpenAddressingIndex<std::uint32_t, 8>;
  struct Case {
    const char* what;
    std::uint32_t (*hash)(std::uint32_t key);
  };
  const Case cases[] = {
      {"one hash for all", [](std::uint32_t) { return 5u; }},
      {"the last slot", [](std::uint32_t) { return 0xFFFFFFFFu; }},
      {"spread", [](std::uint32_t k) { return k * 2654435761u; }},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> keys;
    Index index;
    for (std::uint32_t k = 100; k < 140; ++k) {
      auto& slot = index.findOrFree(c.hash(k), [&](std::uint32_t id) { return keys[id] == k; });
      ASSERT_EQ(slot.id, Index::kAbsent) << c.what << " " << k;
      index.fill(slot, c.hash(k), static_cast<std::uint32_t>(keys.size()));
      keys.push_back(k);
    }
    EXPECT_EQ(index.size(), 40u) << c.what;
    for (std::uint32_t k = 90; k < 150; ++k) {
      const auto id = index.find(c.hash(k), [&](std::uint32_t i) { return keys[i] == k; });
      const bool present = k >= 100 && k < 140;
      EXPECT_EQ(id, present ? k - 100 : Index::kAbsent) << c.what << " " << k;
      auto& slot = index.findOrFree(c.hash(k), [&](std::uint32_t i) { return keys[i] == k; });
      EXPECT_EQ(slot.id, present ? k - 100 : Index::kAbsent) << c.what << " " << k;
    }
    index.clear();
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.find(c.hash(100), [](std::uint32_t) { return true; }), Index::kAbsent);
  }
}

}  // namespace
}  // namespace fw
