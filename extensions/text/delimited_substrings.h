#pragma once

// Text between two markers, and prefix or suffix removal. Markers, prefixes
// and suffixes match code units exactly and case-sensitively (no canonical
// equivalence); the first occurrence counts; an empty marker is never found.
// Receivers are assumed shorter than NSNotFound code units.

#include <optional>
#include <string>
#include <string_view>

#include "platform/strings/range.h"

namespace fw {

// The range of the text after the first occurrence of `first` and before the
// first occurrence of `second` after it. L is the receiver's length:
//   - receiver "": {NSNotFound, 0};
//   - `first` absent: the start is 0; `first` of length L or more, not found
//     or empty: {NSNotFound, 0};
//   - with p just after `first`, and p equal to L: {L, 0};
//   - `second` absent: {p, L - 1 - p} (the last unit is never included);
//   - `second` found at b: {p, b - p}; not found or empty: {p, L - p}.
// u"key=value;" with u"=" and u";" gives {4, 5}; with u"=" and u"#" {4, 6};
// with u"=" and no second marker {4, 5}.
[[nodiscard]] Range rangeBetween(std::u16string_view s, std::optional<std::u16string_view> first,
                                 std::optional<std::u16string_view> second);

// The text over rangeBetween, or nullopt when its location is NSNotFound:
// u"a[b]c[d]" with u"[" and u"]" gives u"b"; u"a[]" gives u"".
[[nodiscard]] std::optional<std::u16string> substringBetween(
    std::u16string_view s, std::optional<std::u16string_view> first,
    std::optional<std::u16string_view> second);

// substringBetween of u"<tag>" and u"</tag>"; no nesting, no attributes:
// u"x<b>bold</b>y" with u"b" gives u"bold", u"<b>open" gives u"open",
// u"<B>x</B>" gives nullopt.
[[nodiscard]] std::optional<std::u16string> substringBetweenTags(std::u16string_view s,
                                                                 std::u16string_view tag);

// The receiver without a leading `prefix`; unchanged when it does not begin
// with it, or when the prefix is empty or absent: u"prefix-name" with
// u"prefix-" gives u"name".
[[nodiscard]] std::u16string stringByRemovingPrefix(std::u16string_view s,
                                                    std::optional<std::u16string_view> prefix);

// The receiver without one trailing `suffix`; unchanged when it does not end
// with it, or when the suffix is empty or absent: u"file.gz.gz" with u".gz"
// gives u"file.gz".
[[nodiscard]] std::u16string stringByRemovingSuffix(std::u16string_view s,
                                                    std::optional<std::u16string_view> suffix);

}  // namespace fw
