#include "platform/graphics/desktop/window.h"

#include <algorithm>

#include "platform/graphics/desktop/application.h"

namespace fw {

Application& Application::sharedApplication() {
  static Application* app = new Application();
  return *app;
}

std::u16string Window::className() const { return u"NSWindow"; }
std::u16string MenuWindow::className() const { return u"NSCarbonMenuWindow"; }
std::u16string View::className() const { return u"NSView"; }

bool Window::isKeyWindow() const {
  return Application::sharedApplication().keyWindow().get() == this;
}

bool Window::isMainWindow() const {
  return Application::sharedApplication().mainWindow().get() == this;
}

void Window::makeKeyWindow() {
  auto self = std::dynamic_pointer_cast<Window>(weak_from_this().lock());
  if (self) Application::sharedApplication().setKeyWindow(self);
}

void Window::makeMainWindow() {
  auto self = std::dynamic_pointer_cast<Window>(weak_from_this().lock());
  if (self) Application::sharedApplication().setMainWindow(self);
}

void Window::setAttachedSheet(std::shared_ptr<Window> sheet) {
  if (sheet.get() == this) return;
  sheet_ = std::move(sheet);
}

void Window::addSubview(const std::shared_ptr<View>& view) {
  auto self = std::static_pointer_cast<Window>(weak_from_this().lock());
  if (!view || !self) return;
  if (auto old = view->window_.lock()) {
    if (old.get() == this) return;
    old->removeSubview(*view);
  }
  views_.push_back(view);
  view->window_ = self;
}

void Window::removeSubview(const View& view) {
  auto it = std::find_if(views_.begin(), views_.end(),
                         [&](const std::shared_ptr<View>& v) { return v.get() == &view; });
  if (it == views_.end()) return;
  std::shared_ptr<View> keep = *it;  // the view outlives its removal from the list
  views_.erase(it);
  keep->window_.reset();
}

}  // namespace fw
