#pragma once

// Writes a value as an XML property list, in the layout Apple's tools use:
// the prolog and DOCTYPE, one element per line, tab indentation, keys in
// dictionary order.
//
//   writeXmlPropertyList(Value::integer(7)) ->
//     <?xml version="1.0" encoding="UTF-8"?>
//     <!DOCTYPE plist ...>
//     <plist version="1.0">
//     <integer>7</integer>
//     </plist>
//
// Nothing is changed on the way: a carriage return is written as &#13; (a
// parser would otherwise turn it into a line feed), and a value holding a
// character that XML 1.0 cannot carry at all, not even as a reference, is
// refused whole rather than written with something else in its place. Those
// characters are U+0000 to U+001F other than tab, line feed and carriage
// return, unpaired surrogates, U+FFFE and U+FFFF. A UID becomes
// <dict><key>CF$UID</key><integer>N</integer></dict>.

#include <optional>
#include <string>

#include "platform/plist/text_sink.h"
#include "platform/plist/value.h"

namespace fw::plist {

// The first character, in document order, that XML 1.0 cannot carry.
struct XmlUnwritable {
  char32_t character;  // the code point, or the unpaired surrogate's unit
  // The keys and indexes that lead to the string or key holding it, written
  // as ["Tracks"]["17"]["Name"] or ["Playlists"][3]; a key is quoted and
  // escaped as in JSON, so U+001B in a key reads \u001b. Empty at the root.
  std::string path;
};

[[nodiscard]] std::optional<XmlUnwritable> findXmlUnwritable(const Value& root);

// "U+001B at [\"keys\"][\"\\u001b\"] cannot be written in XML 1.0"
[[nodiscard]] std::string describe(const XmlUnwritable& unwritable);

// The whole document; nullopt, with describe()'s reason in `*reason`, for a
// value holding a character XML 1.0 cannot carry.
[[nodiscard]] std::optional<std::string> writeXmlPropertyList(const Value& root,
                                                              std::string* reason = nullptr);

// The same document handed to `sink` as it is made, so that only a piece of
// it is ever held. The whole value is checked first: a value XML cannot
// carry is refused before the first piece, with the reason as above. False
// with an empty reason when the sink stopped the writer.
[[nodiscard]] bool writeXmlPropertyList(const Value& root, const TextSink& sink,
                                        std::string* reason = nullptr);

}  // namespace fw::plist
