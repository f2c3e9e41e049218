#include "gtk/drawing_area.h"

#include <exception>
#include <string>

#include "platform/diagnostics/log.h"
#include "platform/graphics/graphics_context.h"

namespace fw::gtk {
namespace {

void drawArea(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data) {
  const auto& draw = *static_cast<const DrawFunction*>(data);
  if (!draw) return;
  ScopedDrawingDestination destination(cr);
  try {
    draw(static_cast<float>(width), static_cast<float>(height));
  } catch (const std::exception& e) {
    logLine(std::string("fwkit: drawing area: ") + e.what());
  } catch (...) {
    logLine(std::string_view("fwkit: drawing area: unknown exception"));
  }
}

}  // namespace

void setDrawFunction(GtkDrawingArea* area, DrawFunction draw) {
  if (area == nullptr) return;
  gtk_drawing_area_set_draw_func(area, drawArea, new DrawFunction(std::move(draw)),
                                 [](gpointer p) { delete static_cast<DrawFunction*>(p); });
}

}  // namespace fw::gtk
