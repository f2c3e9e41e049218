// Built where the installed fwkit has its GTK component; needs no display.
#include <cstdio>

#include "gtk/binding.h"
#include "gtk/drawing_area.h"
#include "gtk/theme_appearance.h"

int main() {
  const bool ok = fw::gtk::boundWindow(nullptr) == nullptr &&
                  fw::gtk::themeAppearance(nullptr).alternateSelectedControlColor == nullptr;
  if (!ok) std::printf("gtk_consumer: unexpected result\n");
  return ok ? 0 : 1;
}
