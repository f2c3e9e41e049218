// A GTK 4 window drawn with fwkit: the palette's four backgrounds as
// labels, each in the text color its background calls for, and a selected
// row that is blue-tinted only while the drawing area has the keyboard
// focus of the active window. Click the area or the entry beside it to move
// the focus.
//
//   gtk-labels

#include <gtk/gtk.h>

#include <memory>

#include "examples/gtk-labels/labels_window.h"

namespace {

void activate(GtkApplication* app, gpointer data) {
  auto& window = *static_cast<labels::LabelsWindow*>(data);
  window = labels::makeLabelsWindow(app);
  gtk_window_present(GTK_WINDOW(window.window));
  gtk_widget_grab_focus(window.area);
}

}  // namespace

int main(int argc, char** argv) {
  GtkApplication* app =
      gtk_application_new("com.fetchwright.fwkit.GtkLabels", G_APPLICATION_NON_UNIQUE);
  labels::LabelsWindow window;
  g_signal_connect(app, "activate", G_CALLBACK(activate), &window);
  const int status = g_application_run(G_APPLICATION(app), argc, argv);
  g_object_unref(app);
  return status;
}
