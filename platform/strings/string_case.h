#pragma once

// Case mapping that does not depend on the process locale.

#include <string>
#include <string_view>

namespace fw {

// The full Unicode lower-case mapping of the root locale, so a character may
// map to several code units and context is honoured:
//   lowercaseString(u"İ") == u"i\u0307"   (no Turkish dotless rule)
//   lowercaseString(u"ΟΔΟΣ") == u"οδος"   (final sigma)
// Unpaired surrogates are kept as they are.
[[nodiscard]] std::u16string lowercaseString(std::u16string_view text);

}  // namespace fw
