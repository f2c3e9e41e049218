#pragma once

// The layout of a binary property list, shared by its reader and writer:
//
//   "bplist00" | objects | offset table | 32-byte trailer
//
// Each object starts with a marker byte: the high nibble is its type, the
// low nibble a width (log2 of the bytes, for numbers) or a count (strings,
// data, containers). A count of 15 or more is written as kCountFollows in
// the low nibble and an integer object after the marker. The trailer holds,
// at the offsets named below, the offset and reference widths, the object
// count, the top object and where the offset table starts.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fw::plist::bplist {

inline constexpr std::string_view kMagic = "bplist00";
inline constexpr std::size_t kHeaderSize = kMagic.size();
inline constexpr std::size_t kTrailerSize = 32;

// Fields of the trailer, as byte offsets from its start; the last three are
// eight bytes each, big-endian.
inline constexpr std::size_t kTrailerOffsetWidth = 6;
inline constexpr std::size_t kTrailerReferenceWidth = 7;
inline constexpr std::size_t kTrailerObjectCount = 8;
inline constexpr std::size_t kTrailerTopObject = 16;
inline constexpr std::size_t kTrailerTableOffset = 24;

// The high nibble of a marker.
enum Type : std::uint8_t {
  kSimple = 0x0,  // null, booleans, fill
  kInteger = 0x1,
  kReal = 0x2,
  kDate = 0x3,
  kData = 0x4,
  kAsciiString = 0x5,
  kUtf16String = 0x6,
  kUtf8String = 0x7,
  kUid = 0x8,
  kArray = 0xA,
  kOrderedSet = 0xB,
  kSet = 0xC,
  kDictionary = 0xD,
};

// Whole markers.
inline constexpr std::uint8_t kNull = 0x00;
inline constexpr std::uint8_t kFalse = 0x08;
inline constexpr std::uint8_t kTrue = 0x09;
inline constexpr std::uint8_t kFill = 0x0F;
inline constexpr std::uint8_t kReal64 = 0x23;
inline constexpr std::uint8_t kDate64 = 0x33;
inline constexpr std::uint8_t kInteger128 = 0x14;

// The low nibble that says a count follows as an integer object.
inline constexpr std::uint8_t kCountFollows = 0x0F;

[[nodiscard]] constexpr std::uint8_t marker(Type type, std::uint8_t low) {
  return static_cast<std::uint8_t>((type << 4) | low);
}

// The smallest of the integer widths the format allows (1, 2, 4 or 8
// bytes) that holds `v`: intWidth(0x1FF) -> 2.
[[nodiscard]] constexpr std::size_t intWidth(std::uint64_t v) {
  if (v <= 0xFF) return 1;
  if (v <= 0xFFFF) return 2;
  if (v <= 0xFFFFFFFFu) return 4;
  return 8;
}

// Containers nested deeper than this are refused by the reader, so the
// writer refuses to write them.
inline constexpr std::size_t kMaxDepth = 512;

}  // namespace fw::plist::bplist
