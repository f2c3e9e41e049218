// What the palette makes on first use depends on the system appearance at
// that moment, and what it made then never changes. Each scenario needs a
// process whose palette is still empty.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "platform/graphics/desktop/appearance.h"
#include "platform/graphics/text/string_drawing.h"
#include "tests/support/image_pixels.h"

namespace fw {
namespace {

using fw::test_support::coreColors;
using fw::test_support::drawnInto;
using fw::test_support::Rgb;
using fw::test_support::sansText;

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
  const TextAttributes black = sansText(24);
  auto inkOf = [&](auto draw) {
    return coreColors(*drawnInto(sizeWithAttributes(u"Hi", black), draw));
  };
  const std::set<Rgb> blackInk{{0, 0, 0}};
  EXPECT_EQ(inkOf([&] { drawAtPoint(u"Hi", {0, 0}, black, nullptr); }), blackInk);
  EXPECT_EQ(inkOf([&] { drawAtPoint(u"Hi", {0, 0}, black, 2, 0.5f); }), blackInk);
  EXPECT_EQ(inkOf([&] {
              drawAtPoint(u"Hi", {0, 0}, black, 2, 1.0f);
            }),
            (std::set<Rgb>{{255, 255, 255}}));

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
  const TextAttributes black = sansText(24);
  const ImagePtr image = drawnInto(sizeWithAttributes(u"Hi", black), [&] {
    drawAtPoint(u"Hi", {0, 0}, black, nullptr);
  });
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

// Each scenario in a child that runs this program afresh ("threadsafe"
// death-test style), so nothing has touched the palette before it.
TEST(PaletteFirstUse, EachScenarioInAFreshProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const auto& s : kScenarios) {
    EXPECT_EXIT(
        {
          s.run();
          std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "")
        << s.name;
  }
}

}  // namespace
}  // namespace fw
