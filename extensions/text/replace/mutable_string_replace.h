#pragma once

// The two operations that change a string in place.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// Appends `tail` unless it is absent or empty.
void appendStringA(std::u16string& s, std::optional<std::u16string_view> tail);

// Replaces every occurrence of `target` by `replacement`, left to right
// without overlap and without searching inserted text again, and returns the
// number of replacements: u"aaa" with u"a" -> u"aa" gives 3 and u"aaaaaa".
// An absent target or replacement, or an empty target, changes nothing and
// returns 0. The receiver is reallocated at most once.
std::uint32_t replaceOccurrencesOfString(std::u16string& s,
                                         std::optional<std::u16string_view> target,
                                         std::optional<std::u16string_view> replacement);

}  // namespace fw
