#include "platform/plist/binary/reader.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/strings/unicode.h"

namespace fw::plist {
namespace {

using bplist::kHeaderSize;
using bplist::kTrailerSize;

bool isStringType(std::uint8_t type) {
  return type == bplist::kAsciiString || type == bplist::kUtf16String ||
         type == bplist::kUtf8String;
}

std::uint64_t readBigEndian(const std::uint8_t* p, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, std::string* reason)
      : bytes_(bytes), reason_(reason) {}

  std::optional<Value> run() {
    if (!looksLikeBinaryPropertyList(bytes_))
      return fail("not a binary property list (no bplist00 header)");
    if (bytes_.size() < kHeaderSize + kTrailerSize + 1) return fail("file too short for a trailer");
    const std::uint8_t* t = bytes_.data() + bytes_.size() - kTrailerSize;
    offsetSize_ = t[bplist::kTrailerOffsetWidth];
    refSize_ = t[bplist::kTrailerReferenceWidth];
    objectCount_ = readBigEndian(t + bplist::kTrailerObjectCount, 8);
    const std::uint64_t top = readBigEndian(t + bplist::kTrailerTopObject, 8);
    tableOffset_ = readBigEndian(t + bplist::kTrailerTableOffset, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8)
      return fail("offset size " + std::to_string(offsetSize_) + " not in 1..8");
    if (refSize_ < 1 || refSize_ > 8)
      return fail("reference size " + std::to_string(refSize_) + " not in 1..8");
    if (objectCount_ == 0) return fail("no objects");
    if (top >= objectCount_) return fail("top object " + std::to_string(top) + " out of range");
    const std::uint64_t tableLimit = bytes_.size() - kTrailerSize;
    if (tableOffset_ < kHeaderSize + 1 || tableOffset_ > tableLimit)
      return fail("offset table at " + std::to_string(tableOffset_) + " out of bounds");
    // The table must fit between its start and the trailer; dividing avoids
    // overflow in count * width.
    if (objectCount_ > (tableLimit - tableOffset_) / offsetSize_)
      return fail("offset table of " + std::to_string(objectCount_) + " entries overruns the file");
    // Object references are in 0..count-1 and must fit the reference width.
    if (refSize_ < 8 && objectCount_ - 1 > (std::uint64_t{1} << (8 * refSize_)) - 1)
      return fail("object count exceeds the reference width");

    const std::uint64_t maxBudget = std::numeric_limits<std::uint64_t>::max() / kBinaryMaxExpansion;
    budget_ = objectCount_ > maxBudget ? std::numeric_limits<std::uint64_t>::max()
                                       : objectCount_ * kBinaryMaxExpansion;
    const std::size_t n = static_cast<std::size_t>(objectCount_);
    active_.assign(n, 0);
    strings_.resize(n);
    stringsDone_.assign(n, 0);
    return readObject(top, 0);
  }

 private:
  std::nullopt_t fail(std::string why) {
    if (reason_ && !failed_) *reason_ = std::move(why);
    failed_ = true;
    return std::nullopt;
  }

  // The offset of object `index`, checked to lie within the object area.
  std::optional<std::uint64_t> offsetOf(std::uint64_t index) {
    const std::uint64_t at =
        readBigEndian(bytes_.data() + tableOffset_ + index * offsetSize_, offsetSize_);
    if (at < kHeaderSize || at >= tableOffset_) {
      fail("object " + std::to_string(index) + " offset " + std::to_string(at) + " out of bounds");
      return std::nullopt;
    }
    return at;
  }

  // Bytes left from `at` to the start of the offset table.
  std::uint64_t room(std::uint64_t at) const { return tableOffset_ - at; }

  // Reads the marker at `*at` and the length that follows it: either its low
  // nibble or, when that is kCountFollows, an integer object. Advances `*at`
  // past both.
  std::optional<std::uint64_t> readLength(std::uint64_t index, std::uint64_t* at) {
    const std::uint8_t marker = bytes_[*at];
    *at += 1;
    const std::uint8_t low = marker & 0x0F;
    if (low != bplist::kCountFollows) return low;
    if (room(*at) < 1) return fail("object " + std::to_string(index) + " length truncated");
    const std::uint8_t intMarker = bytes_[*at];
    if ((intMarker >> 4) != bplist::kInteger || (intMarker & 0x0F) > 3)
      return fail("object " + std::to_string(index) + " has a malformed length");
    const std::size_t width = std::size_t{1} << (intMarker & 0x0F);
    *at += 1;
    if (room(*at) < width) return fail("object " + std::to_string(index) + " length truncated");
    const std::uint64_t length = readBigEndian(bytes_.data() + *at, width);
    if (width == 8 && length > static_cast<std::uint64_t>(INT64_MAX))
      return fail("object " + std::to_string(index) + " has a negative length");
    *at += width;
    return length;
  }

