#pragma once

// The dedicated XML property-list reader: one pass over UTF-8 bytes, with
// text runs found sixteen bytes at a step and nothing allocated per
// element. It checks that the XML is well formed as expat does (names,
// attributes, references, legal characters, valid UTF-8, matched tags) and
// leaves the structure to grammar.h, which it shares with the expat
// reader.
//
// It reads the dialect that property-list writers produce: an optional
// UTF-8 byte order mark, an optional declaration of version 1.0 in UTF-8,
// an optional DOCTYPE with an external identifier, then the elements. A
// document holding anything else it hands over instead of reading it: a
// declaration naming another encoding or version, a UTF-16 byte order mark
// or UTF-16 bytes, a comment, processing instruction or CDATA section
// anywhere, a DOCTYPE with an internal subset, or a start tag whose
// attributes hold references or non-ASCII names. The caller then reads the
// document with expat (readXmlEvents does).
//
//   readXmlEventsFast("<plist><true/></plist>") -> Read: scalar true
//   readXmlEventsFast("<plist><!-- c --><true/></plist>") -> HandedOver,
//     reason "comment (byte 7)"
//   readXmlEventsFast("<plist><true></plist>") -> Refused,
//     reason "malformed XML: mismatched tag </plist> (byte 13)"

#include <cstdint>
#include <span>
#include <string>

#include "platform/plist/plist_events.h"

namespace fw::plist {

enum class FastXmlResult : std::uint8_t {
  Read,        // the whole document, its events sent
  Refused,     // `reason` says why and where; expat refuses it too
  HandedOver,  // outside the dialect: `reason` names what; events so far are void
};

[[nodiscard]] FastXmlResult readXmlEventsFast(std::span<const std::uint8_t> bytes,
                                              PropertyListEvents& events,
                                              std::string* reason = nullptr);
// From the descriptor's current offset to the end of the file, in blocks;
// the buffer grows only as far as the longest single element needs.
[[nodiscard]] FastXmlResult readXmlEventsFastFromFd(int fd, PropertyListEvents& events,
                                                    std::string* reason = nullptr);

}  // namespace fw::plist
