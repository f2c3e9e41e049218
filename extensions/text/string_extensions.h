#pragma once

// String operations: stripping and trimming, substring tests, replacement
// and soft hyphens. Strings are UTF-16 and every operation works on code
// units: a character outside the Basic Multilingual Plane is two units, each
// tested and copied on its own. Searches match code units exactly (no
// canonical equivalence), except hasSubstringCaseInsensitive, which folds
// case. Every operation is linear in its input and allocates its result once.
//
// Delimited substrings and the HTML, XML and URL conversions belong to the
// same family; they are declared in delimited_substrings.h and markup_text.h,
// which this header includes.

#include <optional>
#include <string>
#include <string_view>

#include "extensions/text/delimited_substrings.h"
#include "extensions/text/markup_text.h"
#include "platform/character_set.h"

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

// Removes every LF, then trims: u"  a b\r\nc \n" gives u"a b\rc".
[[nodiscard]] std::u16string stringByRemovingWhitespaceAndNewlines(std::u16string_view s);

// Whether `sub` occurs in the receiver, matching code units exactly. An
// empty `sub` is never found (false). Throws std::invalid_argument when `sub`
// is absent.
[[nodiscard]] bool hasSubstring(std::u16string_view s, std::optional<std::u16string_view> sub);

// Whether `sub` occurs in the receiver ignoring case; true when `sub` is
// absent or empty. Both texts are compared after Unicode full case folding
// (ICU, default folding, not locale-dependent), so u"STRASSE" is found in
// u"stra\u00DFe" and u"hELLO" in u"Hello". Folding may change lengths; only
// the truth value is returned, so no position has to be mapped back.
[[nodiscard]] bool hasSubstringCaseInsensitive(std::u16string_view s,
                                               std::optional<std::u16string_view> sub);

// A copy with every occurrence of `target` replaced by `replacement`, found
// left to right without overlap; inserted text is not searched again:
// u"aaa" with u"aa" -> u"b" gives u"ba". An empty target changes nothing.
// Throws std::invalid_argument when either argument is absent.
[[nodiscard]] std::u16string stringByReplacingString(
    std::u16string_view s, std::optional<std::u16string_view> target,
    std::optional<std::u16string_view> replacement);

// The text "&shy;" (not U+00AD) between every two code units: u"abc" gives
// u"a&shy;b&shy;c"; one unit and u"" come back unchanged.
[[nodiscard]] std::u16string stringByAddingSoftHyphens(std::u16string_view s);

}  // namespace fw
