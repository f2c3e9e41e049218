// Lays numbered objects out as a file: every object's size is known before
// the first byte is written, so the file's length, and the widths of its
// references and offsets, are settled first. The objects are then encoded
// into a buffer of a fixed size that is handed on each time it fills (a long
// string or container a run of its items at a time), and
// their offsets follow in a second pass over the same sizes; an in-memory
// file is allocated once, at its exact size.

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/plist/binary/format.h"
#include "platform/plist/binary/object_table.h"

namespace fw::plist {
namespace {

std::uint8_t log2Width(std::size_t w) { return w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3; }

std::uint8_t* putBigEndian(std::uint8_t* p, std::uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
  return p + width;
}

std::uint64_t headerSize(std::uint64_t count) {
  return count < bplist::kCountFollows ? 1 : 2 + bplist::intWidth(count);
}

std::uint8_t* putHeader(std::uint8_t* p, bplist::Type type, std::uint64_t count) {
  if (count < bplist::kCountFollows) {
    *p++ = bplist::marker(type, static_cast<std::uint8_t>(count));
    return p;
  }
  *p++ = bplist::marker(type, bplist::kCountFollows);
  const std::size_t w = bplist::intWidth(count);
  *p++ = bplist::marker(bplist::kInteger, log2Width(w));
  return putBigEndian(p, count, w);
}

// The units of an ASCII string, one byte each. Eight at a time go through a
// local, so that the compiler narrows them together; kept out of line, where
// it does.
[[gnu::noinline]] std::uint8_t* putAscii(std::uint8_t* p, const char16_t* s, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint8_t units[8];
    for (std::size_t k = 0; k < 8; ++k) units[k] = static_cast<std::uint8_t>(s[i + k]);
    std::memcpy(p + i, units, 8);
  }
  for (; i < n; ++i) p[i] = static_cast<std::uint8_t>(s[i]);
  return p + n;
}

// The units of a UTF-16 string, big-endian; eight at a time, as above.
[[gnu::noinline]] std::uint8_t* putUtf16(std::uint8_t* p, const char16_t* s, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint8_t bytes[16];
    for (std::size_t k = 0; k < 8; ++k) {
      bytes[2 * k] = static_cast<std::uint8_t>(s[i + k] >> 8);
      bytes[2 * k + 1] = static_cast<std::uint8_t>(s[i + k]);
    }
    std::memcpy(p + 2 * i, bytes, 16);
  }
  for (; i < n; ++i) {
    p[2 * i] = static_cast<std::uint8_t>(s[i] >> 8);
    p[2 * i + 1] = static_cast<std::uint8_t>(s[i]);
  }
  return p + 2 * n;
}

std::span<const std::uint8_t> dataOf(const BinaryObject& o) {
  return *static_cast<const Value*>(o.pointer())->asData();
}

class Encoder {
 public:
  explicit Encoder(std::size_t refSize) : refSize_(refSize) {}

  // The bytes put() writes for `o`.
  [[nodiscard]] std::uint64_t size(const BinaryObject& o) const {
    switch (o.kind) {
      case ObjectKind::False:
      case ObjectKind::True: return 1;
      case ObjectKind::Int:
        return 1 + (static_cast<std::int64_t>(o.word) < 0 ? 8 : bplist::intWidth(o.word));
      case ObjectKind::BigInt: return 17;
      case ObjectKind::Real:
      case ObjectKind::Date: return 9;
      case ObjectKind::Uid: return 1 + bplist::intWidth(o.word);
      default: return headSize(o) + std::uint64_t{itemBytes(o)} * items(o);
    }
  }

  // `refs` are a container's references, null for any other object.
  std::uint8_t* put(std::uint8_t* p, const BinaryObject& o, const std::uint32_t* refs) const {
    switch (o.kind) {
      case ObjectKind::False: *p++ = bplist::kFalse; return p;
      case ObjectKind::True: *p++ = bplist::kTrue; return p;
      case ObjectKind::Int: {
        // Negative integers are written as 8-byte two's complement.
        const std::size_t w = static_cast<std::int64_t>(o.word) < 0 ? 8 : bplist::intWidth(o.word);
        *p++ = bplist::marker(bplist::kInteger, log2Width(w));
        return putBigEndian(p, o.word, w);
      }
      case ObjectKind::BigInt:
        *p++ = bplist::kInteger128;
        p = putBigEndian(p, 0, 8);
        return putBigEndian(p, o.word, 8);
      case ObjectKind::Real: *p++ = bplist::kReal64; return putBigEndian(p, o.word, 8);
      case ObjectKind::Date: *p++ = bplist::kDate64; return putBigEndian(p, o.word, 8);
      case ObjectKind::Uid: {
        const std::size_t w = bplist::intWidth(o.word);
        *p++ = bplist::marker(bplist::kUid, static_cast<std::uint8_t>(w - 1));
        return putBigEndian(p, o.word, w);
      }
      default: return putItems(putHead(p, o), o, refs, 0, items(o));
    }
  }

