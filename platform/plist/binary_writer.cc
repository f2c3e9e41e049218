#include "platform/plist/binary_writer.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "platform/plist/binary_reader.h"

namespace fw::plist {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Bytes needed to hold `v` in big-endian form: 1 to 8.
std::size_t bytesFor(std::uint64_t v) {
  std::size_t n = 1;
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  return n;
}

// The integer widths the format allows: 1, 2, 4 or 8 bytes.
std::size_t intWidth(std::uint64_t v) {
  if (v <= 0xFF) return 1;
  if (v <= 0xFFFF) return 2;
  if (v <= 0xFFFFFFFFu) return 4;
  return 8;
}

std::size_t log2Width(std::size_t w) { return w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3; }

// Marker plus length: a count of 15 or more follows as an integer object.
std::size_t headerSize(std::uint64_t count) { return count < 15 ? 1 : 2 + intWidth(count); }

std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

// A fast hash over bytes, eight at a time; only used within one write.
std::uint64_t hashBytes(const void* data, std::size_t n, std::uint64_t seed) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15ull);
  while (n >= 8) {
    std::uint64_t k;
    std::memcpy(&k, p, 8);
    k *= 0x87c37b91114253d5ull;
    k = rotl(k, 31);
    k *= 0x4cf5ad432745937full;
    h ^= k;
    h = rotl(h, 27) * 5 + 0x52dce729;
    p += 8;
    n -= 8;
  }
  std::uint64_t k = 0;
  for (std::size_t i = 0; i < n; ++i) k |= std::uint64_t{p[i]} << (8 * i);
  h ^= k * 0x87c37b91114253d5ull;
  return mix(h);
}

