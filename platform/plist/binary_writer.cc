#include "platform/plist/binary_writer.h"

#include <algorithm>
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

// Open addressing from a string's text to its object number. A slot is 32
// bits of the hash, which also place it, and the number; the text is the
// numbered object's own, so growing needs no text and the table stays at
// eight bytes a slot.
class StringTable {
 public:
  struct Slot {
    std::uint32_t hash;
    std::uint32_t id;
  };

  void reserve(std::size_t strings) {
    std::size_t size = 1024;
    while (size < strings * 2) size *= 2;
    if (size > slots_.size()) rehash(size);
  }

  // The slot for which `equal(id)` holds among those with `hash`, or the
  // empty slot where such an entry belongs (to be filled by the caller).
  template <typename Equal>
  Slot& find(std::uint32_t hash, Equal&& equal) {
    if ((used_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 1024 : slots_.size() * 2);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.id == kNone || (s.hash == hash && equal(s.id))) return s;
    }
  }

  void prefetch(std::uint32_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
  }

  void fill(Slot& s, std::uint32_t hash, std::uint32_t id) {
    s = {hash, id};
    ++used_;
  }

  void release() {
    std::vector<Slot>().swap(slots_);
    mask_ = 0;
    used_ = 0;
  }

 private:
  void rehash(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{0, kNone});
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

// Sixteen bytes an object. `word` is the scalar's bits (integer, real or
// date bits, UID), the first reference of a container, or the address of a
// string's text or of a data Value; `count` a string's units or a
// container's items.
struct Entry {
  std::uint64_t word;
  std::uint32_t count;
  Obj type;

  [[nodiscard]] const void* ptr() const { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(word)); }
};
static_assert(sizeof(Entry) == 16);

std::uint64_t wordOf(const void* p) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p)); }

}  // namespace

// Numbers objects in the order they are added and writes them out. Shared by
// the Value writer and the public builder, so both give the same bytes for
// the same sequence of objects.
class BinaryObjectTable {
 public:
  explicit BinaryObjectTable(std::string* reason) : reason_(reason) {}

