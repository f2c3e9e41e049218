#pragma once

// Writer for binary property lists ("bplist00").
//
// The output is as small as the format allows without reordering anything,
// and the same value always gives the same bytes:
//   - equal strings, integers, reals, dates, UIDs and data are stored once;
//   - offset and reference widths are the smallest that hold the largest
//     offset and reference;
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
#include <string>
#include <vector>

#include "platform/plist/value.h"

namespace fw::plist {

// The file's bytes, or nullopt with the reason in `*reason` for a value the
// format cannot hold: nesting deeper than 512 containers (which no reader of
// ours would accept back).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(
    const Value& root, std::string* reason = nullptr);

class BinaryObjectTable;

// Writes a property list of strings, arrays and dictionaries without first
// building it as a Value. Objects are numbered in the order they are added,
// with the same rules and the same bytes as writeBinaryPropertyList: a tree
// added depth first, the root first and a dictionary's keys before its
// values, gives exactly the file writeBinaryPropertyList gives for it.
// Equal strings are stored once; the builder holds on to each string it
// stores until finish(), so callers may pass temporaries.
//
//   BinaryPropertyListBuilder b;
//   auto root = b.addDictionary(1);
//   b.setReference(root, 0, b.addString(key));    // keys: 0 .. count-1
//   b.setReference(root, 1, b.addString(value));  // values: count .. 2*count-1
//   auto bytes = b.finish();
class BinaryPropertyListBuilder {
 public:
  BinaryPropertyListBuilder();
  ~BinaryPropertyListBuilder();
  BinaryPropertyListBuilder(const BinaryPropertyListBuilder&) = delete;
  BinaryPropertyListBuilder& operator=(const BinaryPropertyListBuilder&) = delete;

  // Room for this many objects, container references and distinct strings,
  // so that nothing grows while they are added. Only a hint.
  void reserve(std::size_t objects, std::size_t references, std::size_t strings);

  // Each returns the object's number; an equal string added before gives
  // that string's number.
  std::uint32_t addString(const SharedString& text);
  std::uint32_t addArray(std::size_t count);
  std::uint32_t addDictionary(std::size_t count);
  // Reference `index` of `container`: an array's items, or a dictionary's
  // keys and then its values. A reference out of range, to an object not yet
  // added, of something that is no container, or to a container added no
  // later than `container` (which could close a cycle) makes finish() fail.
  // References never set point at object 0, the root.
  void setReference(std::uint32_t container, std::size_t index, std::uint32_t object);
  // Adds `count` strings and sets them as references `first` .. `first +
  // count - 1` of `container`: the same numbers and the same file as adding
  // and setting each in turn, quicker for long runs of strings.
  void setStringReferences(std::uint32_t container, std::size_t first, const SharedString* const* strings,
                           std::size_t count);

  // The file, object 0 as its root; nullopt with the reason in `*reason`
  // when nothing was added or an addition failed. Starts the builder afresh.
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> finish(std::string* reason = nullptr);

 private:
  std::string reason_;
  std::unique_ptr<BinaryObjectTable> table_;
};

}  // namespace fw::plist
