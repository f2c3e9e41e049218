#pragma once

// Writer for binary property lists ("bplist00").
//
// The output is as small as the format allows without reordering anything,
// and the same value always gives the same bytes:
//   - equal strings, integers, reals, dates, UIDs and data are stored once;
//   - offset and reference widths are the smallest of 1, 2, 4 and 8 bytes
//     that hold the largest offset and reference (never 3, 5, 6 or 7, which
//     some readers refuse);
//   - strings are ASCII when every unit is below 0x80, UTF-16BE otherwise;
//   - non-negative integers take 1, 2, 4 or 8 bytes, negative ones 8 bytes,
//     values above INT64_MAX the 16-byte form;
//   - reals are 8-byte doubles; dictionaries keep their order.
//
//   writeBinaryPropertyList(Value::integer(1))
//     -> "bplist00" 10 01 08 00..00 (trailer: widths 1 1, 1 object, top 0, table at 10)
//
// Objects are numbered depth first, the root first and a dictionary's keys
// before its values, so a reader meets them in file order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/containers/large_block.h"
#include "platform/files/byte_sink.h"
#include "platform/plist/value.h"

namespace fw::plist {

// The file's bytes, or nullopt with the reason in `*reason` for a value the
// format cannot hold: nesting deeper than 512 containers (which no reader of
// ours would accept back).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(
    const Value& root, std::string* reason = nullptr);

// The same file handed to `sink` in pieces of at most 256 KiB, so that it
// is never whole in memory: false, with the reason, for a value the format
// cannot hold (before the sink gets a byte), or when the sink refused a
// piece (`*reason` untouched: the sink knows why).
[[nodiscard]] bool writeBinaryPropertyList(const Value& root, const ByteSink& sink,
                                           std::string* reason = nullptr);

class BinaryObjectTable;

// Writes a property list of strings, arrays and dictionaries without first
// building it as a Value. The builder numbers the objects itself, in the
// order they are added, with the same rules and the same bytes as
// writeBinaryPropertyList: a tree filled depth first (each container before
// its next sibling) gives exactly the file writeBinaryPropertyList gives for
// it. Equal strings are stored once; the builder holds on to each string it
// is handed, so callers may pass temporaries.
//
//   BinaryPropertyListBuilder b;
//   auto root = b.dictionary(2);
//   root.key(SharedString(u"names"));      // keys first: they come before values
//   root.key(SharedString(u"paths"));
//   auto names = root.array(1);            // the value of "names"
//   names.add(SharedString(u"a.mp3"));
//   auto paths = root.dictionary(1);       // the value of "paths"
//   paths.add(SharedString(u"a.mp3"), SharedString(u"~/Music"));
//   auto bytes = b.finish();
//
// A container that gets more items than it was made for, a dictionary value
// before all of its keys, a second root, or a container left short of its
// count makes finish() fail. Handles hold on to the builder and are used up
// by finish().
//
// A builder made with StringLifetime::borrowed does not hold on to the
// strings: the caller keeps every string it hands in alive until finish()
// or finishTo() returns, and the builder keeps nothing per string but its
// number.
class BinaryPropertyListBuilder {
 public:
  class ArrayHandle;
  class DictionaryHandle;
  enum class StringLifetime : std::uint8_t { held, borrowed };

  explicit BinaryPropertyListBuilder(StringLifetime strings = StringLifetime::held);
  ~BinaryPropertyListBuilder();
  BinaryPropertyListBuilder(const BinaryPropertyListBuilder&) = delete;
  BinaryPropertyListBuilder& operator=(const BinaryPropertyListBuilder&) = delete;

  // Room for `objects` more objects, among them `strings` distinct strings,
  // and `references` more container items, so that the containers to come
  // grow nothing: for a caller that knows the whole tree's size up front.
  void reserve(std::size_t objects, std::size_t references, std::size_t strings);

  // The root: one of these, before anything else.
  void string(const SharedString& text);
  ArrayHandle array(std::size_t count);
  DictionaryHandle dictionary(std::size_t count);

  // The file; nullopt with the reason in `*reason` when nothing was added or
  // an addition failed. Starts the builder afresh.
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> finish(std::string* reason = nullptr);
  // The same, in large blocks (LargeBlockAllocator): for a file of
  // megabytes, given back to the system as soon as it is freed.
  [[nodiscard]] std::optional<LargeByteVector> finishInLargeBlocks(std::string* reason = nullptr);
  // The same file handed to `sink` in pieces of at most 256 KiB, so that it
  // is never whole in memory. False when nothing was added or an addition
  // failed (with the reason, and before the sink gets a byte), or when the
  // sink refused a piece (`*reason` untouched: the sink knows why).
  [[nodiscard]] bool finishTo(const ByteSink& sink, std::string* reason = nullptr);

 private:
  [[nodiscard]] bool takeRoot();
  template <typename Result, typename Encode>
  Result finishWith(std::string* reason, Encode encode);
  // A handle on a new container of `count` items, numbered into slot `*at`
  // of container `parent`; with no slot (the table has failed) one that
  // adds nothing.
  template <typename Handle>
  static Handle nested(BinaryObjectTable* table, std::uint32_t parent,
                       std::optional<std::size_t> at, std::size_t count);

  std::string reason_;
  StringLifetime strings_;
  std::unique_ptr<BinaryObjectTable> table_;
};

// An array being filled: `count` items, in order.
class BinaryPropertyListBuilder::ArrayHandle {
 public:
  void add(const SharedString& item);
  ArrayHandle array(std::size_t count);
  DictionaryHandle dictionary(std::size_t count);

 private:
  friend class BinaryPropertyListBuilder;
  ArrayHandle(BinaryObjectTable* table, std::uint32_t id, std::size_t count);
  // The next item's index, or nullopt (and the table failed) when full.
  std::optional<std::size_t> next();

  BinaryObjectTable* table_;
  std::uint32_t id_;
  std::size_t count_;
  std::size_t added_ = 0;
};

// A dictionary being filled: its `count` keys, then their values in the same
// order. add() gives a key and a string value together; the values wait
// until the last key is in.
class BinaryPropertyListBuilder::DictionaryHandle {
 public:
  void add(const SharedString& key, const SharedString& value);
  // All `count` entries at once, keys and string values, in order: the same
  // numbers as add() for each, without holding on to the strings first.
  void add(std::span<const std::pair<SharedString, SharedString>> entries);
  void key(const SharedString& key);
  // The next value, once every key is in.
  void value(const SharedString& value);
  ArrayHandle array(std::size_t count);
  DictionaryHandle dictionary(std::size_t count);

 private:
  friend class BinaryPropertyListBuilder;
  DictionaryHandle(BinaryObjectTable* table, std::uint32_t id, std::size_t count);
  void flushKeys();
  // The next value's reference index, or nullopt (and the table failed).
  std::optional<std::size_t> nextValue();

  BinaryObjectTable* table_;
  std::uint32_t id_;
  std::size_t count_;
  std::size_t keys_ = 0;               // keys numbered
  std::size_t values_ = 0;             // values numbered
  std::vector<SharedString> keyRun_;   // keys not yet numbered, a run at a time
  std::vector<SharedString> waiting_;  // add()'s values, numbered after the last key
};

}  // namespace fw::plist
