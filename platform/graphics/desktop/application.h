#pragma once

// The application object: which window takes keyboard events (the key
// window) and which one is the main window. It belongs to the interface
// thread and takes no lock.

#include <memory>

namespace fw {

class Window;

class Application {
 public:
  // The process's one application object.
  [[nodiscard]] static Application& sharedApplication();

  // nullptr when there is none. Windows are held weakly: a destroyed window
  // stops being key or main.
  [[nodiscard]] std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  [[nodiscard]] std::shared_ptr<Window> mainWindow() const { return mainWindow_.lock(); }
  // nullptr leaves the application without one.
  void setKeyWindow(const std::shared_ptr<Window>& window) { keyWindow_ = window; }
  void setMainWindow(const std::shared_ptr<Window>& window) { mainWindow_ = window; }

 private:
  Application() = default;
  std::weak_ptr<Window> keyWindow_;
  std::weak_ptr<Window> mainWindow_;
};

}  // namespace fw
