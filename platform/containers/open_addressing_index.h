#pragma once

// OpenAddressingIndex: a hash index of 32-bit ids (positions in a table the
// caller keeps), for tables whose entries already hold their keys. A slot is
// the key's hash, or as much of it as HashWord keeps, and the id; the caller
// decides equality, so the index stores no keys and grows without them.
//
// Linear probing in a power-of-two array that is at most half full, so
// probes stay short; it starts at kMinimumSlots and doubles.
//
//   OpenAddressingIndex<std::uint32_t> index;
//   index.insert(hash(k), 0);
//   index.find(hash(k), [&](std::uint32_t id) { return keys[id] == k; })  -> 0
//   index.find(hash(other), ...)                                         -> kAbsent

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/containers/large_block.h"

namespace fw {

template <typename HashWord, std::size_t kMinimumSlots = 64>
class OpenAddressingIndex {
 public:
  static_assert((kMinimumSlots & (kMinimumSlots - 1)) == 0, "a power of two");
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  struct Slot {
    HashWord hash;
    std::uint32_t id;  // kAbsent marks a free slot
  };
  using Slots = std::vector<Slot, LargeBlockAllocator<Slot>>;

  [[nodiscard]] std::size_t size() const noexcept { return used_; }
  [[nodiscard]] bool empty() const noexcept { return used_ == 0; }

  // Room for `ids` ids in all, so that adding up to that many grows nothing.
  void reserve(std::size_t ids) {
    std::size_t slots = kMinimumSlots;
    while (slots < ids * 2) slots *= 2;
    if (slots > slots_.size()) rehash(slots);
  }

  // The id with `hash` for which `equal(id)` holds, or kAbsent.
  template <typename Equal>
  [[nodiscard]] std::uint32_t find(HashWord hash, Equal&& equal) const {
    if (slots_.empty()) return kAbsent;
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.id == kAbsent) return kAbsent;
      if (s.hash == hash && equal(s.id)) return s.id;
    }
  }

  // The slot holding the id with `hash` for which `equal(id)` holds, or else
  // the free slot where such an id belongs, to be handed to fill() before
  // anything else changes the index. Room for one more is made first.
  template <typename Equal>
  [[nodiscard]] Slot& findOrFree(HashWord hash, Equal&& equal) {
    makeRoom();
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.id == kAbsent || (s.hash == hash && equal(s.id))) return s;
    }
  }
  void fill(Slot& free, HashWord hash, std::uint32_t id) noexcept {
    free = {hash, id};
    ++used_;
  }

  // Adds an id whose key is known to be absent.
  void insert(HashWord hash, std::uint32_t id) {
    makeRoom();
    place({hash, id});
    ++used_;
  }

  void prefetch(HashWord hash) const noexcept {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
  }

  // Empties the index and gives its memory back.
  void clear() noexcept {
    Slots().swap(slots_);
    mask_ = 0;
    used_ = 0;
  }

 private:
  void makeRoom() {
    if ((used_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? kMinimumSlots : slots_.size() * 2);
  }

  void place(Slot slot) noexcept {
    std::size_t i = slot.hash & mask_;
    while (slots_[i].id != kAbsent) i = (i + 1) & mask_;
    slots_[i] = slot;
  }

  void rehash(std::size_t slots) {
    Slots old = std::move(slots_);
    slots_.assign(slots, Slot{0, kAbsent});
    mask_ = slots - 1;
    for (const Slot& s : old) {
      if (s.id != kAbsent) place(s);
    }
  }

  Slots slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

}  // namespace fw
