#pragma once

// Whether a view holds the keyboard focus, and whether it should draw in
// the active, blue-tinted style. Interface thread only.

#include "platform/graphics/desktop/window.h"

namespace fw {

// True when the view is the first responder of its window (that very
// object) and that window is the key window. A view in no window: false.
[[nodiscard]] bool isFirstResponder(const View& view);

// True when the view's window is the key window, or else its main window,
// or else when the application's key window is a menu window (class name
// "NSCarbonMenuWindow"). A sheet attached to the window plays no part: the
// window is judged by its own key and main status.
[[nodiscard]] bool shouldDrawWithBlueTint(const View& view);

}  // namespace fw