  void reserve(std::size_t objects, std::size_t references) {
    entries_.reserve(objects);
    refs_.reserve(references);
  }
  void reserveStrings(std::size_t strings) {
    strings_.reserve(strings);
    owned_.reserve(strings);
  }

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] std::size_t objectCount() const { return entries_.size(); }

  bool fail(std::string why) {
    if (!failed_ && reason_) *reason_ = std::move(why);
    failed_ = true;
    return false;
  }

  std::uint32_t addBoolean(bool b) {
    std::uint32_t& id = b ? trueId_ : falseId_;
    if (id == kNone) id = add({0, 0, b ? Obj::True : Obj::False}, 1);
    return id;
  }

  static std::uint32_t stringHash(std::u16string_view text) {
    return static_cast<std::uint32_t>(hashBytes(text.data(), text.size() * 2, 0x5354));
  }

  // `owner`, when given, holds `text` and is kept until the table goes, so
  // the caller need not keep it alive.
  std::uint32_t addString(std::u16string_view text, const SharedString* owner = nullptr) {
    if (isLastString(text)) return lastStringId_;
    return addString(text, stringHash(text), owner);
  }

  // Adds `count` strings as references `first`.. of `container`, numbered as
  // by addString one after another. Their hashes are taken ahead, so each
  // string's slot is fetched while earlier strings are still being placed.
  void addStringReferences(std::uint32_t container, std::size_t first, const SharedString* const* strings,
                           std::size_t count) {
    constexpr std::size_t kChunk = 256;
    constexpr std::size_t kAhead = 8;
    std::uint32_t hashes[kChunk];
    for (std::size_t at = 0; at < count && !failed_; at += kChunk) {
      const std::size_t n = std::min(kChunk, count - at);
      const SharedString* const* chunk = strings + at;
      for (std::size_t i = 0; i < n; ++i) {
        const std::u16string_view text = chunk[i]->view();
        const bool repeat = i > 0 && text.data() == chunk[i - 1]->view().data();
        hashes[i] = repeat ? hashes[i - 1] : stringHash(text);
      }
      for (std::size_t i = 0; i < n && i < kAhead; ++i) strings_.prefetch(hashes[i]);
      for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) strings_.prefetch(hashes[i + kAhead]);
        const std::u16string_view text = chunk[i]->view();
        const std::uint32_t id = isLastString(text) ? lastStringId_ : addString(text, hashes[i], chunk[i]);
        if (failed_) return;
        setReference(container, first + at + i, id);
      }
    }
  }

  std::uint32_t addString(std::u16string_view text, std::uint32_t hash, const SharedString* owner) {
    StringTable::Slot& slot = strings_.find(hash, [&](std::uint32_t id) {
      const Entry& e = entries_[id];
      return e.count == text.size() &&
             (e.ptr() == text.data() || std::memcmp(e.ptr(), text.data(), text.size() * sizeof(char16_t)) == 0);
    });
    std::uint32_t id = slot.id;
    if (id == kNone) {
      if (text.size() >= kNone) return fail("a string longer than 2^32 units"), 0;
      bool ascii = true;
      for (char16_t c : text) ascii = ascii && c < 0x80;
      const std::uint64_t bytes = headerSize(text.size()) + text.size() * (ascii ? 1 : 2);
      id = add({wordOf(text.data()), static_cast<std::uint32_t>(text.size()), ascii ? Obj::Ascii : Obj::Utf16},
               bytes);
      if (failed_) return 0;
      strings_.fill(slot, hash, id);
      if (owner != nullptr) owned_.push_back(*owner);
    } else if (owner != nullptr && entries_[id].ptr() != text.data()) {
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

  std::uint32_t addScalar(Obj type, std::uint64_t bits, std::uint64_t bytes) {
    const std::uint64_t hash = mix(bits ^ (static_cast<std::uint64_t>(type) << 56) ^ rotl(bits, 17));
    std::uint32_t id = scalars_.find(hash, [&](std::uint32_t i) {
      return entries_[i].type == type && entries_[i].word == bits;
    });
    if (id == kNone) {
      id = add({bits, 0, type}, bytes);
      scalars_.insert(hash, id);
    }
    return id;
  }

  std::uint32_t addData(const Value& v) {
    const auto bytes = *v.asData();
    const std::uint64_t hash = hashBytes(bytes.data(), bytes.size(), 0x4441);
    std::uint32_t id = data_.find(hash, [&](std::uint32_t i) {
      const auto other = *static_cast<const Value*>(entries_[i].ptr())->asData();
      return other.size() == bytes.size() &&
             (bytes.empty() || std::memcmp(other.data(), bytes.data(), bytes.size()) == 0);
    });
    if (id == kNone) {
      id = add({wordOf(&v), 0, Obj::Data}, headerSize(bytes.size()) + bytes.size());
      data_.insert(hash, id);
    }
    return id;
  }

  // A container of `count` items (dictionaries: keys then values, 2 * count
  // references), its references to be set with setReference.
  std::uint32_t addContainer(bool dictionary, std::size_t count) {
    const std::size_t refs = dictionary ? count * 2 : count;
    if (count >= kNone || refs_.size() + refs >= kNone) return fail("more objects than the writer can number"), 0;
    const std::uint32_t id = add({refs_.size(), static_cast<std::uint32_t>(count), dictionary ? Obj::Dict : Obj::Array},
                                 headerSize(count), refs);
    refs_.resize(refs_.size() + refs, 0);
    return id;
  }

  // Sets reference `index` of `container`; false (and nothing set) when
  // either is out of range, or when `object` is a container numbered no
  // later than `container`: containers only lead to later ones, so no file
  // written here holds a cycle.
  bool setReference(std::uint32_t container, std::size_t index, std::uint32_t object) {
    if (!holdsReference(container, index) || object >= entries_.size()) return false;
    const Obj target = entries_[object].type;
    if ((target == Obj::Array || target == Obj::Dict) && object <= container) return false;
    refs_[entries_[container].word + index] = object;
    return true;
  }

  // Whether `container` is one and has a reference `index`.
  [[nodiscard]] bool holdsReference(std::uint32_t container, std::size_t index) const {
    if (container >= entries_.size()) return false;
    const Entry& e = entries_[container];
    if (e.type != Obj::Array && e.type != Obj::Dict) return false;
    return index < (e.type == Obj::Array ? e.count : std::size_t{e.count} * 2);
  }
  std::uint32_t* references(std::uint32_t container) { return refs_.data() + entries_[container].word; }

 private:
  // Runs of one shared buffer (a folder's path for each of its files) are
  // answered without hashing: the last text is alive and unchanged until the
  // output is written (held by the caller's Value, or kept here), so the same
  // address means the same text.
  [[nodiscard]] bool isLastString(std::u16string_view text) const {
    return text.data() == lastText_ && text.size() == lastCount_ && lastStringId_ != kNone;
  }

 public:

  std::optional<std::vector<std::uint8_t>> finish() {
    if (failed_) return std::nullopt;
    if (entries_.empty()) return fail("no objects to write"), std::nullopt;
    // Lookups are over; their tables go before the output is allocated.
    strings_.release();
    scalars_ = IdTable();
    data_ = IdTable();
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
        const std::size_t w = static_cast<std::int64_t>(e.word) < 0 ? 8 : intWidth(e.word);
        *p++ = static_cast<std::uint8_t>(0x10 | log2Width(w));
        return putBigEndian(p, e.word, w);
      }
      case Obj::BigInt:
        *p++ = 0x14;
        p = putBigEndian(p, 0, 8);
        return putBigEndian(p, e.word, 8);
      case Obj::Real: *p++ = 0x23; return putBigEndian(p, e.word, 8);
      case Obj::Date: *p++ = 0x33; return putBigEndian(p, e.word, 8);
      case Obj::Uid: {
        const std::size_t w = intWidth(e.word);
        *p++ = static_cast<std::uint8_t>(0x80 | (w - 1));
        return putBigEndian(p, e.word, w);
      }
      case Obj::Data: {
        const auto bytes = *static_cast<const Value*>(e.ptr())->asData();
        p = putHeader(p, 0x4, bytes.size());
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        return p + bytes.size();
      }
      case Obj::Ascii: {
        // Locals, so that stores through `p` are not taken to change them.
        const auto* s = static_cast<const char16_t*>(e.ptr());
        const std::size_t n = e.count;
        p = putHeader(p, 0x5, n);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(s[i]);
        return p + n;
      }
      case Obj::Utf16: {
        const auto* s = static_cast<const char16_t*>(e.ptr());
        const std::size_t n = e.count;
        p = putHeader(p, 0x6, n);
        for (std::size_t i = 0; i < n; ++i) {
          p[2 * i] = static_cast<std::uint8_t>(s[i] >> 8);
          p[2 * i + 1] = static_cast<std::uint8_t>(s[i]);
        }
        return p + 2 * n;
      }
      case Obj::Array:
      case Obj::Dict: {
        p = putHeader(p, e.type == Obj::Array ? 0xA : 0xD, e.count);
        const std::size_t refs = e.type == Obj::Array ? e.count : std::size_t{e.count} * 2;
        const std::uint32_t* r = refs_.data() + e.word;
        const std::size_t w = refSize_;
        if (w == 1) {
          for (std::size_t i = 0; i < refs; ++i) p[i] = static_cast<std::uint8_t>(r[i]);
          return p + refs;
        }
        for (std::size_t i = 0; i < refs; ++i) p = putBigEndian(p, r[i], w);
        return p;
      }
    }
    return p;
  }

  // Numbers a new object of `bytes` bytes plus `refs` references.
  std::uint32_t add(Entry e, std::uint64_t bytes, std::uint64_t refs = 0) {
    if (entries_.size() >= kNone - 1) return fail("more objects than the writer can number"), 0;
    objectBytes_ += bytes;
    lastBytes_ = bytes;
    lastRefs_ = refs;
    entries_.push_back(e);
    return static_cast<std::uint32_t>(entries_.size() - 1);
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
  std::vector<SharedString> owned_;  // the texts of strings added with an owner
  const char16_t* lastText_ = nullptr;
  std::size_t lastCount_ = 0;
  std::uint32_t lastStringId_ = kNone;
  std::uint32_t trueId_ = kNone;
  std::uint32_t falseId_ = kNone;
};

