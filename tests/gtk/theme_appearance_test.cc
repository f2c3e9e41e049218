#include "gtk/theme_appearance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "drawing/kv_color.h"
#include "tests/support/gtk_display.h"

namespace fw {
namespace {

using Rgb = std::tuple<long, long, long>;

Rgb bytes(const ColorPtr& c) {
  if (!c) return {-1, -1, -1};
  return {std::lround(c->redComponent() * 255), std::lround(c->greenComponent() * 255),
          std::lround(c->blueComponent() * 255)};
}

void setTheme(const char* name) {
  g_object_set(gtk_settings_get_default(), "gtk-theme-name", name, nullptr);
}

TEST(GtkThemeAppearance, SelectionColorsFollowTheThemeAndThePaletteKeepsItsOwn) {
  GtkWidget* window = gtk_window_new();
  setTheme("Adwaita");
  gtk::followThemeAppearance(window);
  // The palette's selection color, made now or earlier, whatever the theme.
  const ColorPtr& palette = KvColor::alternateSelectedControlColor();
  ASSERT_NE(palette, nullptr);
  const Color* paletteObject = palette.get();
  const Rgb paletteBytes = bytes(palette);

  // The selected background colors the GTK 4.8 themes define, active and
  // unfocused alike: Adwaita #3584e4, HighContrast #1b6acb, Adwaita's dark
  // variant #15539e.
  const struct {
    const char* theme;
    Rgb selected;
  } themes[] = {
      {"HighContrast", {0x1b, 0x6a, 0xcb}},
      {"Adwaita-dark", {0x15, 0x53, 0x9e}},
      {"Adwaita", {0x35, 0x84, 0xe4}},
  };
  for (const auto& t : themes) {
    SCOPED_TRACE(t.theme);
    setTheme(t.theme);
    const Appearance now = systemAppearance();
    EXPECT_EQ(bytes(now.alternateSelectedControlColor), t.selected);
    EXPECT_EQ(bytes(now.secondarySelectedControlColor), t.selected);
    EXPECT_EQ(bytes(Color::alternateSelectedControlColor()), t.selected);
    EXPECT_EQ(KvColor::alternateSelectedControlColor().get(), paletteObject);
    EXPECT_EQ(bytes(KvColor::alternateSelectedControlColor()), paletteBytes);
  }
  gtk_window_destroy(GTK_WINDOW(window));
  // Once the widget is gone, a theme change no longer reaches the appearance.
  setTheme("HighContrast");
  EXPECT_EQ(bytes(systemAppearance().alternateSelectedControlColor), (Rgb{0x35, 0x84, 0xe4}));
  setTheme("Adwaita");
  setSystemAppearance(defaultAppearance());
}

}  // namespace
}  // namespace fw