// Open addressing from a 64-bit hash to an object number; the caller decides
// equality, so the table stores nothing but hashes and numbers.
class IdTable {
 public:
  template <typename Equal>
  std::uint32_t find(std::uint64_t hash, Equal&& equal) const {
    if (slots_.empty()) return kNone;
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.id == kNone) return kNone;
      if (s.hash == hash && equal(s.id)) return s.id;
    }
  }

  void insert(std::uint64_t hash, std::uint32_t id) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    std::size_t i = hash & mask_;
    while (slots_[i].id != kNone) i = (i + 1) & mask_;
    slots_[i] = {hash, id};
    ++used_;
  }

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint32_t id;
  };

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{0, kNone});
    mask_ = slots_.size() - 1;
    for (const Slot& s : old) {
      if (s.id == kNone) continue;
      std::size_t i = s.hash & mask_;
      while (slots_[i].id != kNone) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

// Open addressing from a string's text to its object number. Each slot also
// keeps the identity of the buffer that made the entry, so that copies of one
// string (which share their buffer) are found without comparing text. Slots
// hold 32 bits of the hash, which also place them, so growing needs no text.
class StringTable {
 public:
  struct Slot {
    const void* identity;
    std::uint32_t hash;
    std::uint32_t id;
  };

  // The slot for which `equal(slot)` holds among those with `hash`, or the
  // empty slot where such an entry belongs (to be filled by the caller).
  template <typename Equal>
  Slot& find(std::uint32_t hash, Equal&& equal) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.id == kNone || (s.hash == hash && equal(s))) return s;
    }
  }

  void fill(Slot& s, std::uint32_t hash, const void* identity, std::uint32_t id) {
    s = {identity, hash, id};
    ++used_;
  }

 private:
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{nullptr, 0, kNone});
    mask_ = slots_.size() - 1;
    for (const Slot& s : old) {
      if (s.id == kNone) continue;
      std::size_t i = s.hash & mask_;
      while (slots_[i].id != kNone) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

enum class Obj : std::uint8_t { False, True, Int, BigInt, Real, Date, Uid, Data, Ascii, Utf16, Array, Dict };

struct Entry {
  const void* ptr;  // the Value; for strings their text, `count` units long
  std::uint64_t bits;  // scalar payload (integer, real or date bits, UID)
  std::uint32_t refsStart;
  std::uint32_t count;
  Obj type;
};

class Writer {
 public:
  explicit Writer(std::string* reason) : reason_(reason) {}

  std::optional<std::vector<std::uint8_t>> run(const Value& root) {
    // A first walk counts nodes and references, so that nothing grows while
    // the objects are numbered.
    std::uint64_t nodes = 0;
    std::uint64_t refs = 0;
    count(root, 0, &nodes, &refs);
    if (failed_) return std::nullopt;
    if (nodes >= kNone || refs >= kNone) return fail("more objects than the writer can number"), std::nullopt;
    entries_.reserve(static_cast<std::size_t>(nodes));
    refs_.reserve(static_cast<std::size_t>(refs));
    visit(root, 0);
    if (failed_) return std::nullopt;

    // Every object's size is known now, so the output is allocated once, at
    // its exact size, and each offset goes straight into the table.
    const std::uint64_t n = entries_.size();
    refSize_ = bytesFor(n - 1);
    const std::uint64_t tableOffset = 8 + objectBytes_ + refs_.size() * refSize_;
    const std::uint64_t lastOffset = tableOffset - lastBytes_ - lastRefs_ * refSize_;
    const std::size_t offsetSize = bytesFor(lastOffset);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(tableOffset + n * offsetSize + 32));
    std::memcpy(out.data(), "bplist00", 8);
    std::uint8_t* base = out.data();
    std::uint8_t* p = base + 8;
    std::uint8_t* table = base + tableOffset;
    for (const Entry& e : entries_) {
      table = putBigEndian(table, static_cast<std::uint64_t>(p - base), offsetSize);
      p = writeEntry(p, e);
    }
    p = table;
    std::memset(p, 0, 6);
    p += 6;
    *p++ = static_cast<std::uint8_t>(offsetSize);
    *p++ = static_cast<std::uint8_t>(refSize_);
    p = putBigEndian(p, n, 8);
    p = putBigEndian(p, 0, 8);
    putBigEndian(p, tableOffset, 8);
    return out;
  }

 private:
  static std::uint8_t* putBigEndian(std::uint8_t* p, std::uint64_t v, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
    return p + width;
  }

  static std::uint8_t* putHeader(std::uint8_t* p, std::uint8_t type, std::uint64_t count) {
    if (count < 15) {
      *p++ = static_cast<std::uint8_t>((type << 4) | count);
      return p;
    }
    *p++ = static_cast<std::uint8_t>((type << 4) | 0x0F);
    const std::size_t w = intWidth(count);
    *p++ = static_cast<std::uint8_t>(0x10 | log2Width(w));
    return putBigEndian(p, count, w);
  }

  std::uint8_t* writeEntry(std::uint8_t* p, const Entry& e) {
    switch (e.type) {
      case Obj::False: *p++ = 0x08; return p;
      case Obj::True: *p++ = 0x09; return p;
      case Obj::Int: {
        // Negative integers are written as 8-byte two's complement.
        const std::size_t w = static_cast<std::int64_t>(e.bits) < 0 ? 8 : intWidth(e.bits);
        *p++ = static_cast<std::uint8_t>(0x10 | log2Width(w));
        return putBigEndian(p, e.bits, w);
      }
      case Obj::BigInt:
        *p++ = 0x14;
        p = putBigEndian(p, 0, 8);
        return putBigEndian(p, e.bits, 8);
      case Obj::Real: *p++ = 0x23; return putBigEndian(p, e.bits, 8);
      case Obj::Date: *p++ = 0x33; return putBigEndian(p, e.bits, 8);
      case Obj::Uid: {
        const std::size_t w = intWidth(e.bits);
        *p++ = static_cast<std::uint8_t>(0x80 | (w - 1));
        return putBigEndian(p, e.bits, w);
      }
      case Obj::Data: {
        const auto bytes = *static_cast<const Value*>(e.ptr)->asData();
        p = putHeader(p, 0x4, bytes.size());
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        return p + bytes.size();
      }
      case Obj::Ascii: {
        const std::u16string_view s(static_cast<const char16_t*>(e.ptr), e.count);
        p = putHeader(p, 0x5, s.size());
        for (char16_t c : s) *p++ = static_cast<std::uint8_t>(c);
        return p;
      }
      case Obj::Utf16: {
        const std::u16string_view s(static_cast<const char16_t*>(e.ptr), e.count);
        p = putHeader(p, 0x6, s.size());
        for (char16_t c : s) {
          *p++ = static_cast<std::uint8_t>(c >> 8);
          *p++ = static_cast<std::uint8_t>(c);
        }
        return p;
      }
      case Obj::Array:
      case Obj::Dict: {
        p = putHeader(p, e.type == Obj::Array ? 0xA : 0xD, e.count);
        const std::size_t refs = e.type == Obj::Array ? e.count : std::size_t{e.count} * 2;
        const std::uint32_t* r = refs_.data() + e.refsStart;
        if (refSize_ == 1) {
          for (std::size_t i = 0; i < refs; ++i) *p++ = static_cast<std::uint8_t>(r[i]);
        } else {
          for (std::size_t i = 0; i < refs; ++i) p = putBigEndian(p, r[i], refSize_);
        }
        return p;
      }
    }
    return p;
  }

  bool fail(std::string why) {
    if (!failed_ && reason_) *reason_ = std::move(why);
    failed_ = true;
    return false;
  }

  // Numbers a new object of `bytes` bytes plus `refs` references.
  std::uint32_t add(Entry e, std::uint64_t bytes, std::uint64_t refs = 0) {
    objectBytes_ += bytes;
    lastBytes_ = bytes;
    lastRefs_ = refs;
    entries_.push_back(e);
    return static_cast<std::uint32_t>(entries_.size() - 1);
  }

  std::uint32_t visitString(const SharedString& s) {
    const void* identity = s.identity();
    const std::u16string_view text = s.view();
    const auto hash = static_cast<std::uint32_t>(hashBytes(text.data(), text.size() * 2, 0x5354));
    StringTable::Slot& slot = strings_.find(hash, [&](const StringTable::Slot& candidate) {
      if (candidate.identity == identity) return true;
      const Entry& e = entries_[candidate.id];
      return e.count == text.size() &&
             std::memcmp(e.ptr, text.data(), text.size() * sizeof(char16_t)) == 0;
    });
    if (slot.id != kNone) return slot.id;
    bool ascii = true;
    for (char16_t c : text) ascii = ascii && c < 0x80;
    const std::uint64_t bytes = headerSize(text.size()) + text.size() * (ascii ? 1 : 2);
    if (text.size() >= kNone) return fail("a string longer than 2^32 units"), 0;
    const std::uint32_t id = add({text.data(), 0, 0, static_cast<std::uint32_t>(text.size()),
                                  ascii ? Obj::Ascii : Obj::Utf16},
                                 bytes);
    strings_.fill(slot, hash, identity, id);
    return id;
  }

  std::uint32_t visitScalar(Obj type, std::uint64_t bits, std::uint64_t bytes) {
    const std::uint64_t hash = mix(bits ^ (static_cast<std::uint64_t>(type) << 56) ^ rotl(bits, 17));
    std::uint32_t id = scalars_.find(hash, [&](std::uint32_t i) {
      return entries_[i].type == type && entries_[i].bits == bits;
    });
    if (id == kNone) {
      id = add({nullptr, bits, 0, 0, type}, bytes);
      scalars_.insert(hash, id);
    }
    return id;
  }

  static std::uint64_t doubleBits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
  }

  std::uint32_t visit(const Value& v, std::size_t depth) {
    if (failed_) return 0;
    switch (v.kind()) {
      case Kind::Boolean: {
        const bool b = *v.asBoolean();
        std::uint32_t& id = b ? trueId_ : falseId_;
        if (id == kNone) id = add({nullptr, 0, 0, 0, b ? Obj::True : Obj::False}, 1);
        return id;
      }
      case Kind::Integer: {
        if (v.isBigUnsigned()) return visitScalar(Obj::BigInt, *v.asUnsigned(), 17);
        const std::int64_t i = *v.asInteger();
        const auto bits = static_cast<std::uint64_t>(i);
        return visitScalar(Obj::Int, bits, 1 + (i < 0 ? 8 : intWidth(bits)));
      }
      case Kind::Real: return visitScalar(Obj::Real, doubleBits(*v.asReal()), 9);
      case Kind::Date: return visitScalar(Obj::Date, doubleBits(v.asDate()->seconds), 9);
      case Kind::Uid: {
        const std::uint64_t u = v.asUid()->value;
        return visitScalar(Obj::Uid, u, 1 + intWidth(u));
      }
      case Kind::String: return visitString(*v.asSharedString());
      case Kind::Data: {
        const auto bytes = *v.asData();
        const std::uint64_t hash = hashBytes(bytes.data(), bytes.size(), 0x4441);
        std::uint32_t id = data_.find(hash, [&](std::uint32_t i) {
          const auto other = *static_cast<const Value*>(entries_[i].ptr)->asData();
          return other.size() == bytes.size() &&
                 (bytes.empty() || std::memcmp(other.data(), bytes.data(), bytes.size()) == 0);
        });
        if (id == kNone) {
          id = add({&v, 0, 0, 0, Obj::Data}, headerSize(bytes.size()) + bytes.size());
          data_.insert(hash, id);
        }
        return id;
      }
      case Kind::Array: {
        const Array& items = *v.asArray();
        const std::uint32_t id = add({&v, 0, 0, 0, Obj::Array}, headerSize(items.size()), items.size());
        const std::size_t start = reserveRefs(items.size());
        entries_[id].refsStart = static_cast<std::uint32_t>(start);
        entries_[id].count = static_cast<std::uint32_t>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) refs_[start + i] = visit(items[i], depth + 1);
        return id;
      }
      case Kind::Dictionary: {
        const Dictionary& dict = *v.asDictionary();
        const std::size_t n = dict.size();
        const std::uint32_t id = add({&v, 0, 0, 0, Obj::Dict}, headerSize(n), n * 2);
        const std::size_t start = reserveRefs(n * 2);
        entries_[id].refsStart = static_cast<std::uint32_t>(start);
        entries_[id].count = static_cast<std::uint32_t>(n);
        std::size_t i = start;
        for (const auto& entry : dict) refs_[i++] = visitString(entry.first);
        for (const auto& entry : dict) refs_[i++] = visit(entry.second, depth + 1);
        return id;
      }
    }
    return 0;
  }

  std::size_t reserveRefs(std::size_t n) {
    const std::size_t start = refs_.size();
    refs_.resize(start + n);
    return start;
  }

  void count(const Value& v, std::size_t depth, std::uint64_t* nodes, std::uint64_t* refs) {
    ++*nodes;
    if (const Array* items = v.asArray()) {
      if (depth >= kBinaryMaxDepth) return void(fail("nesting deeper than 512 containers"));
      *refs += items->size();
      for (const Value& item : *items) count(item, depth + 1, nodes, refs);
    } else if (const Dictionary* dict = v.asDictionary()) {
      if (depth >= kBinaryMaxDepth) return void(fail("nesting deeper than 512 containers"));
      *refs += dict->size() * 2;
      *nodes += dict->size();
      for (const auto& entry : *dict) count(entry.second, depth + 1, nodes, refs);
    }
  }

  std::string* reason_;
  bool failed_ = false;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> refs_;
  std::uint64_t objectBytes_ = 0;
  std::uint64_t lastBytes_ = 0;  // of the last object numbered, and
  std::uint64_t lastRefs_ = 0;   // its references
  std::size_t refSize_ = 1;
  StringTable strings_;
  IdTable scalars_;
  IdTable data_;
  std::uint32_t trueId_ = kNone;
  std::uint32_t falseId_ = kNone;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(const Value& root, std::string* reason) {
  Writer writer(reason);
  return writer.run(root);
}

}  // namespace fw::plist
