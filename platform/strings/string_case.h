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

// The same mapping written into `out`, which has room for `capacity` units.
// Returns the mapping's length; when that is more than `capacity`, what
// `out` holds is of no use and the caller retries with that much room.
[[nodiscard]] std::size_t lowercaseInto(std::u16string_view text, char16_t* out,
                                        std::size_t capacity);

}  // namespace fw
