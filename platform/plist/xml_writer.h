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
// What XML 1.0 cannot carry is written so that the document stays
// well-formed: a carriage return as &#13; (a parser would otherwise turn it
// into a line feed), other control characters and unpaired surrogates as
// U+FFFD. A UID becomes <dict><key>CF$UID</key><integer>N</integer></dict>.

#include <string>

#include "platform/plist/value.h"

namespace fw::plist {

[[nodiscard]] std::string writeXmlPropertyList(const Value& root);

}  // namespace fw::plist
