#pragma once

// The system appearance taken from the GTK theme: the selection colors are
// the theme's selected background colors, "theme_selected_bg_color" for the
// active one (alternateSelectedControlColor) and
// "theme_unfocused_selected_bg_color" for the inactive one
// (secondarySelectedControlColor). GTK has no control tint; the tint in
// force is kept.
//
// What the palette has already made from an earlier appearance keeps its
// value: a theme change reaches only colors that are made afterwards.

#include <gtk/gtk.h>

#include "platform/graphics/desktop/appearance.h"

namespace fw::gtk {

// The appearance of the theme that styles `widget` now. A color the theme
// does not define is absent.
[[nodiscard]] Appearance themeAppearance(GtkWidget* widget);

// Sets the system appearance from the theme of `widget` now, and again
// after every change of the display's theme (its name or its dark
// preference), for as long as `widget` lives.
void followThemeAppearance(GtkWidget* widget);

}  // namespace fw::gtk
