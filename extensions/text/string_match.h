#pragma once

// Substring tests. hasSubstring matches code units exactly (no canonical
// equivalence); hasSubstringCaseInsensitive folds case first.

#include <optional>
#include <string_view>

namespace fw {

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

}  // namespace fw
