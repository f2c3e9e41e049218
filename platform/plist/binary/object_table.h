#pragma once

// The two halves of the binary writer, shared by the Value writer and the
// builder so that both give the same bytes for the same sequence of objects:
//
//   BinaryObjectTable numbers objects in the order they are added and stores
//   each distinct string, scalar and data once;
//   encodeBinaryObjects() lays the numbered objects out as a file.
//
// A container's references are either stored in the table as they are set,
// or, for a writer that can find them again (the Value writer walks its
// tree a second time), handed over by a BinaryReferenceSource while the
// file is encoded, so that the largest part of the table is never held.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/containers/large_block.h"
#include "platform/containers/open_addressing_index.h"
#include "platform/files/byte_sink.h"
#include "platform/plist/value.h"

namespace fw::plist {

enum class ObjectKind : std::uint8_t {
  False,
  True,
  Int,
  BigInt,
  Real,
  Date,
  Uid,
  Data,
  Ascii,
  Utf16,
  Array,
  Dict
};

// An object as the encoder sees it. `word` is the scalar's bits (integer, real or
// date bits, UID), the first reference of a container, or the address of a
// string's text or of a data Value; `count` a string's units or a
// container's items.
struct BinaryObject {
  std::uint64_t word;
  std::uint32_t count;
  ObjectKind kind;

  [[nodiscard]] const void* pointer() const {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(word));
  }
  [[nodiscard]] bool isContainer() const {
    return kind == ObjectKind::Array || kind == ObjectKind::Dict;
  }
  [[nodiscard]] std::size_t references() const {
    return kind == ObjectKind::Dict    ? std::size_t{count} * 2
           : kind == ObjectKind::Array ? count
                                       : 0;
  }
};

// The numbered objects, thirteen bytes each, in two arrays: the word and
// the count packed in twelve bytes, and the kinds. A file of a million
// small objects keeps 13 MB here rather than 16.
class BinaryObjects {
 public:
  [[nodiscard]] std::size_t size() const { return kinds_.size(); }
  [[nodiscard]] bool empty() const { return kinds_.empty(); }
  [[nodiscard]] std::size_t capacity() const { return kinds_.capacity(); }
  void reserve(std::size_t n) {
    packed_.reserve(n);
    kinds_.reserve(n);
  }
  void push_back(const BinaryObject& o) {
    packed_.push_back(
        {static_cast<std::uint32_t>(o.word), static_cast<std::uint32_t>(o.word >> 32), o.count});
    kinds_.push_back(o.kind);
  }
  [[nodiscard]] BinaryObject operator[](std::size_t i) const {
    const Packed& p = packed_[i];
    return {std::uint64_t{p.low} | std::uint64_t{p.high} << 32, p.count, kinds_[i]};
  }
  [[nodiscard]] ObjectKind kind(std::size_t i) const { return kinds_[i]; }
  [[nodiscard]] BinaryObject back() const { return (*this)[size() - 1]; }

 private:
  struct Packed {
    std::uint32_t low;
    std::uint32_t high;
    std::uint32_t count;
  };
  std::vector<Packed, LargeBlockAllocator<Packed>> packed_;
  std::vector<ObjectKind, LargeBlockAllocator<ObjectKind>> kinds_;
};

// Grows to megabytes for a large snapshot.
using BinaryReferences = std::vector<std::uint32_t, LargeBlockAllocator<std::uint32_t>>;

// The references of containers added with addUnstoredContainer(), asked
// for once per container, in the order of their numbers, while the file is
// encoded; the table's lookups are kept until then. The answer stays valid
// until the next question.
class BinaryReferenceSource {
 public:
  virtual ~BinaryReferenceSource() = default;
  virtual const std::uint32_t* referencesOf(const BinaryObject& container) = 0;
};

class BinaryObjectTable {
 public:
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

  // With `keepOwners` false, the strings handed in with an owner are not
  // held: their caller keeps them alive until the file is written.
  explicit BinaryObjectTable(std::string* reason, bool keepOwners = true)
      : reason_(reason), keepOwners_(keepOwners) {}

  // Room for this many more objects, references and distinct strings.
  void reserve(std::size_t objects, std::size_t references, std::size_t strings);

