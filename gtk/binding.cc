#include "gtk/binding.h"

#include <vector>

#include "platform/graphics/desktop/application.h"

namespace fw::gtk {
namespace {

// Kept as object data on the GTK side and freed with it; the signal
// handlers that take it as their data are gone by then.
struct WindowLink {
  std::weak_ptr<Window> window;
  // The window this one is attached to as a sheet.
  std::weak_ptr<Window> sheetOf;
};

struct ViewLink {
  std::weak_ptr<View> view;
};

constexpr const char* kWindowKey = "fwkit-window";
constexpr const char* kViewKey = "fwkit-view";

WindowLink* windowLink(GtkWindow* gtkWindow) {
  return static_cast<WindowLink*>(g_object_get_data(G_OBJECT(gtkWindow), kWindowKey));
}

ViewLink* viewLink(GtkWidget* widget) {
  return static_cast<ViewLink*>(g_object_get_data(G_OBJECT(widget), kViewKey));
}

void resign(const std::shared_ptr<Window>& window) {
  Application& app = Application::sharedApplication();
  if (app.keyWindow() == window) app.setKeyWindow(nullptr);
  if (app.mainWindow() == window) app.setMainWindow(nullptr);
}

void followActivation(GtkWindow* gtkWindow, GParamSpec*, gpointer data) {
  const std::shared_ptr<Window> window = static_cast<WindowLink*>(data)->window.lock();
  if (!window) return;
  if (gtk_window_is_active(gtkWindow)) {
    window->makeKeyWindow();
    window->makeMainWindow();
  } else {
    // Another window may have become key already; only our own status ends.
    resign(window);
  }
}

void followFocus(GtkWindow* gtkWindow, GParamSpec*, gpointer data) {
  const std::shared_ptr<Window> window = static_cast<WindowLink*>(data)->window.lock();
  if (!window) return;
  GtkWidget* focus = gtk_window_get_focus(gtkWindow);
  window->makeFirstResponder(focus != nullptr ? boundView(focus) : nullptr);
}

void detachSheet(WindowLink& link, const std::shared_ptr<Window>& window,
                 const std::shared_ptr<Window>& keepOn) {
  const std::shared_ptr<Window> old = link.sheetOf.lock();
  if (old && old != keepOn && window && old->attachedSheet() == window) {
    old->setAttachedSheet(nullptr);
  }
  link.sheetOf = keepOn;
}

void followSheet(GtkWindow* gtkWindow, GParamSpec*, gpointer data) {
  auto& link = *static_cast<WindowLink*>(data);
  const std::shared_ptr<Window> window = link.window.lock();
  std::shared_ptr<Window> parent;
  if (window && gtk_window_get_modal(gtkWindow) && gtk_widget_get_visible(GTK_WIDGET(gtkWindow))) {
    if (GtkWindow* below = gtk_window_get_transient_for(gtkWindow)) parent = boundWindow(below);
  }
  if (parent == window) parent = nullptr;
  detachSheet(link, window, parent);
  if (parent && parent->attachedSheet() != window) parent->setAttachedSheet(window);
}

void endWindow(GtkWidget*, gpointer data) {
  auto& link = *static_cast<WindowLink*>(data);
  if (const std::shared_ptr<Window> window = link.window.lock()) {
    resign(window);
    window->makeFirstResponder(nullptr);
    detachSheet(link, window, nullptr);
    if (window->attachedSheet()) window->setAttachedSheet(nullptr);
  }
  link.window.reset();
}

void followRoot(GtkWidget* widget, GParamSpec*, gpointer data) {
  const std::shared_ptr<View> view = static_cast<ViewLink*>(data)->view.lock();
  if (!view) return;
  GtkRoot* root = gtk_widget_get_root(widget);
  const std::shared_ptr<Window> now =
      root != nullptr && GTK_IS_WINDOW(root) ? boundWindow(GTK_WINDOW(root)) : nullptr;
  const std::shared_ptr<Window> before = view->window();
  if (before == now) return;
  if (before) {
    // A view that left the window no longer takes its keyboard events.
    if (before->firstResponder() == view.get()) before->makeFirstResponder(nullptr);
    before->removeSubview(*view);
  }
  if (now) now->addSubview(view);
}

void endView(GtkWidget*, gpointer data) {
  auto& link = *static_cast<ViewLink*>(data);
  if (const std::shared_ptr<View> view = link.view.lock()) {
    if (const std::shared_ptr<Window> window = view->window()) window->removeSubview(*view);
  }
  link.view.reset();
}

// Puts every bound view below `widget` into the window of its root.
void placeViews(GtkWidget* widget) {
  if (ViewLink* link = viewLink(widget)) followRoot(widget, nullptr, link);
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
       child = gtk_widget_get_next_sibling(child)) {
    placeViews(child);
  }
}

}  // namespace