  // Checks that `count` items of `width` bytes fit from `at`.
  bool fits(std::uint64_t index, std::uint64_t at, std::uint64_t count, std::uint64_t width) {
    if (count > room(at) / width) {
      fail("object " + std::to_string(index) + " overruns the object area");
      return false;
    }
    return true;
  }

  std::optional<std::uint64_t> readRef(std::uint64_t index, std::uint64_t at) {
    const std::uint64_t ref = readBigEndian(bytes_.data() + at, refSize_);
    if (ref >= objectCount_) {
      fail("object " + std::to_string(index) + " refers to missing object " + std::to_string(ref));
      return std::nullopt;
    }
    return ref;
  }

  // A string object, decoded once and shared by every reference to it.
  std::optional<SharedString> readString(std::uint64_t index) {
    if (stringsDone_[index]) return strings_[index];
    auto start = offsetOf(index);
    if (!start) return std::nullopt;
    std::uint64_t at = *start;
    const std::uint8_t type = bytes_[at] >> 4;
    if (!isStringType(type)) {
      fail("object " + std::to_string(index) + " is not a string");
      return std::nullopt;
    }
    const auto counted = readLength(index, &at);
    if (!counted) return std::nullopt;
    const std::uint64_t length = *counted;
    // Strings keep a 32-bit length.
    if (length > std::numeric_limits<std::uint32_t>::max()) {
      fail("object " + std::to_string(index) + " is a string too long to hold");
      return std::nullopt;
    }
    const auto* p = bytes_.data() + at;
    std::u16string text;
    if (type == bplist::kUtf16String) {
      if (!fits(index, at, length, 2)) return std::nullopt;
      text.resize(static_cast<std::size_t>(length));
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
    } else {
      if (!fits(index, at, length, 1)) return std::nullopt;
      const std::string_view raw(reinterpret_cast<const char*>(p),
                                 static_cast<std::size_t>(length));
      bool ascii = true;
      for (unsigned char c : raw) ascii = ascii && c < 0x80;
      if (ascii) {
        text.assign(raw.begin(), raw.end());
      } else if (!appendUtf8ToUtf16(text, raw)) {
        if (type == bplist::kUtf8String) {
          fail("object " + std::to_string(index) + " is not valid UTF-8");
          return std::nullopt;
        }
        // Some writers put 8-bit text in "ASCII" strings; bytes that are not
        // UTF-8 are taken as Latin-1, which maps every byte.
        text.clear();
        for (unsigned char c : raw) text.push_back(static_cast<char16_t>(c));
      }
    }
    strings_[index] = SharedString(text);
    stringsDone_[index] = 1;
    return strings_[index];
  }

  std::optional<Value> readObject(std::uint64_t index, std::size_t depth) {
    if (budget_ == 0)
      return fail("shared references expand to more than 16 times the object count");
    --budget_;
    auto start = offsetOf(index);
    if (!start) return std::nullopt;
    std::uint64_t at = *start;
    const std::uint8_t marker = bytes_[at];
    const std::uint8_t type = marker >> 4;
    const std::uint8_t low = marker & 0x0F;
    // Built only on failure: reading must not allocate per object.
    auto which = [index] { return "object " + std::to_string(index); };
    switch (type) {
      case bplist::kSimple:
        if (marker == bplist::kFalse) return Value::boolean(false);
        if (marker == bplist::kTrue) return Value::boolean(true);
        if (marker == bplist::kNull) return fail(which() + " is null, which has no value");
        if (marker == bplist::kFill) return fail(which() + " is a fill byte, which has no value");
        return fail(which() + " has unknown marker " + std::to_string(marker));
      case bplist::kInteger: {
        if (low > 4) return fail(which() + " is an integer wider than 16 bytes");
        const std::size_t width = std::size_t{1} << low;
        at += 1;
        if (room(at) < width) return fail(which() + " is truncated");
        const auto* p = bytes_.data() + at;
        if (width < 8) return Value::integer(static_cast<std::int64_t>(readBigEndian(p, width)));
        if (width == 8) return Value::integer(static_cast<std::int64_t>(readBigEndian(p, 8)));
        const std::uint64_t high = readBigEndian(p, 8);
        const std::uint64_t lowWord = readBigEndian(p + 8, 8);
        if (high == 0) return Value::unsignedInteger(lowWord);
        if (high == ~std::uint64_t{0} && (lowWord >> 63) == 1)
          return Value::integer(static_cast<std::int64_t>(lowWord));
        return fail(which() + " is an integer outside 64 bits");
      }
      case bplist::kReal: {
        if (low != 2 && low != 3) return fail(which() + " is a real of unsupported width");
        const std::size_t width = std::size_t{1} << low;
        at += 1;
        if (room(at) < width) return fail(which() + " is truncated");
        const std::uint64_t bits = readBigEndian(bytes_.data() + at, width);
        if (width == 4) {
          const auto b32 = static_cast<std::uint32_t>(bits);
          float f;
          std::memcpy(&f, &b32, 4);
          return Value::real(f);
        }
        double d;
        std::memcpy(&d, &bits, 8);
        return Value::real(d);
      }
      case bplist::kDate: {
        if (marker != bplist::kDate64)
          return fail(which() + " has unknown marker " + std::to_string(marker));
        at += 1;
        if (room(at) < 8) return fail(which() + " is truncated");
        const std::uint64_t bits = readBigEndian(bytes_.data() + at, 8);
        double d;
        std::memcpy(&d, &bits, 8);
        return Value::date(Date{d});
      }
      case bplist::kData: {
        const auto length = readLength(index, &at);
        if (!length || !fits(index, at, *length, 1)) return std::nullopt;
        return Value::data(
            bytes_.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(*length)));
      }
      case bplist::kAsciiString:
      case bplist::kUtf16String:
      case bplist::kUtf8String: {
        auto s = readString(index);
        if (!s) return std::nullopt;
        return Value::string(std::move(*s));
      }
      case bplist::kUid: {
        const std::size_t width = std::size_t{low} + 1;
        if (width > 8) return fail(which() + " is a UID wider than 8 bytes");
        at += 1;
        if (room(at) < width) return fail(which() + " is truncated");
        return Value::uid(Uid{readBigEndian(bytes_.data() + at, width)});
      }
      case bplist::kArray:
      case bplist::kOrderedSet:
      case bplist::kSet:
      case bplist::kDictionary: return readContainer(index, at, type, depth);
      default: return fail(which() + " has unknown marker " + std::to_string(marker));
    }
  }

