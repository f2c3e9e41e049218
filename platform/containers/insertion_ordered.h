#pragma once

// InsertionOrderedMap and InsertionOrderedSet: hash tables that keep their
// entries in one vector, in insertion order, with an OpenAddressingIndex of
// positions beside it. A key inserted again keeps its first position.
//
// A caller that knows its next keys ahead can hash them early (hashOf) and
// prefetch their slots, then insert with the hash it already has, so that
// the cache misses of a large table overlap instead of following one
// another:
//
//   InsertionOrderedMap<SharedString, SharedString, SharedStringHash, SharedStringEqual> m;
//   const std::uint32_t h = m.hashOf(key);
//   m.prefetch(h);
//   ...                                     // other work meanwhile
//   m.try_emplace(h, key, value);           // -> {entry, true}
//   m.insert_or_assign(key, other);         // same position, value `other`

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/containers/large_block.h"
#include "platform/containers/open_addressing_index.h"

namespace fw {

// The index's word for a key's hash: the high half of a multiplication, so
// that identity hashes of round numbers, or hashes that differ only in their
// high bits, still spread over the slots.
[[nodiscard]] inline std::uint32_t insertionOrderedHashWord(std::size_t hash) noexcept {
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(hash) * 0x9E3779B97F4A7C15ULL) >>
                                    32);
}

template <class Entry, class KeyOf, class Hash, class Equal>
class InsertionOrderedTable {
 public:
  using value_type = Entry;
  using Entries = std::vector<Entry, LargeBlockAllocator<Entry>>;
  using const_iterator = typename Entries::const_iterator;

  [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
  [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
  // Room for `n` entries in all, so that adding up to that many grows nothing.
  void reserve(std::size_t n) {
    entries_.reserve(n);
    index_.reserve(n);
  }

  [[nodiscard]] const_iterator begin() const noexcept { return entries_.begin(); }
  [[nodiscard]] const_iterator end() const noexcept { return entries_.end(); }
  // The entries in insertion order.
  [[nodiscard]] const Entries& values_container() const noexcept { return entries_; }

  template <class K>
  [[nodiscard]] std::uint32_t hashOf(const K& key) const noexcept {
    return insertionOrderedHashWord(Hash{}(key));
  }
  void prefetch(std::uint32_t hash) const noexcept { index_.prefetch(hash); }

  template <class K>
  [[nodiscard]] const_iterator find(const K& key) const {
    return find(hashOf(key), key);
  }
  template <class K>
  [[nodiscard]] const_iterator find(std::uint32_t hash, const K& key) const {
    const std::uint32_t id = index_.find(hash, matching(key));
    return id == Index::kAbsent ? entries_.end() : entries_.begin() + id;
  }
  template <class K>
  [[nodiscard]] bool contains(const K& key) const {
    return find(key) != end();
  }

 protected:
  // The entry with `key` and false, or else the entry `make()` returns,
  // appended, and true. When `make` throws, nothing is added.
  template <class K, class Make>
  std::pair<Entry*, bool> findOrAppend(std::uint32_t hash, const K& key, Make&& make) {
    if (entries_.size() >= Index::kAbsent) throw std::length_error("InsertionOrderedTable: full");
    auto& slot = index_.findOrFree(hash, matching(key));
    if (slot.id != Index::kAbsent) return {&entries_[slot.id], false};
    entries_.push_back(make());
    index_.fill(slot, hash, static_cast<std::uint32_t>(entries_.size() - 1));
    return {&entries_.back(), true};
  }

 private:
  using Index = OpenAddressingIndex<std::uint32_t>;

  template <class K>
  auto matching(const K& key) const {
    return [this, &key](std::uint32_t id) { return Equal{}(KeyOf{}(entries_[id]), key); };
  }

  Entries entries_;
  Index index_;
};

namespace insertion_ordered_detail {
struct First {
  template <class P>
  const auto& operator()(const P& pair) const noexcept {
    return pair.first;
  }
};
struct Itself {
  template <class T>
  const T& operator()(const T& value) const noexcept {
    return value;
  }
};
}  // namespace insertion_ordered_detail

// Keys to values. Entries are std::pair<Key, Value>; the inserts return the
// entry, whose value may be changed but whose key must not.
template <class Key, class Value, class Hash = std::hash<Key>, class Equal = std::equal_to<Key>>
class InsertionOrderedMap
    : public InsertionOrderedTable<std::pair<Key, Value>, insertion_ordered_detail::First, Hash,
                                   Equal> {
 public:
  using Entry = std::pair<Key, Value>;

  // Adds key and value unless the key is present; the value is left alone then.
  template <class V>
  std::pair<Entry*, bool> try_emplace(Key key, V&& value) {
    const std::uint32_t hash = this->hashOf(key);
    return try_emplace(hash, std::move(key), std::forward<V>(value));
  }
  template <class V>
  std::pair<Entry*, bool> try_emplace(std::uint32_t hash, Key key, V&& value) {
    return this->findOrAppend(hash, key,
                              [&] { return Entry(std::move(key), std::forward<V>(value)); });
  }

  // Adds key and value, or gives a present key the new value in place.
  template <class V>
  std::pair<Entry*, bool> insert_or_assign(Key key, V&& value) {
    const std::uint32_t hash = this->hashOf(key);
    return insert_or_assign(hash, std::move(key), std::forward<V>(value));
  }
  template <class V>
  std::pair<Entry*, bool> insert_or_assign(std::uint32_t hash, Key key, V&& value) {
    // try_emplace takes the value only when it adds the entry.
    auto result = try_emplace(hash, std::move(key), std::forward<V>(value));
    if (!result.second) result.first->second = std::forward<V>(value);
    return result;
  }
};

template <class T, class Hash = std::hash<T>, class Equal = std::equal_to<T>>
class InsertionOrderedSet
    : public InsertionOrderedTable<T, insertion_ordered_detail::Itself, Hash, Equal> {
 public:
  // Adds the value unless an equal one is present; true when it was added.
  bool insert(T value) {
    const std::uint32_t hash = this->hashOf(value);
    return insert(hash, std::move(value));
  }
  bool insert(std::uint32_t hash, T value) {
    return this->findOrAppend(hash, value, [&] { return std::move(value); }).second;
  }
};

}  // namespace fw
