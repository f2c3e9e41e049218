#include "platform/plist/value.h"

#include <atomic>
#include <cstring>
#include <new>

namespace fw::plist {

// One allocation holds the count, the length and the text.
struct SharedString::Rep {
  std::atomic<std::uint32_t> refs;
  std::uint32_t length;
  char16_t* text() { return reinterpret_cast<char16_t*>(this + 1); }
};

SharedString::SharedString() : rep_(nullptr) {}

SharedString::SharedString(std::u16string_view text) : rep_(nullptr) {
  if (text.empty()) return;
  void* raw = ::operator new(sizeof(Rep) + text.size() * sizeof(char16_t));
  rep_ = new (raw) Rep{{1}, static_cast<std::uint32_t>(text.size())};
  std::memcpy(rep_->text(), text.data(), text.size() * sizeof(char16_t));
}

SharedString::SharedString(const SharedString& other) noexcept : rep_(other.rep_) {
  if (rep_) rep_->refs.fetch_add(1, std::memory_order_relaxed);
}

SharedString::SharedString(SharedString&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }

SharedString& SharedString::operator=(const SharedString& other) noexcept {
  SharedString copy(other);
  std::swap(rep_, copy.rep_);
  return *this;
}

SharedString& SharedString::operator=(SharedString&& other) noexcept {
  std::swap(rep_, other.rep_);
  return *this;
}

SharedString::~SharedString() {
  if (rep_ && rep_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    rep_->~Rep();
    ::operator delete(rep_);
  }
}

std::u16string_view SharedString::view() const noexcept {
  if (!rep_) return {};
  return {rep_->text(), rep_->length};
}

std::size_t SharedStringHash::operator()(std::u16string_view s) const noexcept {
  // FNV-1a over code units: keys are short, and this needs no locale.
  std::uint64_t h = 1469598103934665603ull;
  for (char16_t c : s) {
    h ^= static_cast<std::uint64_t>(c);
    h *= 1099511628211ull;
  }
  return static_cast<std::size_t>(h ^ (h >> 29));
}

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
  v.p_.s = new SharedString(std::move(s));
  return v;
}

Value Value::date(Date d) {
  Value v(nullptr);
  v.kind_ = Kind::Date;
  v.p_.d = d.seconds;
  return v;
}

Value Value::data(std::span<const std::uint8_t> bytes) {
  Value v(nullptr);
  v.kind_ = Kind::Data;
  v.p_.data = new std::shared_ptr<const std::vector<std::uint8_t>>(
      std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end()));
  return v;
}

Value Value::data(std::string_view bytes) {
  return data(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
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
    case Kind::String: delete p_.s; break;
    case Kind::Data: delete p_.data; break;
    case Kind::Array: delete p_.a; break;
    case Kind::Dictionary: delete p_.dict; break;
    default: break;
  }
  kind_ = Kind::Boolean;
  p_.u = 0;
}

void Value::copyFrom(const Value& other) {
  kind_ = other.kind_;
  unsigned_ = other.unsigned_;
  switch (other.kind_) {
    case Kind::String: p_.s = new SharedString(*other.p_.s); break;
    case Kind::Data: p_.data = new std::shared_ptr<const std::vector<std::uint8_t>>(*other.p_.data); break;
    case Kind::Array: p_.a = new Array(*other.p_.a); break;
    case Kind::Dictionary: p_.dict = new Dictionary(*other.p_.dict); break;
    default: p_ = other.p_; break;
  }
}

Value::Value(const Value& other) { copyFrom(other); }

Value::Value(Value&& other) noexcept : kind_(other.kind_), unsigned_(other.unsigned_), p_(other.p_) {
  other.kind_ = Kind::Boolean;
  other.unsigned_ = false;
  other.p_.u = 0;
}

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
    kind_ = other.kind_;
    unsigned_ = other.unsigned_;
    p_ = other.p_;
    other.kind_ = Kind::Boolean;
    other.unsigned_ = false;
    other.p_.u = 0;
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
  return p_.s->view();
}

const SharedString* Value::asSharedString() const { return kind_ == Kind::String ? p_.s : nullptr; }

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
const Dictionary* Value::asDictionary() const { return kind_ == Kind::Dictionary ? p_.dict : nullptr; }
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
    case Kind::String: return *a.p_.s == *b.p_.s;
    case Kind::Data: return **a.p_.data == **b.p_.data;
    case Kind::Uid: return a.p_.u == b.p_.u;
    case Kind::Array: return *a.p_.a == *b.p_.a;
    case Kind::Dictionary: return *a.p_.dict == *b.p_.dict;
  }
  return false;
}

const Value* Dictionary::find(std::u16string_view key) const {
  const auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}

Value* Dictionary::find(std::u16string_view key) {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it.value();
}

Value& Dictionary::set(std::u16string_view key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return *existing;
  }
  return map_.insert({SharedString(key), std::move(value)}).first.value();
}

Value& Dictionary::set(SharedString key, Value value) {
  auto [it, inserted] = map_.try_emplace(std::move(key), std::move(value));
  if (!inserted) it.value() = std::move(value);
  return it.value();
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
