#pragma once

// Windows and views, as far as focus and activation go. Like the
// application object, they belong to the interface thread.

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/object.h"

namespace fw {

class View;

class Window : public Object {
 public:
  Window() = default;

  // The name of the window's class: "NSWindow" for an ordinary window.
  [[nodiscard]] virtual std::u16string className() const;

  // The object that receives the window's keyboard events; nullptr when
  // there is none. It is held weakly: a responder that is destroyed stops
  // being the first responder.
  [[nodiscard]] Object* firstResponder() const { return firstResponder_.lock().get(); }
  // nullptr clears the first responder.
  void makeFirstResponder(const std::shared_ptr<Object>& responder) { firstResponder_ = responder; }

  // Whether the application's key (main) window is this window.
  [[nodiscard]] bool isKeyWindow() const;
  [[nodiscard]] bool isMainWindow() const;
  // Makes this window the application's key (main) window. Only works on a
  // window owned by a shared_ptr.
  void makeKeyWindow();
  void makeMainWindow();

  // The sheet shown on top of this window, or nullptr. A window is never its
  // own sheet: attaching it to itself is ignored.
  [[nodiscard]] const std::shared_ptr<Window>& attachedSheet() const { return sheet_; }
  void setAttachedSheet(std::shared_ptr<Window> sheet);

  // Puts `view` into this window, taking it out of any other window first.
  // Only works on a window owned by a shared_ptr.
  // The window keeps its views alive; each view refers back to it weakly.
  void addSubview(const std::shared_ptr<View>& view);
  void removeSubview(const View& view);
  [[nodiscard]] const std::vector<std::shared_ptr<View>>& subviews() const { return views_; }

 private:
  std::weak_ptr<Object> firstResponder_;
  std::shared_ptr<Window> sheet_;
  std::vector<std::shared_ptr<View>> views_;
};

// The kind of window a pop-up or pull-down menu is shown in while it is open.
class MenuWindow : public Window {
 public:
  // "NSCarbonMenuWindow".
  [[nodiscard]] std::u16string className() const override;
};

class View : public Object {
 public:
  View() = default;

  // The window holding the view, or nullptr when it is in none (or that
  // window is gone).
  [[nodiscard]] std::shared_ptr<Window> window() const { return window_.lock(); }

  // "NSView".
  [[nodiscard]] virtual std::u16string className() const;

 private:
  friend class Window;
  std::weak_ptr<Window> window_;
};

}  // namespace fw
