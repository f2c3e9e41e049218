#pragma once

// Property-list values: what the XML and binary formats can hold.
//
// A Value always holds one of the kinds below; an absent value is a null
// pointer or an empty optional, never a kind. Accessors answer absent when
// the value is of another kind:
//
//   Value v = Value::string(u"x");
//   v.asString()   -> u"x"        v.asInteger() -> nullopt
//
// Dictionaries keep their keys in file or insertion order, and a replaced
// key keeps its first position. Copying a Value copies its containers;
// strings and data are immutable and shared between copies.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/containers/open_addressing_index.h"
#include "platform/strings/shared_string.h"

namespace fw::plist {

enum class Kind : std::uint8_t {
  Boolean,
  Integer,
  Real,
  String,
  Date,
  Data,
  Uid,
  Array,
  Dictionary
};

// The string type and its table helpers, named here as well for readers of
// property-list code.
using fw::hashBytes;
using fw::SharedString;
using fw::SharedStringEqual;
using fw::SharedStringHash;

class Value;
using Array = std::vector<Value>;

// Seconds since 2001-01-01 00:00:00 UTC, the reference date of both formats.
struct Date {
  double seconds = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

struct Uid {
  std::uint64_t value = 0;
  friend bool operator==(const Uid&, const Uid&) = default;
};

class Dictionary;

// Sixteen bytes: the kind, and one word holding the scalar itself or a
// pointer to the out-of-line string, data or container.
class Value {
 public:
  Value() = default;  // false
  static Value boolean(bool b);
  static Value integer(std::int64_t i);
  // Values above INT64_MAX, which both formats can carry.
  static Value unsignedInteger(std::uint64_t u);
  static Value real(double d);
  static Value string(std::u16string_view s);
  static Value string(SharedString s);
  static Value date(Date d);
  static Value data(std::span<const std::uint8_t> bytes);
  static Value data(std::string_view bytes);
  // Takes the bytes without copying them.
  static Value data(std::vector<std::uint8_t>&& bytes);
  static Value uid(Uid u);
  static Value array(Array items = {});
  static Value dictionary(Dictionary entries);
  static Value dictionary();

  Value(const Value& other);
  Value(Value&& other) noexcept;
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value();

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  [[nodiscard]] bool is(Kind k) const noexcept { return kind_ == k; }

  [[nodiscard]] std::optional<bool> asBoolean() const;
  // The integer when it fits in 64 signed bits.
  [[nodiscard]] std::optional<std::int64_t> asInteger() const;
  // The integer when it is not negative.
  [[nodiscard]] std::optional<std::uint64_t> asUnsigned() const;
  // True for an integer stored above INT64_MAX.
  [[nodiscard]] bool isBigUnsigned() const noexcept { return kind_ == Kind::Integer && unsigned_; }
  [[nodiscard]] std::optional<double> asReal() const;
  [[nodiscard]] std::optional<std::u16string_view> asString() const;
  [[nodiscard]] const SharedString* asSharedString() const;
  [[nodiscard]] std::optional<Date> asDate() const;
  [[nodiscard]] std::optional<std::span<const std::uint8_t>> asData() const;
  [[nodiscard]] std::optional<Uid> asUid() const;
  [[nodiscard]] const Array* asArray() const;
  [[nodiscard]] Array* asArray();
  [[nodiscard]] const Dictionary* asDictionary() const;
  [[nodiscard]] Dictionary* asDictionary();

  // Deep equality; reals compare by bits so that NaN equals NaN.
  friend bool operator==(const Value& a, const Value& b);

 private:
  explicit Value(std::nullptr_t) {}
  void destroy() noexcept;
  void copyFrom(const Value& other);
  void takeFrom(Value& other) noexcept;

  Kind kind_ = Kind::Boolean;
  bool unsigned_ = false;
  // The string member is the string itself (one pointer to its shared
  // buffer), so a string value costs one allocation, not two.
  union Payload {
    Payload() : u(0) {}
    ~Payload() {}
    bool b;
    std::int64_t i;
    std::uint64_t u;
    double d;
    SharedString s;
    std::shared_ptr<const std::vector<std::uint8_t>>* data;
    Array* a;
    Dictionary* dict;
  } p_;
};

// String keys to values, in file or insertion order; a replaced key keeps
// its first position.
//
// The entries live in one exactly sized vector. Most dictionaries in real
// property lists are small records (an iTunes track has about 25 keys), and
// for them a linear scan, which usually succeeds on the key's identity
// alone since readers share key strings, beats hashing. Beyond
// kIndexThreshold entries an open-addressing index of entry positions is
// kept beside the vector. This gives what an ordered hash map gives (file
// order, stable positions on replace, fast lookup in big dictionaries such
// as "Tracks") without paying a bucket array for every small record.
class Dictionary {
 public:
  using Entry = std::pair<SharedString, Value>;
  using const_iterator = std::vector<Entry>::const_iterator;
  static constexpr std::size_t kIndexThreshold = 16;

  Dictionary() = default;
  // Takes the entries in order; of repeated keys the last value wins, at
  // the first key's position: {a:1, b:2, a:3} -> {a:3, b:2}.
  explicit Dictionary(std::vector<Entry>&& entries);

  [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
  [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
  void reserve(std::size_t n) { entries_.reserve(n); }

  [[nodiscard]] const Value* find(std::u16string_view key) const;
  [[nodiscard]] Value* find(std::u16string_view key);
  [[nodiscard]] bool contains(std::u16string_view key) const { return find(key) != nullptr; }

  // Inserts, or replaces the value of an existing key in place.
  Value& set(std::u16string_view key, Value value);
  Value& set(SharedString key, Value value);

  // Entries in order: it->first is the key, it->second the value.
  [[nodiscard]] const_iterator begin() const noexcept { return entries_.begin(); }
  [[nodiscard]] const_iterator end() const noexcept { return entries_.end(); }

  friend bool operator==(const Dictionary& a, const Dictionary& b);

 private:
  [[nodiscard]] std::ptrdiff_t position(std::u16string_view key, std::uint32_t hash) const;
  Value& append(SharedString key, Value value, std::uint32_t hash);

  std::vector<Entry> entries_;
  // Empty until the dictionary grows past kIndexThreshold entries; then the
  // entries' positions by the low 32 bits of their keys' hashes.
  OpenAddressingIndex<std::uint32_t> index_;
};

}  // namespace fw::plist