  [[nodiscard]] bool failed() const { return failed_; }
  // Records the first failure's reason; every later addition is ignored.
  void fail(std::string why);

  std::uint32_t addBoolean(bool b);
  std::uint32_t addScalar(ObjectKind kind, std::uint64_t bits, std::uint64_t bytes);
  std::uint32_t addData(const Value& v);
  // `owner`, when given, holds `text` and is kept until the table goes, so
  // the caller need not keep it alive.
  std::uint32_t addString(std::u16string_view text, const SharedString* owner = nullptr);
  // Adds `count` strings, `string(0)` .. `string(count - 1)`, as references
  // `first`.. of `container`, numbered as by addString one after another.
  // Their hashes are taken ahead, so each string's slot is fetched while
  // earlier strings are still being placed: quicker for long runs.
  template <typename StringAt>
  void addStringReferences(std::uint32_t container, std::size_t first, std::size_t count,
                           StringAt&& string) {
    addStrings(count, string, [&](std::size_t i, std::uint32_t id, const SharedString&) {
      setReference(container, first + i, id);
    });
  }
  // The same without references: `numbered(i, id, string(i))` is told each
  // string's number. With `owned` false the strings are not held, as with
  // addString() without an owner.
  template <typename StringAt, typename Numbered>
  void addStrings(std::size_t count, StringAt&& string, Numbered&& numbered, bool owned = true) {
    constexpr std::size_t kChunk = 256;
    constexpr std::size_t kAhead = 8;
    std::uint32_t hashes[kChunk];
    for (std::size_t at = 0; at < count && !failed_; at += kChunk) {
      const std::size_t n = count - at < kChunk ? count - at : kChunk;
      const char16_t* previous = nullptr;
      for (std::size_t i = 0; i < n; ++i) {
        const std::u16string_view text = string(at + i).view();
        hashes[i] = i > 0 && text.data() == previous ? hashes[i - 1] : stringHash(text);
        previous = text.data();
      }
      for (std::size_t i = 0; i < n && i < kAhead; ++i) strings_.prefetch(hashes[i]);
      for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) strings_.prefetch(hashes[i + kAhead]);
        const SharedString& s = string(at + i);
        const std::u16string_view text = s.view();
        const std::uint32_t id =
            isLastString(text) ? lastStringId_ : addString(text, hashes[i], owned ? &s : nullptr);
        if (failed_) return;
        numbered(at + i, id, s);
      }
    }
  }
  // A container of `count` items (dictionaries: keys then values, 2 * count
  // references), its references to be set with setReference.
  std::uint32_t addContainer(bool dictionary, std::size_t count);
  // A container whose references are not stored: a BinaryReferenceSource
  // gives them when the file is encoded. Its object's `word` is `owner`.
  std::uint32_t addUnstoredContainer(bool dictionary, std::size_t count, const void* owner);

  // The numbers already given to a boolean, scalar, string or data, or kNone.
  [[nodiscard]] std::uint32_t booleanId(bool b) const { return b ? trueId_ : falseId_; }
  [[nodiscard]] std::uint32_t scalarId(ObjectKind kind, std::uint64_t bits) const;
  [[nodiscard]] std::uint32_t stringId(std::u16string_view text) const;
  [[nodiscard]] std::uint32_t dataId(const Value& v) const;
  // Whether object `id` is that string, scalar or data.
  [[nodiscard]] bool isString(std::uint32_t id, std::u16string_view text) const;
  [[nodiscard]] bool isScalar(std::uint32_t id, ObjectKind kind, std::uint64_t bits) const {
    return objects_.kind(id) == kind && objects_[id].word == bits;
  }
  [[nodiscard]] bool isData(std::uint32_t id, std::span<const std::uint8_t> bytes) const;

  // Sets reference `index` of `container`; false (and nothing set) when
  // either is out of range, or when `object` is a container numbered no
  // later than `container`: containers only lead to later ones, so no file
  // written from the table holds a cycle.
  bool setReference(std::uint32_t container, std::size_t index, std::uint32_t object);
  [[nodiscard]] std::uint32_t* references(std::uint32_t container) {
    return refs_.data() + objects_[container].word;
  }
  // How many references the containers hold, stored or not.
  [[nodiscard]] std::size_t referenceCount() const { return refs_.size() + unstored_; }
  [[nodiscard]] std::size_t unstoredReferences() const { return unstored_; }
  // How many references setReference() has set.
  [[nodiscard]] std::size_t referencesSet() const { return referencesSet_; }

  [[nodiscard]] const BinaryObjects& objects() const { return objects_; }
  [[nodiscard]] const BinaryReferences& allReferences() const { return refs_; }
  // The objects' bytes without their references, and those of the last one.
  [[nodiscard]] std::uint64_t objectBytes() const { return objectBytes_; }
  [[nodiscard]] std::uint64_t lastObjectBytes() const { return lastBytes_; }

  // Gives back the lookup tables, once nothing more will be added.
  void releaseLookups();

 private:
  static std::uint32_t stringHash(std::u16string_view text);
  static std::uint32_t scalarHash(ObjectKind kind, std::uint64_t bits);
  static std::uint32_t dataHash(std::span<const std::uint8_t> bytes);
  [[nodiscard]] std::uint32_t scalarId(std::uint32_t hash, ObjectKind kind,
                                       std::uint64_t bits) const;
  [[nodiscard]] std::uint32_t dataId(std::uint32_t hash, std::span<const std::uint8_t> bytes) const;
  std::uint32_t addString(std::u16string_view text, std::uint32_t hash, const SharedString* owner);
  std::uint32_t add(BinaryObject object, std::uint64_t bytes);
  // Runs of one shared buffer (a folder's path for each of its files) are
  // answered without hashing: the last text is alive and unchanged until the
  // output is written (held by the caller's Value, or kept here), so the same
  // address means the same text.
  [[nodiscard]] bool isLastString(std::u16string_view text) const {
    return text.data() == lastText_ && text.size() == lastCount_ && lastStringId_ != kNone;
  }

  std::string* reason_;
  bool keepOwners_;
  bool failed_ = false;
  BinaryObjects objects_;
  BinaryReferences refs_;
  std::size_t referencesSet_ = 0;
  std::size_t unstored_ = 0;  // references of containers without stored ones
  std::uint64_t objectBytes_ = 0;
  std::uint64_t lastBytes_ = 0;
  OpenAddressingIndex<std::uint32_t, 1024> strings_;
  // Eight bytes a slot: 32 bits of the hash are plenty to find a candidate,
  // and equality decides; a file of a million scalars keeps 8 MB, not 16.
  OpenAddressingIndex<std::uint32_t> scalars_;
  OpenAddressingIndex<std::uint32_t> data_;
  // The texts of strings added with an owner, when they are kept.
  std::vector<SharedString, LargeBlockAllocator<SharedString>> owned_;
  const char16_t* lastText_ = nullptr;
  std::size_t lastCount_ = 0;
  std::uint32_t lastStringId_ = kNone;
  std::uint32_t trueId_ = kNone;
  std::uint32_t falseId_ = kNone;
};

// The file for the table's objects, object 0 as its root; nullopt (and the
// table failed) when it is empty or has failed.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> encodeBinaryObjects(
    BinaryObjectTable& table);
// The same file in large blocks (LargeBlockAllocator).
[[nodiscard]] std::optional<LargeByteVector> encodeBinaryObjectsInLargeBlocks(
    BinaryObjectTable& table);
// The same file handed to `sink` in pieces of at most 256 KiB (an object
// larger than that in several), so that it is never whole in memory. False
// when the table is empty or has failed, before any byte is handed on, or
// when the sink refused a piece.
[[nodiscard]] bool encodeBinaryObjectsTo(BinaryObjectTable& table, const ByteSink& sink);
// The same for a table with unstored containers, whose references `source`
// gives; `encoded` receives each piece, as `sink` above.
[[nodiscard]] bool encodeBinaryObjectsTo(BinaryObjectTable& table, BinaryReferenceSource& source,
                                         const ByteSink& encoded);
// The same file whole in memory, for such a table.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> encodeBinaryObjects(
    BinaryObjectTable& table, BinaryReferenceSource& source);

}  // namespace fw::plist
