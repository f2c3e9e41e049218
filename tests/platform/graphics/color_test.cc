#include "platform/graphics/color.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/graphics/desktop/appearance.h"

namespace fw {
namespace {

struct Rgba {
  float r, g, b, a;
};

void expectComponents(const ColorPtr& c, Rgba want, ColorSpace space) {
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->colorSpace(), space);
  EXPECT_EQ(c->redComponent(), want.r);
  EXPECT_EQ(c->greenComponent(), want.g);
  EXPECT_EQ(c->blueComponent(), want.b);
  EXPECT_EQ(c->alphaComponent(), want.a);
}

TEST(Color, CalibratedKeepsExactlyTheGivenFloats) {
  expectComponents(Color::colorWithCalibratedRed(0.1f, 0.929412f, 1.0f / 3.0f, 0.3f),
                   {0.1f, 0.929412f, 1.0f / 3.0f, 0.3f}, ColorSpace::kCalibratedRGB);
  expectComponents(Color::colorWithDeviceRed(0.22f, 0.46f, 0.84f, 1.0f),
                   {0.22f, 0.46f, 0.84f, 1.0f}, ColorSpace::kDeviceRGB);
}

TEST(Color, StandardColorsAreNewOpaqueObjects) {
  struct Case {
    ColorPtr (*make)();
    Rgba want;
  };
  const float light = 2.0f / 3.0f;
  const Case cases[] = {
      {&Color::whiteColor, {1, 1, 1, 1}},
      {&Color::redColor, {1, 0, 0, 1}},
      {&Color::grayColor, {0.5f, 0.5f, 0.5f, 1}},
      {&Color::lightGrayColor, {light, light, light, 1}},
      {&Color::blackColor, {0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    const ColorPtr first = c.make();
    expectComponents(first, c.want, ColorSpace::kCalibratedRGB);
    EXPECT_NE(first, c.make()) << "equal components, yet each call is its own object";
  }
}

TEST(Color, AlphaReplacementKeepsSpaceAndClampsToUnitRange) {
  const ColorPtr base = Color::colorWithDeviceRed(0.2f, 0.4f, 0.6f, 0.8f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float in, out;
  } cases[] = {{0.25f, 0.25f}, {0.0f, 0.0f},  {1.0f, 1.0f},
               {1.5f, 1.0f},   {-2.0f, 0.0f}, {nan, 0.0f}};
  for (const auto& c : cases) {
    const ColorPtr changed = base->colorWithAlphaComponent(c.in);
    expectComponents(changed, {0.2f, 0.4f, 0.6f, c.out}, ColorSpace::kDeviceRGB);
    EXPECT_NE(changed, base);
  }
  expectComponents(base, {0.2f, 0.4f, 0.6f, 0.8f}, ColorSpace::kDeviceRGB);
}

TEST(Color, BlendMixesEachComponentInCalibratedRGB) {
  const ColorPtr white = Color::colorWithDeviceRed(1, 1, 1, 1);
  const ColorPtr clear = Color::colorWithCalibratedRed(0, 0.5f, 1, 0);
  expectComponents(white->blendedColorWithFraction(0.5f, *clear), {0.5f, 0.75f, 1.0f, 0.5f},
                   ColorSpace::kCalibratedRGB);
  expectComponents(white->blendedColorWithFraction(0.0f, *clear), {1, 1, 1, 1},
                   ColorSpace::kCalibratedRGB);
  // Fractions beyond 0..1 are clamped rather than extrapolated.
  expectComponents(white->blendedColorWithFraction(3.0f, *clear), {0, 0.5f, 1, 0},
                   ColorSpace::kCalibratedRGB);
  expectComponents(white->blendedColorWithFraction(-1.0f, *clear), {1, 1, 1, 1},
                   ColorSpace::kCalibratedRGB);
  EXPECT_EQ(white->blendedColorWithFraction(0.3f, *Color::patternColor()), nullptr);
  EXPECT_EQ(Color::patternColor()->blendedColorWithFraction(0.3f, *white), nullptr);
}

TEST(Color, ConversionBetweenSpaces) {
  const ColorPtr calibrated = Color::colorWithCalibratedRed(0.1f, 0.2f, 0.3f, 0.4f);
  EXPECT_EQ(calibrated->colorUsingColorSpaceName(ColorSpace::kCalibratedRGB), calibrated);

  const ColorPtr device = Color::colorWithDeviceRed(0.22f, 0.46f, 0.84f, 1.0f);
  const ColorPtr converted = device->colorUsingColorSpaceName(ColorSpace::kCalibratedRGB);
  EXPECT_NE(converted, device);
  expectComponents(converted, {0.22f, 0.46f, 0.84f, 1.0f}, ColorSpace::kCalibratedRGB);

  EXPECT_EQ(Color::patternColor()->colorUsingColorSpaceName(ColorSpace::kCalibratedRGB), nullptr);
  EXPECT_EQ(calibrated->colorUsingColorSpaceName(ColorSpace::kPattern), nullptr);
}

class AppearanceTest : public ::testing::Test {
 protected:
  void TearDown() override { setSystemAppearance(defaultAppearance()); }
};

TEST_F(AppearanceTest, DefaultsAreDeviceSelectionColorsAndBlueTint) {
  expectComponents(Color::alternateSelectedControlColor(), {0.22f, 0.46f, 0.84f, 1.0f},
                   ColorSpace::kDeviceRGB);
  expectComponents(Color::secondarySelectedControlColor(), {0.83f, 0.83f, 0.83f, 1.0f},
                   ColorSpace::kDeviceRGB);
  EXPECT_EQ(Color::currentControlTint(), kBlueControlTint);
}

TEST_F(AppearanceTest, SetAppearanceIsWhatTheSystemColorsAnswer) {
  Appearance a;
  a.alternateSelectedControlColor = Color::patternColor();
  a.secondarySelectedControlColor = nullptr;
  a.controlTint = kGraphiteControlTint;
  setSystemAppearance(a);
  EXPECT_EQ(Color::alternateSelectedControlColor(), a.alternateSelectedControlColor);
  EXPECT_EQ(Color::secondarySelectedControlColor(), nullptr);
  EXPECT_EQ(Color::currentControlTint(), kGraphiteControlTint);
}

}  // namespace
}  // namespace fw
