#pragma once

// Shared by the GTK tests, which run on a private X server (with-display):
// GTK is initialised once per program (exit 77, skipped, when there is no
// display), and helpers wait on the main context for what the X server
// and GTK do asynchronously.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/graphics/desktop/application.h"
#include "platform/runtime/loop/run_loop.h"

namespace fw::test_support {

inline constexpr double kDisplayDeadline = 5.0;  // seconds; only reached when something is broken

class GtkDisplay : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!gtk_init_check()) {
      std::fprintf(stderr,
                   "skipped: no X display for GTK (run through tests/support/with-display)\n");
      std::exit(77);
    }
  }
};

inline const ::testing::Environment* const kGtkDisplay =
    ::testing::AddGlobalTestEnvironment(new GtkDisplay);

// Iterates the main context until `done` holds; false when it never did.
[[nodiscard]] inline bool waitFor(const std::function<bool()>& done) {
  return RunLoop::runUntil(done, kDisplayDeadline);
}

// Presents `window` and waits until the X server has made it the active one.
[[nodiscard]] inline bool presentAndWait(GtkWidget* window) {
  gtk_window_present(GTK_WINDOW(window));
  return waitFor([&] { return gtk_window_is_active(GTK_WINDOW(window)) != FALSE; });
}

// What `widget` shows now, rendered by GTK's own snapshot of it into a new
// ARGB32 image surface of its size (the caller destroys it): the same
// render nodes the window's cairo renderer draws on screen.
[[nodiscard]] inline cairo_surface_t* snapshotWidget(GtkWidget* widget) {
  const int w = gtk_widget_get_width(widget);
  const int h = gtk_widget_get_height(widget);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  GdkPaintable* paintable = gtk_widget_paintable_new(widget);
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, GDK_SNAPSHOT(snapshot), w, h);
  if (GskRenderNode* node = gtk_snapshot_free_to_node(snapshot)) {
    cairo_t* cr = cairo_create(surface);
    gsk_render_node_draw(node, cr);
    cairo_destroy(cr);
    gsk_render_node_unref(node);
  }
  g_object_unref(paintable);
  cairo_surface_flush(surface);
  return surface;
}

// Leaves the application without a key or main window.
inline void resetApplication() {
  Application::sharedApplication().setKeyWindow(nullptr);
  Application::sharedApplication().setMainWindow(nullptr);
}

}  // namespace fw::test_support