  // Strings, data and containers are a head (the marker and count) and
  // items of a fixed size each (units, bytes or references), so that one
  // larger than a piece can be put a run of items at a time.
  [[nodiscard]] std::size_t items(const BinaryObject& o) const {
    return o.kind == ObjectKind::Data ? dataOf(o).size()
           : o.isContainer()          ? o.references()
                                      : o.count;
  }
  [[nodiscard]] std::size_t itemBytes(const BinaryObject& o) const {
    return o.kind == ObjectKind::Utf16 ? 2 : o.isContainer() ? refSize_ : 1;
  }
  [[nodiscard]] std::uint64_t headSize(const BinaryObject& o) const {
    return headerSize(o.kind == ObjectKind::Data ? dataOf(o).size() : o.count);
  }
  std::uint8_t* putHead(std::uint8_t* p, const BinaryObject& o) const {
    switch (o.kind) {
      case ObjectKind::Data: return putHeader(p, bplist::kData, dataOf(o).size());
      case ObjectKind::Ascii: return putHeader(p, bplist::kAsciiString, o.count);
      case ObjectKind::Utf16: return putHeader(p, bplist::kUtf16String, o.count);
      case ObjectKind::Array: return putHeader(p, bplist::kArray, o.count);
      case ObjectKind::Dict: return putHeader(p, bplist::kDictionary, o.count);
      default: return p;
    }
  }
  // Items [first, first + n) of `o`.
  std::uint8_t* putItems(std::uint8_t* p, const BinaryObject& o, const std::uint32_t* refs,
                         std::size_t first, std::size_t n) const {
    switch (o.kind) {
      case ObjectKind::Data:
        if (n > 0) std::memcpy(p, dataOf(o).data() + first, n);
        return p + n;
      // Locals, so that stores through `p` are not taken to change them.
      case ObjectKind::Ascii:
        return putAscii(p, static_cast<const char16_t*>(o.pointer()) + first, n);
      case ObjectKind::Utf16:
        return putUtf16(p, static_cast<const char16_t*>(o.pointer()) + first, n);
      case ObjectKind::Array:
      case ObjectKind::Dict: {
        const std::uint32_t* r = refs + first;
        const std::size_t w = refSize_;
        if (w == 1) {
          for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(r[i]);
          return p + n;
        }
        for (std::size_t i = 0; i < n; ++i) p = putBigEndian(p, r[i], w);
        return p;
      }
      default: return p;
    }
  }

 private:
  std::size_t refSize_;
};

// The file's shape, settled before its first byte.
struct Layout {
  std::size_t refSize;
  std::size_t offsetSize;
  std::uint64_t tableOffset;  // where the offsets begin
  std::uint64_t total;
};

// With a source, every container's references come from it, and the
// lookups stay for it to use; without one, the table holds them all.
std::optional<Layout> settle(BinaryObjectTable& table, const BinaryReferenceSource* source) {
  if (table.failed()) return std::nullopt;
  const BinaryObjects& objects = table.objects();
  if (objects.empty()) {
    table.fail("no objects to write");
    return std::nullopt;
  }
  // A table's containers are all stored or all unstored.
  if (source == nullptr ? table.unstoredReferences() > 0 : !table.allReferences().empty()) {
    table.fail("references neither stored nor given");
    return std::nullopt;
  }
  // Lookups are over; their tables go before the output is allocated.
  if (source == nullptr) table.releaseLookups();
  const std::uint64_t n = objects.size();
  Layout layout{};
  // Widths of 1, 2, 4 or 8 bytes only, like the platform's own writer:
  // the format allows 3, 5, 6 and 7 as well, but some readers refuse them.
  layout.refSize = bplist::intWidth(n - 1);
  layout.tableOffset =
      bplist::kHeaderSize + table.objectBytes() + table.referenceCount() * layout.refSize;
  const std::uint64_t lastOffset =
      layout.tableOffset - table.lastObjectBytes() - objects.back().references() * layout.refSize;
  layout.offsetSize = bplist::intWidth(lastOffset);
  layout.total = layout.tableOffset + n * layout.offsetSize + bplist::kTrailerSize;
  return layout;
}

// Encodes into a buffer of kChunk bytes, handed to the sink whenever the next
// piece would not fit; no piece is larger than the buffer.
class ChunkedOutput {
 public:
  static constexpr std::size_t kChunk = std::size_t{256} << 10;

  explicit ChunkedOutput(const ByteSink& sink) : sink_(sink), buffer_(new std::uint8_t[kChunk]) {}

  // Puts `size` bytes (at most kChunk), written by `put(p)` from `p` on.
  template <typename Put>
  bool put(std::uint64_t size, Put&& put) {
    if (size > kChunk - used_ && !flush()) return false;
    put(buffer_.get() + used_);
    used_ += size;
    written_ += size;
    return true;
  }

  bool flush() {
    if (used_ == 0) return true;
    const std::size_t n = used_;
    used_ = 0;
    return sink_(std::span<const std::uint8_t>(buffer_.get(), n));
  }

  [[nodiscard]] std::uint64_t written() const { return written_; }

