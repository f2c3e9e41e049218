#include "platform/containers/large_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace fw {
namespace {

// Small vectors take operator new; from 512 KiB on each block is an aligned
// mapping of its own. Either way the contents survive every regrowth.
TEST(LargeBlockAllocator, GrowsThroughSmallAndLargeBlocksKeepingTheContents) {
  std::vector<std::uint32_t, LargeBlockAllocator<std::uint32_t>> ids;
  for (std::uint32_t i = 0; i < (std::uint32_t{3} << 20); ++i) ids.push_back(i * 7);
  ASSERT_GE(ids.capacity() * sizeof(std::uint32_t), kLargeBlockThreshold);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ids.data()) % kLargeBlockBytes, 0u);
  for (std::uint32_t i = 0; i < ids.size(); i += 4099) ASSERT_EQ(ids[i], i * 7);
  ids.resize(10);
  ids.shrink_to_fit();
  EXPECT_EQ(ids[9], 63u);
}

TEST(LargeBlockAllocator, RefusesASizeThatOverflows) {
  LargeBlockAllocator<std::uint64_t> allocator;
  EXPECT_THROW((void)allocator.allocate(std::size_t(-1) / 4), std::bad_array_new_length);
  EXPECT_THROW((void)allocator.allocate(std::size_t(-1) / 16), std::bad_alloc);
}

}  // namespace
}  // namespace fw
