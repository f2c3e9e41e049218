#include "drawing/view_first_responder.h"

#include <gtest/gtest.h>

#include "platform/graphics/desktop/application.h"

namespace fw {
namespace {

class ViewFocusTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    Application::sharedApplication().setKeyWindow(nullptr);
    Application::sharedApplication().setMainWindow(nullptr);
  }

  std::shared_ptr<View> viewIn(const std::shared_ptr<Window>& window) {
    auto view = std::make_shared<View>();
    window->addSubview(view);
    return view;
  }
};

TEST_F(ViewFocusTest, FirstResponderNeedsBothTheResponderAndTheKeyWindow) {
  auto window = std::make_shared<Window>();
  auto view = viewIn(window);
  auto sibling = viewIn(window);
  auto loose = std::make_shared<View>();

  EXPECT_FALSE(isFirstResponder(*view)) << "no responder, not key";
  window->makeFirstResponder(view);
  EXPECT_FALSE(isFirstResponder(*view)) << "responder of a window that is not key";
  window->makeKeyWindow();
  EXPECT_TRUE(isFirstResponder(*view));
  EXPECT_FALSE(isFirstResponder(*sibling));
  window->makeFirstResponder(window);
  EXPECT_FALSE(isFirstResponder(*view));
  window->makeFirstResponder(loose);
  EXPECT_FALSE(isFirstResponder(*loose)) << "a view in no window";
  window->makeFirstResponder(nullptr);
  EXPECT_FALSE(isFirstResponder(*view));
}

TEST_F(ViewFocusTest, BlueTintFollowsKeyThenMainThenAMenuAsKey) {
  auto window = std::make_shared<Window>();
  auto other = std::make_shared<Window>();
  std::shared_ptr<Window> menu = std::make_shared<MenuWindow>();
  auto view = viewIn(window);
  auto loose = std::make_shared<View>();
  Application& app = Application::sharedApplication();

  const struct {
    const char* name;
    std::shared_ptr<Window> key, main;
    const View* view;
    bool tinted;
  } cases[] = {
      {"in the key window", window, nullptr, view.get(), true},
      {"in the key and main window", window, window, view.get(), true},
      {"in the main window, another is key", other, window, view.get(), true},
      {"in a background window, a menu is key", menu, other, view.get(), true},
      {"in a background window, another is key", other, other, view.get(), false},
      {"in a background window, none is key", nullptr, nullptr, view.get(), false},
      {"in no window, an ordinary window is key", window, window, loose.get(), false},
      {"in no window, a menu is key", menu, nullptr, loose.get(), true},
      {"in no window, none is key", nullptr, nullptr, loose.get(), false},
  };
  for (const auto& c : cases) {
    app.setKeyWindow(c.key);
    app.setMainWindow(c.main);
    EXPECT_EQ(shouldDrawWithBlueTint(*c.view), c.tinted) << c.name;
  }
}

TEST_F(ViewFocusTest, AMenuIsRecognisedByItsClassNameAlone) {
  // A window of another kind that merely claims the menu class name counts.
  struct Impostor : Window {
    std::u16string className() const override { return u"NSCarbonMenuWindow"; }
  };
  struct NearMiss : Window {
    std::u16string className() const override { return u"NSCarbonMenuWindow2"; }
  };
  auto loose = std::make_shared<View>();
  std::shared_ptr<Window> impostor = std::make_shared<Impostor>();
  std::shared_ptr<Window> nearMiss = std::make_shared<NearMiss>();
  impostor->makeKeyWindow();
  EXPECT_TRUE(shouldDrawWithBlueTint(*loose));
  nearMiss->makeKeyWindow();
  EXPECT_FALSE(shouldDrawWithBlueTint(*loose));
}

TEST_F(ViewFocusTest, AnAttachedSheetDoesNotTintTheWindowBelow) {
  auto window = std::make_shared<Window>();
  auto sheet = std::make_shared<Window>();
  auto view = viewIn(window);
  window->setAttachedSheet(sheet);
  window->makeFirstResponder(view);
  sheet->makeKeyWindow();
  EXPECT_FALSE(shouldDrawWithBlueTint(*view));
  EXPECT_FALSE(isFirstResponder(*view));
  window->makeMainWindow();
  EXPECT_TRUE(shouldDrawWithBlueTint(*view)) << "judged by its own main status";
}

}  // namespace
}  // namespace fw
