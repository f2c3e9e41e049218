#include "gtk/binding.h"

#include <gtest/gtest.h>

#include "drawing/view_first_responder.h"
#include "platform/graphics/desktop/application.h"
#include "tests/support/gtk_display.h"

namespace fw {
namespace {

using test_support::presentAndWait;
using test_support::waitFor;

// A GTK window with a text entry and a focusable drawing area side by side,
// the area bound to `view`, the window to `window`.
struct BoundPair {
  GtkWidget* gtkWindow = gtk_window_new();
  GtkWidget* entry = gtk_entry_new();
  GtkWidget* area = gtk_drawing_area_new();
  std::shared_ptr<Window> window = std::make_shared<Window>();
  std::shared_ptr<View> view = std::make_shared<View>();
  BoundPair() {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    gtk_widget_set_focusable(area, TRUE);
    gtk_widget_set_size_request(area, 60, 30);
    gtk_box_append(GTK_BOX(box), entry);
    gtk_box_append(GTK_BOX(box), area);
    gtk_window_set_child(GTK_WINDOW(gtkWindow), box);
    gtk::bindView(area, view);
    gtk::bindWindow(GTK_WINDOW(gtkWindow), window);
  }
  ~BoundPair() {
    if (gtkWindow != nullptr) gtk_window_destroy(GTK_WINDOW(gtkWindow));
  }
  void destroy() {
    gtk_window_destroy(GTK_WINDOW(gtkWindow));
    gtkWindow = nullptr;
  }
};

class GtkBinding : public ::testing::Test {
 protected:
  void SetUp() override { test_support::resetApplication(); }
  void TearDown() override {
    test_support::resetApplication();
    RunLoop::runPending();
  }
};

TEST_F(GtkBinding, KeyAndMainFollowTheActiveWindow) {
  BoundPair first;
  BoundPair second;
  Application& app = Application::sharedApplication();
  const struct {
    BoundPair& presented;
    BoundPair& other;
  } steps[] = {{first, second}, {second, first}, {first, second}};
  for (const auto& step : steps) {
    ASSERT_TRUE(presentAndWait(step.presented.gtkWindow));
    EXPECT_TRUE(waitFor([&] { return !gtk_window_is_active(GTK_WINDOW(step.other.gtkWindow)); }));
    EXPECT_EQ(app.keyWindow(), step.presented.window);
    EXPECT_EQ(app.mainWindow(), step.presented.window);
    EXPECT_FALSE(step.other.window->isKeyWindow());
    EXPECT_TRUE(shouldDrawWithBlueTint(*step.presented.view));
    EXPECT_FALSE(shouldDrawWithBlueTint(*step.other.view));
  }
  // A window bound while it is active is key at once.
  auto again = std::make_shared<Window>();
  gtk::bindWindow(GTK_WINDOW(first.gtkWindow), again);
  EXPECT_EQ(app.keyWindow(), again);
  EXPECT_EQ(gtk::boundWindow(GTK_WINDOW(first.gtkWindow)), again);
  EXPECT_FALSE(first.window->isKeyWindow()) << "the binding it replaced is over";
}

TEST_F(GtkBinding, FirstResponderIsTheViewOfTheFocusWidget) {
  BoundPair pair;
  EXPECT_EQ(pair.view->window(), pair.window) << "in the window of its widget's root";
  ASSERT_TRUE(presentAndWait(pair.gtkWindow));
  const struct {
    GtkWidget* focus;
    const Object* responder;
  } steps[] = {{pair.area, pair.view.get()}, {pair.entry, nullptr}, {pair.area, pair.view.get()}};
  for (const auto& step : steps) {
    ASSERT_TRUE(gtk_widget_grab_focus(step.focus));
    EXPECT_TRUE(waitFor([&] { return pair.window->firstResponder() == step.responder; }));
    EXPECT_EQ(isFirstResponder(*pair.view), step.responder != nullptr);
  }
  // Out of the window, the view is in none; back in, it is again.
  GtkWidget* box = gtk_widget_get_parent(pair.area);
  g_object_ref(pair.area);
  gtk_box_remove(GTK_BOX(box), pair.area);
  EXPECT_EQ(pair.view->window(), nullptr);
  EXPECT_EQ(pair.window->firstResponder(), nullptr);
  gtk_box_append(GTK_BOX(box), pair.area);
  g_object_unref(pair.area);
  EXPECT_EQ(pair.view->window(), pair.window);
  EXPECT_EQ(gtk::boundView(pair.area), pair.view);
  EXPECT_EQ(gtk::boundView(pair.entry), nullptr);
}

TEST_F(GtkBinding, ASheetIsAModalWindowTransientForIt) {
  BoundPair parent;
  BoundPair sheet;
  ASSERT_TRUE(presentAndWait(parent.gtkWindow));
  gtk_window_set_transient_for(GTK_WINDOW(sheet.gtkWindow), GTK_WINDOW(parent.gtkWindow));
  ASSERT_TRUE(presentAndWait(sheet.gtkWindow));
  EXPECT_EQ(parent.window->attachedSheet(), nullptr) << "transient but not modal";
  gtk_window_set_modal(GTK_WINDOW(sheet.gtkWindow), TRUE);
  EXPECT_EQ(parent.window->attachedSheet(), sheet.window);
  EXPECT_TRUE(sheet.window->isKeyWindow());
  gtk_widget_set_visible(sheet.gtkWindow, FALSE);
  EXPECT_EQ(parent.window->attachedSheet(), nullptr) << "hidden";
  ASSERT_TRUE(presentAndWait(sheet.gtkWindow));
  EXPECT_EQ(parent.window->attachedSheet(), sheet.window);
  sheet.destroy();
  EXPECT_EQ(parent.window->attachedSheet(), nullptr) << "destroyed";
}

TEST_F(GtkBinding, DestroyingEitherSideEndsTheBinding) {
  Application& app = Application::sharedApplication();
  {
    BoundPair pair;
    ASSERT_TRUE(presentAndWait(pair.gtkWindow));
    ASSERT_TRUE(gtk_widget_grab_focus(pair.area));
    ASSERT_TRUE(waitFor([&] { return isFirstResponder(*pair.view); }));
    const std::shared_ptr<Window> window = pair.window;
    const std::shared_ptr<View> view = pair.view;
    pair.destroy();
    EXPECT_EQ(app.keyWindow(), nullptr);
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_EQ(window->firstResponder(), nullptr);
    EXPECT_EQ(view->window(), nullptr) << "its widget went with the GTK window";
  }
  {
    BoundPair pair;
    GtkWidget* gtkWindow = pair.gtkWindow;
    std::weak_ptr<Window> gone = pair.window;
    pair.window.reset();
    pair.view.reset();
    EXPECT_TRUE(gone.expired()) << "the GTK side does not keep our window alive";
    EXPECT_EQ(gtk::boundWindow(GTK_WINDOW(gtkWindow)), nullptr);
    EXPECT_EQ(gtk::boundView(pair.area), nullptr);
    // The GTK window goes on working, bound to nothing.
    ASSERT_TRUE(presentAndWait(gtkWindow));
    ASSERT_TRUE(gtk_widget_grab_focus(pair.area));
    RunLoop::runPending();
    EXPECT_EQ(app.keyWindow(), nullptr);
  }
}

}  // namespace
}  // namespace fw
