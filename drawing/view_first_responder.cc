#include "drawing/view_first_responder.h"

#include "platform/graphics/desktop/application.h"

namespace fw {

bool isFirstResponder(const View& view) {
  const std::shared_ptr<Window> window = view.window();
  if (!window) return false;
  // The responder is asked for first, key status second.
  if (window->firstResponder() != &view) return false;
  return window->isKeyWindow();
}

bool shouldDrawWithBlueTint(const View& view) {
  if (const auto window = view.window(); window && window->isKeyWindow()) return true;
  if (const auto window = view.window(); window && window->isMainWindow()) return true;
  const std::shared_ptr<Window> key = Application::sharedApplication().keyWindow();
  return key && key->className() == u"NSCarbonMenuWindow";
}

}  // namespace fw
