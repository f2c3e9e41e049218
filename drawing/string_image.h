#pragma once

// Drawing strings with a text color that depends on the background they sit
// on, and rendering strings into images. The caller's attributes are never
// modified. Interface thread only.

#include <cstdint>
#include <string_view>

#include "platform/graphics/color.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"
#include "platform/graphics/text/text_attributes.h"

namespace fw {

// A new image of exactly the string's measured size with the string drawn
// at (0, 0). A string that measures 0 wide (the empty string) gives a blank
// image of that size, the measured line height tall. The calling thread's
// focus is the same before and after.
[[nodiscard]] ImagePtr imageWithAttributes(std::u16string_view text,
                                           const TextAttributes& attributes);

// Draws the string at `point` into the current destination. When
// `backgroundColor` is the palette's alternateSelectedControlColor (that
// very object: another color with equal components does not count), the
// text is drawn in white instead of the attributes' color; on any other
// background, or none, it is drawn as the attributes say. Every call fetches
// the palette color first, making it if it is still missing, an absent
// background included.
void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes,
                 const Color* backgroundColor);

// Draws the string at `point` on the palette background `backgroundColorIndex`.
// On index 2 (the alternate selection color) the text is white when
// `whiteAlpha` is 1.0 or more (or NaN), and the palette's
// whiteColorBlendedWithAlternate when it is less; on any other index the
// attributes are used as they are and `whiteAlpha` is ignored.
void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes,
                 std::int32_t backgroundColorIndex, float whiteAlpha);

}  // namespace fw
