#pragma once

// LargeBlockAllocator: the allocator of the collections that grow, by
// doubling, into blocks of megabytes (the scanner's sets and dictionaries,
// the binary writer's tables). A block of at least kLargeBlockThreshold is
// a mapping of its own, a multiple of kLargeBlockBytes, given back to the
// system the moment it is freed, and aligned to kLargeBlockBytes. Smaller
// blocks come from std::allocator. A block's pages are only taken as they
// are filled, so the 1.5 MiB that a block just over the threshold does not
// use cost no memory.
//
//   std::vector<std::uint32_t, LargeBlockAllocator<std::uint32_t>> ids;
//   ids.resize(1 << 20);  // one 4 MiB mapping

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace fw {

inline constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;
inline constexpr std::size_t kLargeBlockThreshold = std::size_t{512} << 10;

// A mapping of at least `bytes`, a multiple of kLargeBlockBytes aligned to
// kLargeBlockBytes; throws std::bad_alloc when the system refuses.
[[nodiscard]] void* allocateLargeBlock(std::size_t bytes);
// Gives back a block from allocateLargeBlock(bytes), with the same `bytes`.
void freeLargeBlock(void* block, std::size_t bytes) noexcept;

template <class T>
class LargeBlockAllocator {
 public:
  using value_type = T;

  LargeBlockAllocator() noexcept = default;
  template <class U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}  // NOLINT: rebinding converts

  [[nodiscard]] T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kLargeBlockThreshold) return static_cast<T*>(allocateLargeBlock(bytes));
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kLargeBlockThreshold) {
      freeLargeBlock(p, bytes);
    } else {
      std::allocator<T>().deallocate(p, n);
    }
  }

  friend bool operator==(const LargeBlockAllocator&, const LargeBlockAllocator&) noexcept {
    return true;
  }
};

// Bytes of a file of megabytes, such as a large snapshot.
using LargeByteVector = std::vector<std::uint8_t, LargeBlockAllocator<std::uint8_t>>;

}  // namespace fw