void bindWindow(GtkWindow* gtkWindow, const std::shared_ptr<Window>& window) {
  if (gtkWindow == nullptr) return;
  WindowLink* link = windowLink(gtkWindow);
  if (link == nullptr) {
    link = new WindowLink;
    g_object_set_data_full(G_OBJECT(gtkWindow), kWindowKey, link,
                           [](gpointer p) { delete static_cast<WindowLink*>(p); });
    g_signal_connect(gtkWindow, "notify::is-active", G_CALLBACK(followActivation), link);
    g_signal_connect(gtkWindow, "notify::focus-widget", G_CALLBACK(followFocus), link);
    for (const char* signal : {"notify::modal", "notify::transient-for", "notify::visible"}) {
      g_signal_connect(gtkWindow, signal, G_CALLBACK(followSheet), link);
    }
    g_signal_connect(gtkWindow, "destroy", G_CALLBACK(endWindow), link);
  }
  if (const std::shared_ptr<Window> old = link->window.lock(); old && old != window) {
    endWindow(GTK_WIDGET(gtkWindow), link);
  }
  link->window = window;
  if (!window) return;
  placeViews(GTK_WIDGET(gtkWindow));
  followActivation(gtkWindow, nullptr, link);
  followFocus(gtkWindow, nullptr, link);
  followSheet(gtkWindow, nullptr, link);
}

std::shared_ptr<Window> boundWindow(GtkWindow* gtkWindow) {
  if (gtkWindow == nullptr) return nullptr;
  const WindowLink* link = windowLink(gtkWindow);
  return link != nullptr ? link->window.lock() : nullptr;
}

void bindView(GtkWidget* widget, const std::shared_ptr<View>& view) {
  if (widget == nullptr) return;
  ViewLink* link = viewLink(widget);
  if (link == nullptr) {
    link = new ViewLink;
    g_object_set_data_full(G_OBJECT(widget), kViewKey, link,
                           [](gpointer p) { delete static_cast<ViewLink*>(p); });
    g_signal_connect(widget, "notify::root", G_CALLBACK(followRoot), link);
    g_signal_connect(widget, "destroy", G_CALLBACK(endView), link);
  }
  if (const std::shared_ptr<View> old = link->view.lock(); old && old != view) {
    endView(widget, link);
  }
  link->view = view;
  if (!view) return;
  followRoot(widget, nullptr, link);
  // The widget may hold the focus already.
  if (GtkRoot* root = gtk_widget_get_root(widget); root != nullptr && GTK_IS_WINDOW(root)) {
    if (WindowLink* windowSide = windowLink(GTK_WINDOW(root))) {
      followFocus(GTK_WINDOW(root), nullptr, windowSide);
    }
  }
}

std::shared_ptr<View> boundView(GtkWidget* widget) {
  if (widget == nullptr) return nullptr;
  const ViewLink* link = viewLink(widget);
  return link != nullptr ? link->view.lock() : nullptr;
}

}  // namespace fw::gtk
