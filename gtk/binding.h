#pragma once

// Our windows and views driven by real GTK 4 windows and widgets.
//
// An fw::Window bound to a GtkWindow follows it:
// - it is the application's key window and main window while the GTK
//   window is active (has the keyboard focus of the desktop), and neither
//   once another window is;
// - its first responder is the bound fw::View of the GTK window's focus
//   widget, or none when that widget has no view bound (or there is none);
// - when the GTK window is shown modal and transient for another bound
//   window, it is that window's attached sheet, until it is hidden, stops
//   being modal or goes.
// An fw::View bound to a GtkWidget is in the fw::Window bound to that
// widget's root, and in none while the widget is in no bound window.
//
// Neither side owns the other. The GTK object holds our object weakly and
// our object refers to no GTK object, so destroying either ends the
// binding: a destroyed GtkWindow leaves its fw::Window neither key nor
// main, without a first responder or a sheet; an fw::Window that goes
// leaves its GtkWindow unbound. Interface thread only, after gtk_init.
//
//   auto window = std::make_shared<fw::Window>();
//   fw::gtk::bindWindow(GTK_WINDOW(gtkWindow), window);
//   fw::gtk::bindView(area, labelsView);   // area: a GtkWidget in gtkWindow

#include <gtk/gtk.h>

#include <memory>

#include "platform/graphics/desktop/window.h"

namespace fw::gtk {

// Binds `window` to `gtkWindow`, replacing an earlier binding of
// `gtkWindow`, and brings its key, main, responder, sheet and view state up
// to date at once. A null `window` unbinds.
void bindWindow(GtkWindow* gtkWindow, const std::shared_ptr<Window>& window);
// The window bound to `gtkWindow`, or nullptr.
[[nodiscard]] std::shared_ptr<Window> boundWindow(GtkWindow* gtkWindow);

// Binds `view` to `widget`, replacing an earlier binding of `widget`, and
// puts it into the bound window of the widget's root at once. A null
// `view` unbinds.
void bindView(GtkWidget* widget, const std::shared_ptr<View>& view);
// The view bound to `widget`, or nullptr.
[[nodiscard]] std::shared_ptr<View> boundView(GtkWidget* widget);

}  // namespace fw::gtk