namespace {

class Writer {
 public:
  explicit Writer(std::string* reason) : table_(reason) {}

  std::optional<std::vector<std::uint8_t>> run(const Value& root) {
    // A first walk counts nodes and references, so that nothing grows while
    // the objects are numbered.
    std::uint64_t nodes = 0;
    std::uint64_t refs = 0;
    count(root, 0, &nodes, &refs);
    if (table_.failed()) return std::nullopt;
    if (nodes >= kNone || refs >= kNone) return table_.fail("more objects than the writer can number"), std::nullopt;
    table_.reserve(static_cast<std::size_t>(nodes), static_cast<std::size_t>(refs));
    visit(root);
    return table_.finish();
  }

 private:
  static std::uint64_t doubleBits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
  }

  std::uint32_t visit(const Value& v) {
    if (table_.failed()) return 0;
    switch (v.kind()) {
      case Kind::Boolean: return table_.addBoolean(*v.asBoolean());
      case Kind::Integer: {
        if (v.isBigUnsigned()) return table_.addScalar(Obj::BigInt, *v.asUnsigned(), 17);
        const std::int64_t i = *v.asInteger();
        const auto bits = static_cast<std::uint64_t>(i);
        return table_.addScalar(Obj::Int, bits, 1 + (i < 0 ? 8 : intWidth(bits)));
      }
      case Kind::Real: return table_.addScalar(Obj::Real, doubleBits(*v.asReal()), 9);
      case Kind::Date: return table_.addScalar(Obj::Date, doubleBits(v.asDate()->seconds), 9);
      case Kind::Uid: {
        const std::uint64_t u = v.asUid()->value;
        return table_.addScalar(Obj::Uid, u, 1 + intWidth(u));
      }
      case Kind::String: return table_.addString(v.asSharedString()->view());
      case Kind::Data: return table_.addData(v);
      case Kind::Array: {
        const Array& items = *v.asArray();
        const std::uint32_t id = table_.addContainer(false, items.size());
        if (table_.failed()) return 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
          const std::uint32_t item = visit(items[i]);
          table_.references(id)[i] = item;
        }
        return id;
      }
      case Kind::Dictionary: {
        const Dictionary& dict = *v.asDictionary();
        const std::uint32_t id = table_.addContainer(true, dict.size());
        if (table_.failed()) return 0;
        std::size_t i = 0;
        for (const auto& entry : dict) {
          const std::uint32_t key = table_.addString(entry.first.view());
          table_.references(id)[i++] = key;
        }
        for (const auto& entry : dict) {
          const std::uint32_t value = visit(entry.second);
          table_.references(id)[i++] = value;
        }
        return id;
      }
    }
    return 0;
  }

  void count(const Value& v, std::size_t depth, std::uint64_t* nodes, std::uint64_t* refs) {
    ++*nodes;
    if (const Array* items = v.asArray()) {
      if (depth >= kBinaryMaxDepth) return void(table_.fail("nesting deeper than 512 containers"));
      *refs += items->size();
      for (const Value& item : *items) count(item, depth + 1, nodes, refs);
    } else if (const Dictionary* dict = v.asDictionary()) {
      if (depth >= kBinaryMaxDepth) return void(table_.fail("nesting deeper than 512 containers"));
      *refs += dict->size() * 2;
      *nodes += dict->size();
      for (const auto& entry : *dict) count(entry.second, depth + 1, nodes, refs);
    }
  }

  BinaryObjectTable table_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(const Value& root, std::string* reason) {
  Writer writer(reason);
  return writer.run(root);
}

