#pragma once

// The window of gtk-labels: a drawing area that shows the four palette
// backgrounds as labels, each drawn by drawAtPoint(..., backgroundColor) in
// the text color that background calls for, and a selected row below them
// that uses the blue tint (the alternate selection color, white text) only
// while the area's view is the first responder and should draw tinted, and
// the secondary selection color otherwise. A text entry beside the area
// takes the focus away from it.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>

#include "platform/graphics/desktop/window.h"
#include "platform/graphics/geometry.h"

namespace labels {

inline constexpr float kRowHeight = 36.0f;
inline constexpr float kAreaWidth = 300.0f;
inline constexpr int kRows = 5;  // four palette backgrounds, then the selected row
inline constexpr float kTextX = 12.0f;

// Row `row` of the area, in the area's coordinates.
[[nodiscard]] inline fw::Rect rowRect(int row) {
  return {{0.0f, row * kRowHeight}, {kAreaWidth, kRowHeight - 2.0f}};
}

// The palette index of row `row`'s background: the rows' own index, and for
// the selected row 2 when `tinted`, 3 otherwise.
[[nodiscard]] inline std::int32_t backgroundIndex(int row, bool tinted) {
  return row < 4 ? row : (tinted ? 2 : 3);
}

struct LabelsWindow {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  GtkWidget* entry = nullptr;
  std::shared_ptr<fw::Window> fwWindow;
  std::shared_ptr<fw::View> view;
  // How often the area has been drawn, and whether it was tinted last time.
  std::shared_ptr<int> draws;
  std::shared_ptr<bool> drawnTinted;
};

// Makes the window, in `app` when one is given, with the selection colors
// of its GTK theme, bound to an fw::Window and its area to an fw::View.
// Not yet shown.
[[nodiscard]] LabelsWindow makeLabelsWindow(GtkApplication* app);

}  // namespace labels