 private:
  const ByteSink& sink_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
};

// The file for `layout`, piece by piece; false when the sink refused a piece,
// or (the table failed) when the bytes put did not come to the layout's.
bool stream(BinaryObjectTable& table, BinaryReferenceSource* source, const Layout& layout,
            const ByteSink& sink) {
  const BinaryObjects& objects = table.objects();
  const Encoder encoder(layout.refSize);
  ChunkedOutput out(sink);
  if (!out.put(bplist::kHeaderSize, [](std::uint8_t* p) {
        std::memcpy(p, bplist::kMagic.data(), bplist::kHeaderSize);
      })) {
    return false;
  }
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const BinaryObject o = objects[i];
    const std::uint32_t* refs = nullptr;
    if (o.isContainer()) {
      refs = source ? source->referencesOf(o) : table.allReferences().data() + o.word;
      if (table.failed()) return false;
    }
    const std::uint64_t size = encoder.size(o);
    if (size <= ChunkedOutput::kChunk) {
      if (!out.put(size, [&](std::uint8_t* p) { encoder.put(p, o, refs); })) return false;
      continue;
    }
    // A long string, data or container (only those outgrow a piece): its
    // head, then its items a piece at a time, so that it is never copied
    // whole.
    if (!out.put(encoder.headSize(o), [&](std::uint8_t* p) { encoder.putHead(p, o); })) {
      return false;
    }
    const std::size_t items = encoder.items(o);
    const std::size_t run = ChunkedOutput::kChunk / encoder.itemBytes(o);
    for (std::size_t first = 0; first < items; first += run) {
      const std::size_t n = std::min(run, items - first);
      const bool put = out.put(std::uint64_t{n} * encoder.itemBytes(o),
                               [&](std::uint8_t* p) { encoder.putItems(p, o, refs, first, n); });
      if (!put) return false;
    }
  }
  // The offsets, from the same sizes, a run of objects at a time.
  const std::size_t w = layout.offsetSize;
  const std::size_t run = ChunkedOutput::kChunk / w;
  std::uint64_t offset = bplist::kHeaderSize;
  for (std::size_t at = 0; at < objects.size(); at += run) {
    const std::size_t n = std::min(run, objects.size() - at);
    const bool put = out.put(n * w, [&](std::uint8_t* p) {
      for (std::size_t i = at; i < at + n; ++i) {
        p = putBigEndian(p, offset, w);
        offset += encoder.size(objects[i]);
      }
    });
    if (!put) return false;
  }
  // The trailer; its first six bytes stay zero.
  const bool trailer = out.put(bplist::kTrailerSize, [&](std::uint8_t* p) {
    std::memset(p, 0, bplist::kTrailerSize);
    p[bplist::kTrailerOffsetWidth] = static_cast<std::uint8_t>(layout.offsetSize);
    p[bplist::kTrailerReferenceWidth] = static_cast<std::uint8_t>(layout.refSize);
    putBigEndian(p + bplist::kTrailerObjectCount, objects.size(), 8);
    putBigEndian(p + bplist::kTrailerTopObject, 0, 8);
    putBigEndian(p + bplist::kTrailerTableOffset, layout.tableOffset, 8);
  });
  if (!trailer) return false;
  if (out.written() != layout.total) {
    table.fail("the objects' sizes do not add up");
    return false;
  }
  return out.flush();
}

template <class Bytes>
std::optional<Bytes> encode(BinaryObjectTable& table, BinaryReferenceSource* source = nullptr) {
  const std::optional<Layout> layout = settle(table, source);
  if (!layout) return std::nullopt;
  Bytes out;
  out.reserve(static_cast<std::size_t>(layout->total));
  const ByteSink append = [&](std::span<const std::uint8_t> piece) {
    out.insert(out.end(), piece.begin(), piece.end());
    return true;
  };
  if (!stream(table, source, *layout, append)) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeBinaryObjects(BinaryObjectTable& table) {
  return encode<std::vector<std::uint8_t>>(table);
}

std::optional<LargeByteVector> encodeBinaryObjectsInLargeBlocks(BinaryObjectTable& table) {
  return encode<LargeByteVector>(table);
}

bool encodeBinaryObjectsTo(BinaryObjectTable& table, const ByteSink& sink) {
  const std::optional<Layout> layout = settle(table, nullptr);
  return layout && stream(table, nullptr, *layout, sink);
}

bool encodeBinaryObjectsTo(BinaryObjectTable& table, BinaryReferenceSource& source,
                           const ByteSink& encoded) {
  const std::optional<Layout> layout = settle(table, &source);
  const bool ok = layout && stream(table, &source, *layout, encoded);
  table.releaseLookups();
  return ok;
}

std::optional<std::vector<std::uint8_t>> encodeBinaryObjects(BinaryObjectTable& table,
                                                             BinaryReferenceSource& source) {
  std::optional<std::vector<std::uint8_t>> out = encode<std::vector<std::uint8_t>>(table, &source);
  table.releaseLookups();
  return out;
}

}  // namespace fw::plist
