#pragma once

// A GtkDrawingArea drawn with fwkit: its draw function's cairo context is
// the drawing destination while `draw` runs, so drawAtPoint, drawInRect,
// attributed strings and fillRect paint into the area, in its own
// coordinates (top-left origin, one unit a logical pixel).
//
//   fw::gtk::setDrawFunction(area, [](float width, float height) {
//     fw::fillRect({{0, 0}, {width, height}}, *fw::KvColor::whiteColor());
//     fw::drawAtPoint(u"Selected Track", {8, 8}, attributes, background);
//   });

#include <gtk/gtk.h>

#include <functional>

namespace fw::gtk {

using DrawFunction = std::function<void(float width, float height)>;

// Replaces the area's draw function; an empty `draw` draws nothing. The
// area keeps `draw` until it is replaced or the area goes. An exception
// thrown by `draw` is logged and ends that one drawing pass, rather than
// unwinding through GTK.
void setDrawFunction(GtkDrawingArea* area, DrawFunction draw);

}  // namespace fw::gtk
