#pragma once

// Stripping and trimming: removing code units of a set, wherever they stand
// or only at the ends.
//
// Strings are UTF-16 and every operation works on code units; it is linear
// in its input and allocates its result once.

#include <string>
#include <string_view>

#include "platform/strings/character_set.h"

namespace fw {

// The receiver without any code unit of `set`, wherever it stands; an absent
// set removes nothing: u"a-b-" with {'-'} gives u"ab".
[[nodiscard]] std::u16string stringByStrippingCharactersInSet(std::u16string_view s,
                                                              const CharacterSet* set);

// Removes every member of the whitespace-and-newline set: u" a\u00A0b\n" gives u"ab".
[[nodiscard]] std::u16string stringByStrippingWhitespace(std::u16string_view s);

// Removes every LF and CR, and nothing else: u"a\r\nb\u2028c" gives u"ab\u2028c".
[[nodiscard]] std::u16string stringByStrippingNewlines(std::u16string_view s);

// Removes the leading and trailing runs of whitespace-and-newline members;
// inner whitespace stays: u" \t\n name \r\n" gives u"name", u"a  b" stays.
[[nodiscard]] std::u16string trimmedString(std::u16string_view s);
// The same, as the part of `s` that it keeps.
[[nodiscard]] std::u16string_view trimmedView(std::u16string_view s);

// Removes every LF, then trims: u"  a b\r\nc \n" gives u"a b\rc".
[[nodiscard]] std::u16string stringByRemovingWhitespaceAndNewlines(std::u16string_view s);

}  // namespace fw
