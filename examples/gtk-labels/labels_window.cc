#include "examples/gtk-labels/labels_window.h"

#include <string>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "drawing/view_first_responder.h"
#include "gtk/binding.h"
#include "gtk/drawing_area.h"
#include "gtk/theme_appearance.h"
#include "platform/graphics/graphics_context.h"
#include "platform/graphics/text/string_drawing.h"

namespace labels {
namespace {

const char16_t* const kNames[kRows] = {u"0 white", u"1 light blue", u"2 alternate selection",
                                       u"3 secondary selection", u"Selected Track"};

fw::TextAttributes blackText() {
  return {{std::u16string(fw::NSForegroundColorAttributeName), fw::KvColor::blackColor()},
          {std::u16string(fw::NSFontAttributeName), fw::Font{u"DejaVu Sans", 15}}};
}

void redraw(GObject*, GParamSpec*, gpointer area) { gtk_widget_queue_draw(GTK_WIDGET(area)); }

void focusOnClick(GtkGestureClick*, int, double, double, gpointer area) {
  gtk_widget_grab_focus(GTK_WIDGET(area));
}

}  // namespace

LabelsWindow makeLabelsWindow(GtkApplication* app) {
  LabelsWindow w;
  w.window = app != nullptr ? gtk_application_window_new(app) : gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(w.window), "gtk-labels");
  // Before the palette's first selection color: it keeps the first it gets.
  fw::gtk::followThemeAppearance(w.window);

  w.area = gtk_drawing_area_new();
  gtk_widget_set_focusable(w.area, TRUE);
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(w.area), static_cast<int>(kAreaWidth));
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(w.area),
                                      static_cast<int>(kRows * kRowHeight));
  GtkGesture* click = gtk_gesture_click_new();
  g_signal_connect(click, "pressed", G_CALLBACK(focusOnClick), w.area);
  gtk_widget_add_controller(w.area, GTK_EVENT_CONTROLLER(click));

  w.entry = gtk_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(w.entry), "Type here");
  gtk_widget_set_valign(w.entry, GTK_ALIGN_CENTER);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_widget_set_margin_start(box, 12);
  gtk_widget_set_margin_end(box, 12);
  gtk_widget_set_margin_top(box, 12);
  gtk_widget_set_margin_bottom(box, 12);
  gtk_box_append(GTK_BOX(box), w.area);
  gtk_box_append(GTK_BOX(box), w.entry);
  gtk_window_set_child(GTK_WINDOW(w.window), box);

  w.fwWindow = std::make_shared<fw::Window>();
  w.view = std::make_shared<fw::View>();
  w.draws = std::make_shared<int>(0);
  w.drawnTinted = std::make_shared<bool>(false);
  fw::gtk::bindView(w.area, w.view);
  fw::gtk::bindWindow(GTK_WINDOW(w.window), w.fwWindow);
  // The tint depends on key status and focus: draw again when either moves.
  for (const char* signal : {"notify::is-active", "notify::focus-widget"}) {
    g_signal_connect_object(w.window, signal, G_CALLBACK(redraw), w.area, G_CONNECT_AFTER);
  }

  std::weak_ptr<fw::View> view = w.view;
  fw::gtk::setDrawFunction(
      GTK_DRAWING_AREA(w.area),
      [view, draws = w.draws, drawnTinted = w.drawnTinted](float width, float) {
        const std::shared_ptr<fw::View> v = view.lock();
        const bool tinted = v && fw::isFirstResponder(*v) && fw::shouldDrawWithBlueTint(*v);
        const fw::TextAttributes black = blackText();
        const float textY = (kRowHeight - 2.0f - fw::sizeWithAttributes(u"Ag", black).height) / 2;
        for (int row = 0; row < kRows; ++row) {
          const fw::ColorPtr& background = fw::KvColor::colorForIndex(backgroundIndex(row, tinted));
          fw::Rect rect = rowRect(row);
          rect.size.width = width;
          // A theme without selection colors leaves those rows unpainted.
          if (background) fw::fillRect(rect, *background);
          fw::drawAtPoint(kNames[row], {kTextX, rect.origin.y + textY}, black, background.get());
        }
        ++*draws;
        *drawnTinted = tinted;
      });
  return w;
}

}  // namespace labels
