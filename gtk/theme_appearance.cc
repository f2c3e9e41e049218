#include "gtk/theme_appearance.h"

namespace fw::gtk {
namespace {

ColorPtr themeColor(GtkStyleContext* style, const char* name) {
  GdkRGBA rgba;
  // Deprecated after GTK 4.8 without a replacement that reads a theme's
  // named colors; it is what the 4.8 themes define their selection by.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  const gboolean found = gtk_style_context_lookup_color(style, name, &rgba);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!found) return nullptr;
  return Color::colorWithDeviceRed(rgba.red, rgba.green, rgba.blue, rgba.alpha);
}

void themeChanged(GObject*, GParamSpec*, gpointer widget) {
  setSystemAppearance(themeAppearance(GTK_WIDGET(widget)));
}

}  // namespace

Appearance themeAppearance(GtkWidget* widget) {
  Appearance appearance;
  appearance.controlTint = systemAppearance().controlTint;
  if (widget == nullptr) return appearance;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkStyleContext* style = gtk_widget_get_style_context(widget);
  G_GNUC_END_IGNORE_DEPRECATIONS
  appearance.alternateSelectedControlColor = themeColor(style, "theme_selected_bg_color");
  appearance.secondarySelectedControlColor =
      themeColor(style, "theme_unfocused_selected_bg_color");
  return appearance;
}

void followThemeAppearance(GtkWidget* widget) {
  if (widget == nullptr) return;
  setSystemAppearance(themeAppearance(widget));
  GtkSettings* settings = gtk_settings_get_for_display(gtk_widget_get_display(widget));
  // After GtkSettings' own handler, which loads the new theme.
  for (const char* signal :
       {"notify::gtk-theme-name", "notify::gtk-application-prefer-dark-theme"}) {
    g_signal_connect_object(settings, signal, G_CALLBACK(themeChanged), widget, G_CONNECT_AFTER);
  }
}

}  // namespace fw::gtk
