#pragma once

// The drawing destination of the calling thread: the image whose focus was
// locked last (see Image::lockFocus), or the caller's cairo context that a
// ScopedDrawingDestination put in place last. Drawing with no destination
// draws nothing. Destinations use a top-left origin with y growing
// downwards (in a caller's context: its user space, whatever its matrix).

#include <cairo.h>

#include "platform/graphics/color.h"
#include "platform/graphics/geometry.h"

namespace fw {

// Makes a caller's cairo context the calling thread's drawing destination
// while the object lives: a GTK draw function's context, a PDF, SVG or PNG
// surface's, a printing context. Every drawing call (drawAtPoint,
// drawInRect, attributed strings, fillRect) then draws there as it would
// into an image. It shares the per-thread stack with image focus, so the
// two nest in any order:
//
//   void draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer) {
//     fw::ScopedDrawingDestination destination(cr);
//     fw::drawAtPoint(u"Selected Track", {8, 8}, attributes, background);
//   }
//
// The context keeps its own matrix and clip: drawing adds to them. The
// state is saved when the scope begins and restored when it ends, so what
// drawing (or the caller, through currentGraphicsContext) sets inside the
// scope does not leak out. Ending the scope, also by an exception, gives
// the focus back to what held it before, and drops any image focus that
// was locked inside the scope and never unlocked. A null context is a
// destination that draws nothing. The context is referenced, not owned;
// destroy the object on the thread that made it.
class ScopedDrawingDestination {
 public:
  explicit ScopedDrawingDestination(cairo_t* cr);
  ~ScopedDrawingDestination();
  ScopedDrawingDestination(const ScopedDrawingDestination&) = delete;
  ScopedDrawingDestination& operator=(const ScopedDrawingDestination&) = delete;
};

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
