#pragma once

// Internal: the single-pass replacement shared by stringByReplacingString and
// replaceOccurrencesOfString.

#include <cstdint>
#include <string>
#include <string_view>

namespace fw::text_internal {

// Writes `s` with every non-overlapping occurrence of `target` (found left
// to right) replaced by `replacement` into `out`, sized once, and returns
// the count. With no occurrence (or an empty target) `out` is left untouched
// and 0 is returned.
std::uint32_t replaceAll(std::u16string_view s, std::u16string_view target,
                         std::u16string_view replacement, std::u16string& out);

}  // namespace fw::text_internal
