#pragma once

// Soft hyphens for text laid out in HTML.

#include <string>
#include <string_view>

namespace fw {

// The text "&shy;" (not U+00AD) between every two code units: u"abc" gives
// u"a&shy;b&shy;c"; one unit and u"" come back unchanged.
[[nodiscard]] std::u16string stringByAddingSoftHyphens(std::u16string_view s);

}  // namespace fw
