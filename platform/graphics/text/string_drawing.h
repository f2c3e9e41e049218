#pragma once

// Measuring and drawing plain strings with text attributes, laid out by
// pango on one line per line break. Measurement and drawing agree: a string
// drawn at (0, 0) into an image of its measured size fits that image.

#include <string_view>

#include "platform/graphics/geometry.h"
#include "platform/graphics/text/text_attributes.h"

namespace fw {

// The width and height `text` takes when drawn with `attributes`. The empty
// string is 0 wide and one line high. Ill-formed UTF-16 is measured as if
// each unpaired surrogate were U+FFFD.
[[nodiscard]] Size sizeWithAttributes(std::u16string_view text, const TextAttributes& attributes);

// Draws `text` with its top-left corner at `point` into the calling
// thread's current destination; with no destination, or a point with a NaN
// or infinite coordinate, it draws nothing.
void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes);

// Draws `text` from the top-left corner of `rect`, its lines broken at the
// rectangle's width (between words, or inside a word too long for a line),
// and clipped to the rectangle. An empty or non-finite rectangle draws
// nothing.
void drawInRect(std::u16string_view text, Rect rect, const TextAttributes& attributes);

}  // namespace fw
