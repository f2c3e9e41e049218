#include "platform/graphics/color.h"

#include "platform/graphics/desktop/appearance.h"

namespace fw {
namespace {

// NaN counts as 0 so that no component ever leaves 0..1.
float clampUnit(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v < 1.0f ? v : 1.0f;
}

}  // namespace

Color::Color(Key, ColorSpace space, float red, float green, float blue, float alpha)
    : space_(space), red_(red), green_(green), blue_(blue), alpha_(alpha) {}

ColorPtr Color::colorWithCalibratedRed(float red, float green, float blue, float alpha) {
  return std::make_shared<const Color>(Key{}, ColorSpace::kCalibratedRGB, red, green, blue, alpha);
}

ColorPtr Color::colorWithDeviceRed(float red, float green, float blue, float alpha) {
  return std::make_shared<const Color>(Key{}, ColorSpace::kDeviceRGB, red, green, blue, alpha);
}

ColorPtr Color::patternColor() {
  return std::make_shared<const Color>(Key{}, ColorSpace::kPattern, 0.0f, 0.0f, 0.0f, 1.0f);
}

ColorPtr Color::whiteColor() { return colorWithCalibratedRed(1.0f, 1.0f, 1.0f, 1.0f); }
ColorPtr Color::redColor() { return colorWithCalibratedRed(1.0f, 0.0f, 0.0f, 1.0f); }
ColorPtr Color::grayColor() { return colorWithCalibratedRed(0.5f, 0.5f, 0.5f, 1.0f); }
ColorPtr Color::lightGrayColor() {
  const float level = 2.0f / 3.0f;
  return colorWithCalibratedRed(level, level, level, 1.0f);
}
ColorPtr Color::blackColor() { return colorWithCalibratedRed(0.0f, 0.0f, 0.0f, 1.0f); }

ColorPtr Color::alternateSelectedControlColor() {
  return systemAppearance().alternateSelectedControlColor;
}

ColorPtr Color::secondarySelectedControlColor() {
  return systemAppearance().secondarySelectedControlColor;
}

int Color::currentControlTint() { return systemAppearance().controlTint; }

ColorPtr Color::colorWithAlphaComponent(float alpha) const {
  return std::make_shared<const Color>(Key{}, space_, red_, green_, blue_, clampUnit(alpha));
}

ColorPtr Color::blendedColorWithFraction(float fraction, const Color& other) const {
  if (space_ == ColorSpace::kPattern || other.space_ == ColorSpace::kPattern) return nullptr;
  const float f = clampUnit(fraction);
  const float keep = 1.0f - f;
  auto mix = [&](float mine, float theirs) { return keep * mine + f * theirs; };
  return colorWithCalibratedRed(mix(red_, other.red_), mix(green_, other.green_),
                                mix(blue_, other.blue_), mix(alpha_, other.alpha_));
}

ColorPtr Color::colorUsingColorSpaceName(ColorSpace space) const {
  if (space == space_) return shared_from_this();
  if (space == ColorSpace::kPattern || space_ == ColorSpace::kPattern) return nullptr;
  // Both RGB spaces share their primaries here, so the components carry over.
  return std::make_shared<const Color>(Key{}, space, red_, green_, blue_, alpha_);
}

}  // namespace fw