BinaryPropertyListBuilder::BinaryPropertyListBuilder() : table_(std::make_unique<BinaryObjectTable>(&reason_)) {}
BinaryPropertyListBuilder::~BinaryPropertyListBuilder() = default;

void BinaryPropertyListBuilder::reserve(std::size_t objects, std::size_t references, std::size_t strings) {
  table_->reserve(objects, references);
  table_->reserveStrings(strings);
}

std::uint32_t BinaryPropertyListBuilder::addString(const SharedString& text) {
  return table_->addString(text.view(), &text);
}

std::uint32_t BinaryPropertyListBuilder::addArray(std::size_t count) { return table_->addContainer(false, count); }

std::uint32_t BinaryPropertyListBuilder::addDictionary(std::size_t count) { return table_->addContainer(true, count); }

void BinaryPropertyListBuilder::setStringReferences(std::uint32_t container, std::size_t first,
                                                    const SharedString* const* strings, std::size_t count) {
  if (table_->failed()) return;
  if (count == 0) return;
  if (!table_->holdsReference(container, first) || !table_->holdsReference(container, first + count - 1)) {
    table_->fail("a reference outside its container or to no object");
    return;
  }
  table_->addStringReferences(container, first, strings, count);
}

void BinaryPropertyListBuilder::setReference(std::uint32_t container, std::size_t index, std::uint32_t object) {
  if (!table_->failed() && !table_->setReference(container, index, object)) {
    table_->fail("a reference outside its container, to no object, or back to an earlier container");
  }
}

std::optional<std::vector<std::uint8_t>> BinaryPropertyListBuilder::finish(std::string* reason) {
  std::optional<std::vector<std::uint8_t>> out = table_->finish();
  if (!out && reason) *reason = reason_;
  table_ = std::make_unique<BinaryObjectTable>(&reason_);
  return out;
}

}  // namespace fw::plist
