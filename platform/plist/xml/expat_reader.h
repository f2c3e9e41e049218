#pragma once

// Reads XML property lists, as events (plist_events.h) or as a value tree.
//
// Two readers stand behind these calls. The dedicated one
// (fast_reader.h) reads the UTF-8 dialect that property-list writers
// produce; whatever lies outside it (a declaration naming another encoding,
// UTF-16, comments, processing instructions or CDATA anywhere, a DOCTYPE
// with an internal subset) it hands to expat, which reads the document
// again from its first byte. Both accept and refuse the same documents and
// give the same values; each refusal comes with a reason and a place.
//
// Accepted: the prolog and DOCTYPE, whitespace between elements, <true/>
// and <true />, 64-bit signed and unsigned integers (decimal, or hex as
// 0x...), reals including nan and inf, ISO 8601 dates ending in Z, base64
// data with line breaks, the predefined entities and character references,
// and through expat also comments, CDATA and UTF-16 documents. The root is
// a <plist> holding one value, or a bare value element.
//
// Refused, with a reason: malformed XML or invalid UTF-8, entity
// declarations, undefined entities, and what grammar.h lists.
//
//   readXmlPropertyList("<plist><integer>7</integer></plist>") -> integer 7
//   readXmlPropertyList("<plist><dict><key>a</key></dict></plist>")
//     -> nullopt, reason "key without a value (byte 32)"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/plist_events.h"
#include "platform/plist/value.h"
#include "platform/plist/xml/grammar.h"

namespace fw::plist {

// Which reader gave the answer.
enum class XmlReaderUsed : std::uint8_t { Dedicated, Expat };

// Sends the document's events; true when it was read whole. On a refusal
// `reason` says why, and the events sent so far are void.
[[nodiscard]] bool readXmlEvents(std::span<const std::uint8_t> bytes, PropertyListEvents& events,
                                 std::string* reason = nullptr, XmlReaderUsed* used = nullptr);
// Reads from an open descriptor, from its current offset to the end of the
// file, in large blocks: the document is never held whole in memory. A
// document handed to expat is read again from the same offset, so the
// descriptor must be seekable. It stays open.
[[nodiscard]] bool readXmlEventsFromFd(int fd, PropertyListEvents& events,
                                       std::string* reason = nullptr,
                                       XmlReaderUsed* used = nullptr);

// expat alone: the reference the dedicated reader is checked against.
[[nodiscard]] bool readXmlEventsWithExpat(std::span<const std::uint8_t> bytes,
                                          PropertyListEvents& events,
                                          std::string* reason = nullptr);
[[nodiscard]] bool readXmlEventsWithExpatFromFd(int fd, PropertyListEvents& events,
                                                std::string* reason = nullptr);

[[nodiscard]] std::optional<Value> readXmlPropertyList(std::span<const std::uint8_t> bytes,
                                                       std::string* reason = nullptr,
                                                       XmlReaderUsed* used = nullptr);
[[nodiscard]] std::optional<Value> readXmlPropertyListWithExpat(std::span<const std::uint8_t> bytes,
                                                                std::string* reason = nullptr);
[[nodiscard]] std::optional<Value> readXmlPropertyListFromFd(int fd, std::string* reason = nullptr);

}  // namespace fw::plist
