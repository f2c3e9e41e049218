#pragma once

// Reader for binary property lists ("bplist00").
//
// Every offset, count, reference and length is checked against the file
// before use, so any byte string is either read or refused with a reason:
//
//   readBinaryPropertyList(bytes, &why)  -> nullopt, why == "reference cycle at object 3"
//
// What is accepted:
//   - offset and reference widths of 1 to 8 bytes;
//   - booleans; integers of 1, 2, 4 and 8 bytes (1 to 4 bytes unsigned, 8 bytes
//     two's complement) and the 16-byte form, which carries unsigned values
//     above INT64_MAX (and negative values, sign-extended);
//   - 4- and 8-byte reals, dates, data, UIDs of 1 to 8 bytes;
//   - ASCII strings (bytes above 0x7F are read as UTF-8 when the whole string
//     is valid UTF-8, and as Latin-1 otherwise), UTF-16BE strings and UTF-8
//     strings (marker 0x7);
//   - arrays, sets and ordered sets (both read as arrays, in file order) and
//     dictionaries whose keys are strings. A repeated key keeps its first
//     position and takes the last value.
//
// What is refused: null and fill objects (a Value has no null), a reference
// cycle, nesting deeper than 512 containers, and shared references that would
// expand to more than 16 times the file's object count (a few hundred bytes
// can otherwise describe an exponentially large tree).
//
// Equal string objects read through several references share one buffer.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/binary/format.h"
#include "platform/plist/value.h"

namespace fw::plist {

inline constexpr std::size_t kBinaryMaxDepth = bplist::kMaxDepth;
inline constexpr std::uint64_t kBinaryMaxExpansion = 16;

[[nodiscard]] bool looksLikeBinaryPropertyList(std::span<const std::uint8_t> bytes);

// The root value, or nullopt with the reason in `*reason` (when given).
[[nodiscard]] std::optional<Value> readBinaryPropertyList(std::span<const std::uint8_t> bytes,
                                                          std::string* reason = nullptr);

}  // namespace fw::plist
