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

#include <tsl/ordered_map.h>

namespace fw::plist {

enum class Kind : std::uint8_t { Boolean, Integer, Real, String, Date, Data, Uid, Array, Dictionary };

// An immutable UTF-16 string whose copies share one buffer.
class SharedString {
 public:
  SharedString();
  explicit SharedString(std::u16string_view text);
  SharedString(const SharedString& other) noexcept;
  SharedString(SharedString&& other) noexcept;
  SharedString& operator=(const SharedString& other) noexcept;
  SharedString& operator=(SharedString&& other) noexcept;
  ~SharedString();

  [[nodiscard]] std::u16string_view view() const noexcept;
  [[nodiscard]] std::size_t size() const noexcept { return view().size(); }
  // Identity of the buffer: equal pointers mean equal text.
  [[nodiscard]] const void* identity() const noexcept { return rep_; }

  friend bool operator==(const SharedString& a, const SharedString& b) noexcept {
    return a.rep_ == b.rep_ || a.view() == b.view();
  }

 private:
  struct Rep;
  Rep* rep_;
};

struct SharedStringHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view s) const noexcept;
  std::size_t operator()(const SharedString& s) const noexcept { return (*this)(s.view()); }
};
struct SharedStringEqual {
  using is_transparent = void;
  bool operator()(const SharedString& a, const SharedString& b) const noexcept { return a == b; }
  bool operator()(const SharedString& a, std::u16string_view b) const noexcept { return a.view() == b; }
  bool operator()(std::u16string_view a, const SharedString& b) const noexcept { return a == b.view(); }
};

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

  Kind kind_ = Kind::Boolean;
  bool unsigned_ = false;
  union {
    bool b;
    std::int64_t i;
    std::uint64_t u;
    double d;
    SharedString* s;
    std::shared_ptr<const std::vector<std::uint8_t>>* data;
    Array* a;
    Dictionary* dict;
  } p_{};
};

// String keys to values, in file or insertion order.
class Dictionary {
 public:
  using Map = tsl::ordered_map<SharedString, Value, SharedStringHash, SharedStringEqual,
                               std::allocator<std::pair<SharedString, Value>>,
                               std::vector<std::pair<SharedString, Value>>>;
  using const_iterator = Map::const_iterator;

  Dictionary() = default;

  [[nodiscard]] std::size_t size() const noexcept { return map_.size(); }
  [[nodiscard]] bool empty() const noexcept { return map_.empty(); }
  void reserve(std::size_t n) { map_.reserve(n); }

  [[nodiscard]] const Value* find(std::u16string_view key) const;
  [[nodiscard]] Value* find(std::u16string_view key);
  [[nodiscard]] bool contains(std::u16string_view key) const { return find(key) != nullptr; }

  // Inserts, or replaces the value of an existing key in place.
  Value& set(std::u16string_view key, Value value);
  Value& set(SharedString key, Value value);

  // Entries in order: it->first is the key, it->second the value.
  [[nodiscard]] const_iterator begin() const noexcept { return map_.begin(); }
  [[nodiscard]] const_iterator end() const noexcept { return map_.end(); }

  friend bool operator==(const Dictionary& a, const Dictionary& b);

 private:
  Map map_;
};

}  // namespace fw::plist
