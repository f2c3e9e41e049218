#pragma once

// Single-pass replacement: once a substitution is made, the inserted text is
// not searched again. The in-place form is in mutable_string_replace.h.

#include <optional>
#include <string>
#include <string_view>

namespace fw {

// A copy with every occurrence of `target` replaced by `replacement`, found
// left to right without overlap; inserted text is not searched again:
// u"aaa" with u"aa" -> u"b" gives u"ba". An empty target changes nothing.
// Throws std::invalid_argument when either argument is absent.
[[nodiscard]] std::u16string stringByReplacingString(
    std::u16string_view s, std::optional<std::u16string_view> target,
    std::optional<std::u16string_view> replacement);

}  // namespace fw
