#include "platform/plist/binary/object_table.h"

#include <algorithm>
#include <cstring>

#include "platform/plist/binary/format.h"

namespace fw::plist {
namespace {

// Marker plus length: a count of 15 or more follows as an integer object.
std::uint64_t headerSize(std::uint64_t count) {
  return count < bplist::kCountFollows ? 1 : 2 + bplist::intWidth(count);
}

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

std::uint64_t wordOf(const void* p) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

// Grows `v` to room for `more` beyond its size, at least doubling, so that
// many small reservations cost no more than pushing back.
template <typename Vector>
void reserveMore(Vector& v, std::size_t more) {
  const std::size_t need = v.size() + more;
  if (need > v.capacity()) v.reserve(std::max(need, v.capacity() * 2));
}

}  // namespace

std::uint32_t BinaryObjectTable::stringHash(std::u16string_view text) {
  return static_cast<std::uint32_t>(hashBytes(text.data(), text.size() * sizeof(char16_t)));
}

void BinaryObjectTable::reserve(std::size_t objects, std::size_t references, std::size_t strings) {
  reserveMore(objects_, objects);
  reserveMore(refs_, references);
  if (strings > 0) strings_.reserve(strings_.size() + strings);
}

void BinaryObjectTable::fail(std::string why) {
  if (!failed_ && reason_) *reason_ = std::move(why);
  failed_ = true;
}

std::uint32_t BinaryObjectTable::add(BinaryObject object, std::uint64_t bytes) {
  if (objects_.size() >= kNone - 1) {
    fail("more objects than the writer can number");
    return 0;
  }
  objectBytes_ += bytes;
  lastBytes_ = bytes;
  objects_.push_back(object);
  return static_cast<std::uint32_t>(objects_.size() - 1);
}

std::uint32_t BinaryObjectTable::addBoolean(bool b) {
  std::uint32_t& id = b ? trueId_ : falseId_;
  if (id == kNone) id = add({0, 0, b ? ObjectKind::True : ObjectKind::False}, 1);
  return id;
}

std::uint32_t BinaryObjectTable::scalarHash(ObjectKind kind, std::uint64_t bits) {
  return static_cast<std::uint32_t>(
      mix(bits ^ (static_cast<std::uint64_t>(kind) << 56) ^ ((bits << 17) | (bits >> 47))));
}

std::uint32_t BinaryObjectTable::scalarId(ObjectKind kind, std::uint64_t bits) const {
  return scalarId(scalarHash(kind, bits), kind, bits);
}

std::uint32_t BinaryObjectTable::scalarId(std::uint32_t hash, ObjectKind kind,
                                          std::uint64_t bits) const {
  return scalars_.find(hash, [&](std::uint32_t i) { return isScalar(i, kind, bits); });
}

std::uint32_t BinaryObjectTable::addScalar(ObjectKind kind, std::uint64_t bits,
                                           std::uint64_t bytes) {
  const std::uint32_t hash = scalarHash(kind, bits);
  std::uint32_t id = scalarId(hash, kind, bits);
  if (id == kNone) {
    id = add({bits, 0, kind}, bytes);
    if (!failed_) scalars_.insert(hash, id);
  }
  return id;
}

bool BinaryObjectTable::isData(std::uint32_t id, std::span<const std::uint8_t> bytes) const {
  if (objects_.kind(id) != ObjectKind::Data) return false;
  const auto other = *static_cast<const Value*>(objects_[id].pointer())->asData();
  return other.size() == bytes.size() &&
         (bytes.empty() || std::memcmp(other.data(), bytes.data(), bytes.size()) == 0);
}

std::uint32_t BinaryObjectTable::dataHash(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(hashBytes(bytes.data(), bytes.size()));
}

std::uint32_t BinaryObjectTable::dataId(const Value& v) const {
  const auto bytes = *v.asData();
  return dataId(dataHash(bytes), bytes);
}

std::uint32_t BinaryObjectTable::dataId(std::uint32_t hash,
                                        std::span<const std::uint8_t> bytes) const {
  return data_.find(hash, [&](std::uint32_t i) { return isData(i, bytes); });
}

std::uint32_t BinaryObjectTable::addData(const Value& v) {
  const auto bytes = *v.asData();
  const std::uint32_t hash = dataHash(bytes);
  std::uint32_t id = dataId(hash, bytes);
  if (id == kNone) {
    id = add({wordOf(&v), 0, ObjectKind::Data}, headerSize(bytes.size()) + bytes.size());
    if (!failed_) data_.insert(hash, id);
  }
  return id;
}

bool BinaryObjectTable::isString(std::uint32_t id, std::u16string_view text) const {
  const BinaryObject o = objects_[id];
  if (o.kind != ObjectKind::Ascii && o.kind != ObjectKind::Utf16) return false;
  return o.count == text.size() &&
         (o.pointer() == text.data() ||
          std::memcmp(o.pointer(), text.data(), text.size() * sizeof(char16_t)) == 0);
}

std::uint32_t BinaryObjectTable::stringId(std::u16string_view text) const {
  if (isLastString(text)) return lastStringId_;
  return strings_.find(stringHash(text), [&](std::uint32_t id) { return isString(id, text); });
}

std::uint32_t BinaryObjectTable::addString(std::u16string_view text, const SharedString* owner) {
  if (isLastString(text)) return lastStringId_;
  return addString(text, stringHash(text), owner);
}

std::uint32_t BinaryObjectTable::addString(std::u16string_view text, std::uint32_t hash,
                                           const SharedString* owner) {
  auto& slot = strings_.findOrFree(hash, [&](std::uint32_t id) { return isString(id, text); });
  std::uint32_t id = slot.id;
  if (id == kNone) {
    if (text.size() >= kNone) {
      fail("a string longer than 2^32 units");
      return 0;
    }
    // Every unit's bits together, with no early exit, so that the loop runs
    // many units a step.
    char16_t bits = 0;
    for (char16_t c : text) bits |= c;
    const bool ascii = bits < 0x80;
    const std::uint64_t bytes = headerSize(text.size()) + text.size() * (ascii ? 1 : 2);
    id = add({wordOf(text.data()), static_cast<std::uint32_t>(text.size()),
              ascii ? ObjectKind::Ascii : ObjectKind::Utf16},
             bytes);
    if (failed_) return 0;
    strings_.fill(slot, hash, id);
    if (owner != nullptr && keepOwners_) owned_.push_back(*owner);
  } else if (owner != nullptr && objects_[id].pointer() != text.data()) {
    // An equal copy that nobody here keeps: its address may come back
    // holding other text, so it must not answer for later strings.
    lastStringId_ = kNone;
    return id;
  }
  lastText_ = text.data();
  lastCount_ = text.size();
  lastStringId_ = id;
  return id;
}

std::uint32_t BinaryObjectTable::addContainer(bool dictionary, std::size_t count) {
  const std::size_t refs = dictionary ? count * 2 : count;
  if (count >= kNone || referenceCount() + refs >= kNone) {
    fail("more objects than the writer can number");
    return 0;
  }
  const std::uint32_t id = add({refs_.size(), static_cast<std::uint32_t>(count),
                                dictionary ? ObjectKind::Dict : ObjectKind::Array},
                               headerSize(count));
  if (failed_) return 0;
  refs_.resize(refs_.size() + refs, 0);
  return id;
}

std::uint32_t BinaryObjectTable::addUnstoredContainer(bool dictionary, std::size_t count,
                                                      const void* owner) {
  const std::size_t refs = dictionary ? count * 2 : count;
  if (count >= kNone || referenceCount() + refs >= kNone) {
    fail("more objects than the writer can number");
    return 0;
  }
  const std::uint32_t id = add({wordOf(owner), static_cast<std::uint32_t>(count),
                                dictionary ? ObjectKind::Dict : ObjectKind::Array},
                               headerSize(count));
  if (!failed_) unstored_ += refs;
  return id;
}

bool BinaryObjectTable::setReference(std::uint32_t container, std::size_t index,
                                     std::uint32_t object) {
  // A table with unstored containers has no references to set.
  if (unstored_ > 0 || container >= objects_.size() || object >= objects_.size()) return false;
  const BinaryObject c = objects_[container];
  if (index >= c.references()) return false;
  if (objects_[object].isContainer() && object <= container) return false;
  refs_[c.word + index] = object;
  ++referencesSet_;
  return true;
}

void BinaryObjectTable::releaseLookups() {
  strings_.clear();
  scalars_.clear();
  data_.clear();
}

}  // namespace fw::plist
