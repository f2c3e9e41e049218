#include "platform/plist/value.h"

#include <cstring>
#include <new>

namespace fw::plist {

Value Value::boolean(bool b) {
  Value v(nullptr);
  v.kind_ = Kind::Boolean;
  v.p_.b = b;
  return v;
}

Value Value::integer(std::int64_t i) {
  Value v(nullptr);
  v.kind_ = Kind::Integer;
  v.p_.i = i;
  return v;
}

Value Value::unsignedInteger(std::uint64_t u) {
  Value v(nullptr);
  v.kind_ = Kind::Integer;
  v.p_.u = u;
  v.unsigned_ = u > static_cast<std::uint64_t>(INT64_MAX);
  return v;
}

Value Value::real(double d) {
  Value v(nullptr);
  v.kind_ = Kind::Real;
  v.p_.d = d;
  return v;
}

Value Value::string(std::u16string_view s) { return string(SharedString(s)); }

Value Value::string(SharedString s) {
  Value v(nullptr);
  v.kind_ = Kind::String;
  new (&v.p_.s) SharedString(std::move(s));
  return v;
}

Value Value::date(Date d) {
  Value v(nullptr);
  v.kind_ = Kind::Date;
  v.p_.d = d.seconds;
  return v;
}

Value Value::data(std::span<const std::uint8_t> bytes) {
  return data(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

Value Value::data(std::string_view bytes) {
  return data(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                            bytes.size()));
}

Value Value::data(std::vector<std::uint8_t>&& bytes) {
  Value v(nullptr);
  v.kind_ = Kind::Data;
  v.p_.data = new std::shared_ptr<const std::vector<std::uint8_t>>(
      std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)));
  return v;
}

Value Value::uid(Uid u) {
  Value v(nullptr);
  v.kind_ = Kind::Uid;
  v.p_.u = u.value;
  return v;
}

Value Value::array(Array items) {
  Value v(nullptr);
  v.kind_ = Kind::Array;
  v.p_.a = new Array(std::move(items));
  return v;
}

Value Value::dictionary(Dictionary entries) {
  Value v(nullptr);
  v.kind_ = Kind::Dictionary;
  v.p_.dict = new Dictionary(std::move(entries));
  return v;
}

Value Value::dictionary() { return dictionary(Dictionary()); }

void Value::destroy() noexcept {
  switch (kind_) {
    case Kind::String: p_.s.~SharedString(); break;
    case Kind::Data: delete p_.data; break;
    case Kind::Array: delete p_.a; break;
    case Kind::Dictionary: delete p_.dict; break;
    default: break;
  }
  kind_ = Kind::Boolean;
  unsigned_ = false;
  p_.u = 0;
}

void Value::copyFrom(const Value& other) {
  switch (other.kind_) {
    case Kind::String: new (&p_.s) SharedString(other.p_.s); break;
    case Kind::Data:
      p_.data = new std::shared_ptr<const std::vector<std::uint8_t>>(*other.p_.data);
      break;
    case Kind::Array: p_.a = new Array(*other.p_.a); break;
    case Kind::Dictionary: p_.dict = new Dictionary(*other.p_.dict); break;
    default: p_.u = other.p_.u; break;
  }
  kind_ = other.kind_;
  unsigned_ = other.unsigned_;
}

// Every payload, the string's buffer pointer included, moves as its bits.
void Value::takeFrom(Value& other) noexcept {
  kind_ = other.kind_;
  unsigned_ = other.unsigned_;
  std::memcpy(static_cast<void*>(&p_), static_cast<const void*>(&other.p_), sizeof(p_));
  other.kind_ = Kind::Boolean;
  other.unsigned_ = false;
  other.p_.u = 0;
}

Value::Value(const Value& other) { copyFrom(other); }

Value::Value(Value&& other) noexcept { takeFrom(other); }

Value& Value::operator=(const Value& other) {
  if (this != &other) {
    Value copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    destroy();
    takeFrom(other);
  }
  return *this;
}

Value::~Value() { destroy(); }

std::optional<bool> Value::asBoolean() const {
  if (kind_ != Kind::Boolean) return std::nullopt;
  return p_.b;
}

std::optional<std::int64_t> Value::asInteger() const {
  if (kind_ != Kind::Integer || unsigned_) return std::nullopt;
  return p_.i;
}

std::optional<std::uint64_t> Value::asUnsigned() const {
  if (kind_ != Kind::Integer || (!unsigned_ && p_.i < 0)) return std::nullopt;
  return p_.u;
}

std::optional<double> Value::asReal() const {
  if (kind_ != Kind::Real) return std::nullopt;
  return p_.d;
}

std::optional<std::u16string_view> Value::asString() const {
  if (kind_ != Kind::String) return std::nullopt;
  return p_.s.view();
}

const SharedString* Value::asSharedString() const {
  return kind_ == Kind::String ? &p_.s : nullptr;
}

std::optional<Date> Value::asDate() const {
  if (kind_ != Kind::Date) return std::nullopt;
  return Date{p_.d};
}

std::optional<std::span<const std::uint8_t>> Value::asData() const {
  if (kind_ != Kind::Data) return std::nullopt;
  return std::span<const std::uint8_t>(**p_.data);
}

std::optional<Uid> Value::asUid() const {
  if (kind_ != Kind::Uid) return std::nullopt;
  return Uid{p_.u};
}

