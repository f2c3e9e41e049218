#include "platform/graphics/desktop/window.h"

#include <gtest/gtest.h>

#include "platform/graphics/desktop/application.h"

namespace fw {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    Application::sharedApplication().setKeyWindow(nullptr);
    Application::sharedApplication().setMainWindow(nullptr);
  }
  Application& app = Application::sharedApplication();
};

TEST_F(WindowTest, KeyAndMainAreTheApplicationsChoice) {
  auto a = std::make_shared<Window>();
  auto b = std::make_shared<Window>();
  EXPECT_FALSE(a->isKeyWindow());
  a->makeKeyWindow();
  b->makeMainWindow();
  EXPECT_EQ(app.keyWindow(), a);
  EXPECT_EQ(app.mainWindow(), b);
  EXPECT_TRUE(a->isKeyWindow());
  EXPECT_FALSE(a->isMainWindow());
  EXPECT_FALSE(b->isKeyWindow());
  EXPECT_TRUE(b->isMainWindow());
  b->makeKeyWindow();
  EXPECT_FALSE(a->isKeyWindow());
  EXPECT_TRUE(b->isKeyWindow());
  // A window that is gone is no longer key or main.
  b.reset();
  EXPECT_EQ(app.keyWindow(), nullptr);
  EXPECT_EQ(app.mainWindow(), nullptr);
  // One not owned by a shared_ptr cannot become key.
  Window onStack;
  onStack.makeKeyWindow();
  EXPECT_FALSE(onStack.isKeyWindow());
}

TEST_F(WindowTest, FirstResponderIsHeldWeakly) {
  auto window = std::make_shared<Window>();
  EXPECT_EQ(window->firstResponder(), nullptr);
  auto view = std::make_shared<View>();
  window->makeFirstResponder(view);
  EXPECT_EQ(window->firstResponder(), view.get());
  window->makeFirstResponder(window);
  EXPECT_EQ(window->firstResponder(), window.get());
  window->makeFirstResponder(view);
  view.reset();
  EXPECT_EQ(window->firstResponder(), nullptr);
  window->makeFirstResponder(nullptr);
  EXPECT_EQ(window->firstResponder(), nullptr);
}

TEST_F(WindowTest, ViewsBelongToOneWindowAtATime) {
  auto first = std::make_shared<Window>();
  auto second = std::make_shared<Window>();
  auto view = std::make_shared<View>();
  EXPECT_EQ(view->window(), nullptr);
  first->addSubview(view);
  first->addSubview(view);
  EXPECT_EQ(view->window(), first);
  EXPECT_EQ(first->subviews().size(), 1u);
  second->addSubview(view);
  EXPECT_EQ(view->window(), second);
  EXPECT_TRUE(first->subviews().empty());
  second->removeSubview(*view);
  EXPECT_EQ(view->window(), nullptr);
  EXPECT_TRUE(second->subviews().empty());

  first->addSubview(view);
  first.reset();
  EXPECT_EQ(view->window(), nullptr) << "the window's end leaves its views without one";

  Window onStack;
  onStack.addSubview(view);
  EXPECT_EQ(view->window(), nullptr);
  EXPECT_TRUE(onStack.subviews().empty());
}

TEST_F(WindowTest, ClassNamesAndSheets) {
  auto window = std::make_shared<Window>();
  std::shared_ptr<Window> menu = std::make_shared<MenuWindow>();
  EXPECT_EQ(window->className(), u"NSWindow");
  EXPECT_EQ(menu->className(), u"NSCarbonMenuWindow");
  EXPECT_EQ(View().className(), u"NSView");

  EXPECT_EQ(window->attachedSheet(), nullptr);
  auto sheet = std::make_shared<Window>();
  window->setAttachedSheet(sheet);
  EXPECT_EQ(window->attachedSheet(), sheet);
  window->setAttachedSheet(window);
  EXPECT_EQ(window->attachedSheet(), sheet) << "a window is never its own sheet";
  window->setAttachedSheet(nullptr);
  EXPECT_EQ(window->attachedSheet(), nullptr);
}

}  // namespace
}  // namespace fw
