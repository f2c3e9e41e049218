#pragma once

// The drawing destination of the calling thread: the image whose focus was
// locked last (see Image::lockFocus). Drawing with no destination draws
// nothing. Destinations use a top-left origin with y growing downwards.

#include <cairo.h>

#include "platform/graphics/color.h"
#include "platform/graphics/geometry.h"

namespace fw {

// The cairo context of the current destination, owned by the focus stack;
// nullptr when the thread has none. Valid until that focus is unlocked.
[[nodiscard]] cairo_t* currentGraphicsContext();

// Makes `color` the source of `cr`, each component clamped to 0..1 (NaN as
// 0), so that no color can put the context into an error state.
void setSourceColor(cairo_t* cr, const Color& color);

// Paints `rect` of the current destination with `color`, replacing what was
// there (alpha included) rather than compositing over it. A rectangle with
// a NaN or infinite coordinate paints nothing.
void fillRect(const Rect& rect, const Color& color);

}  // namespace fw