const Array* Value::asArray() const { return kind_ == Kind::Array ? p_.a : nullptr; }
Array* Value::asArray() { return kind_ == Kind::Array ? p_.a : nullptr; }
const Dictionary* Value::asDictionary() const {
  return kind_ == Kind::Dictionary ? p_.dict : nullptr;
}
Dictionary* Value::asDictionary() { return kind_ == Kind::Dictionary ? p_.dict : nullptr; }

bool operator==(const Value& a, const Value& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Kind::Boolean: return a.p_.b == b.p_.b;
    case Kind::Integer: return a.unsigned_ == b.unsigned_ && a.p_.u == b.p_.u;
    case Kind::Real:
    case Kind::Date: {
      std::uint64_t x, y;
      std::memcpy(&x, &a.p_.d, 8);
      std::memcpy(&y, &b.p_.d, 8);
      return x == y || a.p_.d == b.p_.d;
    }
    case Kind::String: return a.p_.s == b.p_.s;
    case Kind::Data: return **a.p_.data == **b.p_.data;
    case Kind::Uid: return a.p_.u == b.p_.u;
    case Kind::Array: return *a.p_.a == *b.p_.a;
    case Kind::Dictionary: return *a.p_.dict == *b.p_.dict;
  }
  return false;
}

namespace {

std::uint32_t keyHash(std::u16string_view key) {
  return static_cast<std::uint32_t>(SharedStringHash()(key));
}

}  // namespace

Dictionary::Dictionary(std::vector<Entry>&& entries) {
  // Repeated keys are rare; the common case keeps the caller's vector.
  const std::size_t n = entries.size();
  bool repeated = false;
  if (n <= kIndexThreshold) {
    for (std::size_t i = 1; i < n && !repeated; ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (entries[i].first == entries[j].first) {
          repeated = true;
          break;
        }
      }
    }
    if (!repeated) {
      entries_ = std::move(entries);
      return;
    }
  } else {
    // Each key is hashed once into a fresh index; a probe that meets an
    // equal key reveals a repeat, and only then is the slower path taken.
    entries_ = std::move(entries);
    index_.reserve(n);
    for (std::size_t i = 0; i < n && !repeated; ++i) {
      const SharedString& key = entries_[i].first;
      const std::uint32_t hash = keyHash(key.view());
      auto& slot =
          index_.findOrFree(hash, [&](std::uint32_t at) { return entries_[at].first == key; });
      repeated = slot.id != index_.kAbsent;
      if (!repeated) index_.fill(slot, hash, static_cast<std::uint32_t>(i));
    }
    if (!repeated) return;
    entries = std::move(entries_);
    entries_.clear();
    index_.clear();
  }
  entries_.reserve(n);
  for (Entry& e : entries) set(std::move(e.first), std::move(e.second));
  if (entries_.capacity() != entries_.size()) entries_.shrink_to_fit();
}

std::ptrdiff_t Dictionary::position(std::u16string_view key, std::uint32_t hash) const {
  if (index_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].first.view() == key) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  const std::uint32_t at =
      index_.find(hash, [&](std::uint32_t i) { return entries_[i].first.view() == key; });
  return at == index_.kAbsent ? -1 : static_cast<std::ptrdiff_t>(at);
}

Value& Dictionary::append(SharedString key, Value value, std::uint32_t hash) {
  entries_.emplace_back(std::move(key), std::move(value));
  if (!index_.empty()) {
    index_.insert(hash, static_cast<std::uint32_t>(entries_.size() - 1));
  } else if (entries_.size() > kIndexThreshold) {
    index_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      index_.insert(keyHash(entries_[i].first.view()), static_cast<std::uint32_t>(i));
    }
  }
  return entries_.back().second;
}

const Value* Dictionary::find(std::u16string_view key) const {
  const std::uint32_t hash = index_.empty() ? 0 : keyHash(key);
  const std::ptrdiff_t at = position(key, hash);
  return at < 0 ? nullptr : &entries_[static_cast<std::size_t>(at)].second;
}

Value* Dictionary::find(std::u16string_view key) {
  return const_cast<Value*>(static_cast<const Dictionary*>(this)->find(key));
}

// The hash is needed only once an index exists; append() builds the index
// itself when the dictionary first grows past the threshold.
Value& Dictionary::set(std::u16string_view key, Value value) {
  const std::uint32_t hash = index_.empty() ? 0 : keyHash(key);
  const std::ptrdiff_t at = position(key, hash);
  if (at >= 0) {
    Value& existing = entries_[static_cast<std::size_t>(at)].second;
    existing = std::move(value);
    return existing;
  }
  return append(SharedString(key), std::move(value), hash);
}

Value& Dictionary::set(SharedString key, Value value) {
  const std::uint32_t hash = index_.empty() ? 0 : keyHash(key.view());
  // Shared keys usually match on their buffer, before any text compare.
  std::ptrdiff_t at = -1;
  if (index_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].first == key) {
        at = static_cast<std::ptrdiff_t>(i);
        break;
      }
    }
  } else {
    at = position(key.view(), hash);
  }
  if (at >= 0) {
    Value& existing = entries_[static_cast<std::size_t>(at)].second;
    existing = std::move(value);
    return existing;
  }
  return append(std::move(key), std::move(value), hash);
}

bool operator==(const Dictionary& a, const Dictionary& b) {
  if (a.size() != b.size()) return false;
  auto i = a.begin();
  auto j = b.begin();
  for (; i != a.end(); ++i, ++j) {
    if (!(i->first == j->first) || !(i->second == j->second)) return false;
  }
  return true;
}

}  // namespace fw::plist