  std::optional<Value> readContainer(std::uint64_t index, std::uint64_t at, std::uint8_t type,
                                     std::size_t depth) {
    // Built only on failure: reading must not allocate per object.
    auto which = [index] { return "object " + std::to_string(index); };
    if (depth >= kBinaryMaxDepth) return fail("nesting deeper than 512 containers at " + which());
    if (active_[index]) return fail("reference cycle at " + which());
    const auto counted = readLength(index, &at);
    if (!counted) return std::nullopt;
    const std::uint64_t count = *counted;
    const bool isDict = type == bplist::kDictionary;
    const std::uint64_t refs = isDict ? count * 2 : count;
    if ((isDict && count > std::numeric_limits<std::uint64_t>::max() / 2) ||
        !fits(index, at, refs, refSize_))
      return std::nullopt;
    active_[index] = 1;
    std::optional<Value> result;
    if (isDict) {
      Dictionary dict;
      dict.reserve(static_cast<std::size_t>(count));
      const std::uint64_t valuesAt = at + count * refSize_;
      bool ok = true;
      for (std::uint64_t i = 0; i < count && ok; ++i) {
        auto keyRef = readRef(index, at + i * refSize_);
        auto valueRef = keyRef ? readRef(index, valuesAt + i * refSize_) : std::nullopt;
        if (!valueRef) {
          ok = false;
          break;
        }
        if (budget_ == 0) {
          fail("shared references expand to more than 16 times the object count");
          ok = false;
          break;
        }
        --budget_;
        auto keyStart = offsetOf(*keyRef);
        if (!keyStart) {
          ok = false;
          break;
        }
        const std::uint8_t keyType = bytes_[*keyStart] >> 4;
        if (!isStringType(keyType)) {
          fail(which() + " has a key that is not a string (object " + std::to_string(*keyRef) +
               ")");
          ok = false;
          break;
        }
        auto key = readString(*keyRef);
        auto value = key ? readObject(*valueRef, depth + 1) : std::nullopt;
        if (!value) {
          ok = false;
          break;
        }
        dict.set(std::move(*key), std::move(*value));
      }
      if (ok) result = Value::dictionary(std::move(dict));
    } else {
      Array items;
      items.reserve(static_cast<std::size_t>(count));
      bool ok = true;
      for (std::uint64_t i = 0; i < count; ++i) {
        auto ref = readRef(index, at + i * refSize_);
        auto item = ref ? readObject(*ref, depth + 1) : std::nullopt;
        if (!item) {
          ok = false;
          break;
        }
        items.push_back(std::move(*item));
      }
      if (ok) result = Value::array(std::move(items));
    }
    active_[index] = 0;
    return result;
  }

  std::span<const std::uint8_t> bytes_;
  std::string* reason_;
  bool failed_ = false;
  std::size_t offsetSize_ = 0;
  std::size_t refSize_ = 0;
  std::uint64_t objectCount_ = 0;
  std::uint64_t tableOffset_ = 0;
  std::uint64_t budget_ = 0;
  std::vector<std::uint8_t> active_;  // containers on the current path
  std::vector<SharedString> strings_;
  std::vector<std::uint8_t> stringsDone_;
};

}  // namespace

bool looksLikeBinaryPropertyList(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kHeaderSize &&
         std::memcmp(bytes.data(), bplist::kMagic.data(), kHeaderSize) == 0;
}

std::optional<Value> readBinaryPropertyList(std::span<const std::uint8_t> bytes,
                                            std::string* reason) {
  Reader reader(bytes, reason);
  return reader.run();
}

}  // namespace fw::plist
