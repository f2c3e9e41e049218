// Lays numbered objects out as a file: every object's size is known before
// the first byte is written, so the output is allocated once, at its exact
// size, and each offset goes straight into the table.

#include <cstring>

#include "platform/plist/binary_object_table.h"
#include "platform/plist/bplist_format.h"

namespace fw::plist {
namespace {

// Bytes needed to hold `v` in big-endian form: 1 to 8.
std::size_t bytesFor(std::uint64_t v) {
  std::size_t n = 1;
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  return n;
}

std::uint8_t log2Width(std::size_t w) { return w == 1 ? 0 : w == 2 ? 1 : w == 4 ? 2 : 3; }

std::uint8_t* putBigEndian(std::uint8_t* p, std::uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
  return p + width;
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

class Encoder {
 public:
  Encoder(const BinaryReferences& refs, std::size_t refSize) : refs_(refs), refSize_(refSize) {}

  std::uint8_t* put(std::uint8_t* p, const BinaryObject& o) const {
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
      case ObjectKind::Data: {
        const auto bytes = *static_cast<const Value*>(o.pointer())->asData();
        p = putHeader(p, bplist::kData, bytes.size());
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        return p + bytes.size();
      }
      case ObjectKind::Ascii: {
        // Locals, so that stores through `p` are not taken to change them.
        const auto* s = static_cast<const char16_t*>(o.pointer());
        const std::size_t n = o.count;
        p = putHeader(p, bplist::kAsciiString, n);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(s[i]);
        return p + n;
      }
      case ObjectKind::Utf16: {
        const auto* s = static_cast<const char16_t*>(o.pointer());
        const std::size_t n = o.count;
        p = putHeader(p, bplist::kUtf16String, n);
        for (std::size_t i = 0; i < n; ++i) {
          p[2 * i] = static_cast<std::uint8_t>(s[i] >> 8);
          p[2 * i + 1] = static_cast<std::uint8_t>(s[i]);
        }
        return p + 2 * n;
      }
      case ObjectKind::Array:
      case ObjectKind::Dict: {
        p = putHeader(p, o.kind == ObjectKind::Array ? bplist::kArray : bplist::kDictionary,
                      o.count);
        const std::size_t refs = o.references();
        const std::uint32_t* r = refs_.data() + o.word;
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

 private:
  const BinaryReferences& refs_;
  std::size_t refSize_;
};

template <class Bytes>
std::optional<Bytes> encode(BinaryObjectTable& table) {
  if (table.failed()) return std::nullopt;
  const BinaryObjects& objects = table.objects();
  if (objects.empty()) {
    table.fail("no objects to write");
    return std::nullopt;
  }
  // Lookups are over; their tables go before the output is allocated.
  table.releaseLookups();
  const BinaryReferences& refs = table.allReferences();
  const std::uint64_t n = objects.size();
  const std::size_t refSize = bytesFor(n - 1);
  const std::uint64_t tableOffset =
      bplist::kHeaderSize + table.objectBytes() + refs.size() * refSize;
  const std::uint64_t lastOffset =
      tableOffset - table.lastObjectBytes() - objects.back().references() * refSize;
  const std::size_t offsetSize = bytesFor(lastOffset);
  Bytes out(static_cast<std::size_t>(tableOffset + n * offsetSize + bplist::kTrailerSize));
  std::uint8_t* base = out.data();
  std::memcpy(base, bplist::kMagic.data(), bplist::kHeaderSize);
  std::uint8_t* p = base + bplist::kHeaderSize;
  std::uint8_t* offsets = base + tableOffset;
  const Encoder encoder(refs, refSize);
  for (const BinaryObject& o : objects) {
    offsets = putBigEndian(offsets, static_cast<std::uint64_t>(p - base), offsetSize);
    p = encoder.put(p, o);
  }
  // The trailer; its first six bytes stay zero.
  std::uint8_t* trailer = offsets;
  trailer[bplist::kTrailerOffsetWidth] = static_cast<std::uint8_t>(offsetSize);
  trailer[bplist::kTrailerReferenceWidth] = static_cast<std::uint8_t>(refSize);
  putBigEndian(trailer + bplist::kTrailerObjectCount, n, 8);
  putBigEndian(trailer + bplist::kTrailerTopObject, 0, 8);
  putBigEndian(trailer + bplist::kTrailerTableOffset, tableOffset, 8);
  return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeBinaryObjects(BinaryObjectTable& table) {
  return encode<std::vector<std::uint8_t>>(table);
}

std::optional<LargeByteVector> encodeBinaryObjectsInLargeBlocks(BinaryObjectTable& table) {
  return encode<LargeByteVector>(table);
}

}  // namespace fw::plist
