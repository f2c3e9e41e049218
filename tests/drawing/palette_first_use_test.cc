// What the palette makes on first use depends on the system appearance at
// that moment, and what it made then never changes. Each scenario needs a
// process whose palette is still empty, so the test below runs each one in a
// fresh copy of this test program.

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <tuple>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "platform/graphics/appearance.h"
#include "platform/graphics/string_drawing.h"
#include "tests/support/image_pixels.h"

namespace fw {
namespace {

constexpr const char* kScenarioVariable = "FW_PALETTE_SCENARIO";

using fw::test_support::Rgb;

using fw::test_support::coreColors;

void expectRgb(const ColorPtr& c, float r, float g, float b) {
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->redComponent(), r);
  EXPECT_EQ(c->greenComponent(), g);
  EXPECT_EQ(c->blueComponent(), b);
}

Appearance graphiteAppearance() {
  Appearance a;
  a.alternateSelectedControlColor = Color::colorWithDeviceRed(0.5f, 0.5f, 0.55f, 1.0f);
  a.secondarySelectedControlColor = Color::colorWithDeviceRed(0.7f, 0.7f, 0.7f, 1.0f);
  a.controlTint = kGraphiteControlTint;
  return a;
}

// First use under the default appearance; a later appearance reaches none
// of the colors already made.
void madeColorsOutliveAppearanceChanges() {
  const Color* lightBlue = KvColor::lightBlueColor().get();
  const Color* alternate = KvColor::alternateSelectedControlColor().get();
  const Color* blend = KvColor::whiteColorBlendedWithAlternate().get();
  setSystemAppearance(graphiteAppearance());
  EXPECT_EQ(KvColor::lightBlueColor().get(), lightBlue);
  expectRgb(KvColor::lightBlueColor(), 0.929412f, 0.952941f, 0.996078f);
  EXPECT_EQ(KvColor::alternateSelectedControlColor().get(), alternate);
  expectRgb(KvColor::alternateSelectedControlColor(), 0.22f, 0.46f, 0.84f);
  EXPECT_EQ(KvColor::whiteColorBlendedWithAlternate().get(), blend);
  // Not made before the change, so it takes the new system color.
  expectRgb(KvColor::secondarySelectedControlColor(), 0.7f, 0.7f, 0.7f);
}

// The index lookup stops at its first match, so a white background makes
// no light blue; the tint at lightBlueColor's own first call decides.
void tintIsReadAtTheFirstLightBlueCall() {
  EXPECT_EQ(KvColor::indexForColor(KvColor::whiteColor().get()), 0);
  setSystemAppearance(graphiteAppearance());
  expectRgb(KvColor::lightBlueColor(), 0.941176f, 0.941176f, 0.941176f);
  setSystemAppearance(defaultAppearance());
  expectRgb(KvColor::lightBlueColor(), 0.941176f, 0.941176f, 0.941176f);
  EXPECT_EQ(KvColor::indexForColor(KvColor::lightBlueColor().get()), 1);
}

// A system that has no selection colors (none at all, or one with no RGB
// form) leaves those slots empty, and a later call tries again.
void missingSystemColorsLeaveSlotsEmpty() {
  Appearance none;
  none.alternateSelectedControlColor = nullptr;
  none.secondarySelectedControlColor = Color::patternColor();
  setSystemAppearance(none);
  EXPECT_EQ(KvColor::alternateSelectedControlColor(), nullptr);
  EXPECT_EQ(KvColor::secondarySelectedControlColor(), nullptr);
  EXPECT_EQ(KvColor::whiteColorBlendedWithAlternate(), nullptr);
  EXPECT_EQ(KvColor::colorForIndex(2), nullptr);
  EXPECT_EQ(KvColor::colorForIndex(3), nullptr);
  EXPECT_NE(KvColor::colorForIndex(1), nullptr);
  // An absent color matches the first empty slot.
  EXPECT_EQ(KvColor::indexForColor(nullptr), 2);
  EXPECT_EQ(KvColor::indexForColor(KvColor::whiteColor().get()), 0);

  // Text keeps the caller's color where there is no selection color to
  // stand out from, even for an absent background.
  const TextAttributes black{{std::u16string(NSForegroundColorAttributeName), Color::blackColor()},
                             {std::u16string(NSFontAttributeName), Font{u"DejaVu Sans", 24}}};
  auto inkOf = [&](auto draw) {
    ImagePtr image = Image::imageWithSize(sizeWithAttributes(u"Hi", black));
    image->lockFocus();
    draw();
    image->unlockFocus();
    return coreColors(*image);
  };
  const std::set<Rgb> blackInk{{0, 0, 0}};
  const std::set<Rgb> whiteInk{{255, 255, 255}};
  EXPECT_EQ(inkOf([&] { drawAtPoint(u"Hi", {0, 0}, black, nullptr); }), blackInk);
  EXPECT_EQ(inkOf([&] { drawAtPoint(u"Hi", {0, 0}, black, 2, 0.5f); }), blackInk);
  EXPECT_EQ(inkOf([&] { drawAtPoint(u"Hi", {0, 0}, black, 2, 1.0f); }), whiteInk);

  setSystemAppearance(defaultAppearance());
  expectRgb(KvColor::alternateSelectedControlColor(), 0.22f, 0.46f, 0.84f);
  expectRgb(KvColor::secondarySelectedControlColor(), 0.83f, 0.83f, 0.83f);
  EXPECT_NE(KvColor::whiteColorBlendedWithAlternate(), nullptr);
  EXPECT_EQ(KvColor::indexForColor(nullptr), 0) << "all four exist now";
}

// Drawing on an absent background first makes the selection color, as any
// background does, so the appearance at that moment is the one it keeps;
// the text still keeps the caller's color.
void absentBackgroundStillMakesTheSelectionColor() {
  const TextAttributes black{{std::u16string(NSForegroundColorAttributeName), Color::blackColor()},
                             {std::u16string(NSFontAttributeName), Font{u"DejaVu Sans", 24}}};
  ImagePtr image = Image::imageWithSize(sizeWithAttributes(u"Hi", black));
  image->lockFocus();
  drawAtPoint(u"Hi", {0, 0}, black, nullptr);
  image->unlockFocus();
  EXPECT_EQ(coreColors(*image), (std::set<Rgb>{{0, 0, 0}}));
  setSystemAppearance(graphiteAppearance());
  expectRgb(KvColor::alternateSelectedControlColor(), 0.22f, 0.46f, 0.84f);
}

const struct {
  const char* name;
  void (*run)();
} kScenarios[] = {
    {"absent", &absentBackgroundStillMakesTheSelectionColor},
    {"outlive", &madeColorsOutliveAppearanceChanges},
    {"tint", &tintIsReadAtTheFirstLightBlueCall},
    {"missing", &missingSystemColorsLeaveSlotsEmpty},
};

// Runs in the child only.
TEST(PaletteScenario, Run) {
  const char* name = getenv(kScenarioVariable);
  if (name == nullptr) GTEST_SKIP() << "runs only inside PaletteFirstUse";
  for (const auto& s : kScenarios) {
    if (std::string(name) == s.name) {
      s.run();
      return;
    }
  }
  FAIL() << "unknown scenario " << name;
}

TEST(PaletteFirstUse, EachScenarioInAFreshProcess) {
  if (getenv(kScenarioVariable) != nullptr) GTEST_SKIP();
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  for (const auto& s : kScenarios) {
    const std::string command = std::string(kScenarioVariable) + "=" + s.name + " '" + self +
                                "' --gtest_filter=PaletteScenario.Run 2>&1";
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char buf[4096];
    while (size_t got = fread(buf, 1, sizeof buf, child)) output.append(buf, got);
    const int status = pclose(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << s.name << ":\n" << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << s.name << ":\n" << output;
  }
}

}  // namespace
}  // namespace fw
