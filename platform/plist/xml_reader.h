#pragma once

// Reads XML property lists with expat, building values as their elements
// close (there is no document tree).
//
// Accepted: the prolog and DOCTYPE, comments, whitespace between elements,
// <true/> and <true />, 64-bit signed and unsigned integers (decimal, or hex
// as 0x...), reals including nan and inf, ISO 8601 dates ending in Z, base64
// data with line breaks, the predefined entities, character references,
// CDATA, and UTF-8 or UTF-16 documents. The root is a <plist> holding one
// value, or a bare value element.
//
// Refused, with a reason: malformed XML, entity declarations, undefined
// entities, unknown elements, a key without a value or a value without a
// key in a dict, text where none belongs, an unparsable integer, real, date
// or data, content after the root, and more than 512 nested containers.
//
//   readXmlPropertyList("<plist><integer>7</integer></plist>") -> integer 7
//   readXmlPropertyList("<plist><dict><key>a</key></dict></plist>")
//     -> nullopt, reason "key without a value (line 1)"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/value.h"

namespace fw::plist {

inline constexpr std::size_t kMaxXmlNesting = 512;

[[nodiscard]] std::optional<Value> readXmlPropertyList(std::span<const std::uint8_t> bytes,
                                                       std::string* reason = nullptr);

// Reads from an open descriptor, in large blocks, until end of file; the
// document is never held whole in memory. The descriptor stays open.
[[nodiscard]] std::optional<Value> readXmlPropertyListFromFd(int fd,
                                                             std::string* reason = nullptr);

}  // namespace fw::plist
