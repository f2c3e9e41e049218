#pragma once

// Text attributes: a dictionary from attribute name to value, as string
// drawing takes it. Drawing reads the text color and the font; other keys
// are carried along untouched.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "platform/graphics/color.h"

namespace fw {

// A font by family name and size in points; one point is one unit of the
// drawing destination (one pixel in an unscaled image).
struct Font {
  std::u16string familyName = u"DejaVu Sans";
  float pointSize = 12.0f;
  friend bool operator==(const Font&, const Font&) = default;
};

using AttributeValue = std::variant<ColorPtr, Font, double, std::u16string>;
using TextAttributes = std::map<std::u16string, AttributeValue, std::less<>>;

// The text color; a ColorPtr. Text without one is drawn black.
inline constexpr std::u16string_view NSForegroundColorAttributeName = u"NSColor";
// The font; a Font. Text without one uses Font{} (DejaVu Sans, 12 points).
inline constexpr std::u16string_view NSFontAttributeName = u"NSFont";

// The text color the attributes name, or nullptr when they name none (or the
// value under the key is not a color).
[[nodiscard]] const Color* foregroundColor(const TextAttributes& attributes);

// The font the attributes name, or Font{} when they name none.
[[nodiscard]] Font font(const TextAttributes& attributes);

}  // namespace fw
