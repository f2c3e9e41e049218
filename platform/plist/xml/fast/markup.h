#pragma once

// The rarer markup of the dedicated XML reader (plist/xml/fast_reader.h), which
// decides what stays in its dialect and what goes to expat instead: the
// start of the document (byte order mark, encoding, XML declaration), the
// DOCTYPE, and start tags that carry attributes. Each scan looks at bytes
// from `p` up to `end` and consumes nothing itself; `eof` says that no
// bytes follow `end`.

#include "platform/plist/xml/fast/scan.h"

namespace fw::plist::xml {

// What a scan found. Ok: `at` is the byte after what it read. More: the
// bytes run past `end`. Bad (malformed XML) or Over (outside the dialect):
// `why` says what, found at `at`.
struct Scanned {
  Step step;
  const char* at = nullptr;
  const char* why = nullptr;
};

// The byte order mark and the XML declaration at the very start: a UTF-8
// mark, and version 1.0 in UTF-8, or Over.
//   scanProlog("<?xml version=\"1.0\"?><plist>") -> Ok, at "<plist>"
[[nodiscard]] Scanned scanProlog(const char* p, const char* end, bool eof);

// "<!DOCTYPE name>", or with SYSTEM "uri" or PUBLIC "id" "uri", at p;
// `second` when one came before, which is Over.
[[nodiscard]] Scanned scanDoctype(const char* p, const char* end, bool eof, bool second);

// The attributes of a start tag, from just after its name to its '>':
// Ok with `empty` for "/>". Repeated names are Bad; references, non-ASCII
// and more than a few attributes are Over.
[[nodiscard]] Scanned scanAttributes(const char* p, const char* end, bool& empty);

}  // namespace fw::plist::xml
