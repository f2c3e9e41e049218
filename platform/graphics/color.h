#pragma once

// Immutable colors, held by std::shared_ptr and compared by identity: two
// colors with equal components made by separate calls are different objects.
// Components are single-precision floats from 0.0 to 1.0; alpha 1.0 is opaque.

#include <memory>

namespace fw {

// The space a color's components are expressed in. A pattern has no
// components and converts to no RGB space.
enum class ColorSpace { kCalibratedRGB, kDeviceRGB, kPattern };

class Color;
using ColorPtr = std::shared_ptr<const Color>;

class Color : public std::enable_shared_from_this<Color> {
  struct Key {};

 public:
  Color(Key, ColorSpace space, float red, float green, float blue, float alpha);

  // Keeps exactly the given floats: colorWithCalibratedRed(0.1f, ...) has a
  // red component equal to 0.1f.
  [[nodiscard]] static ColorPtr colorWithCalibratedRed(float red, float green, float blue,
                                                       float alpha);
  [[nodiscard]] static ColorPtr colorWithDeviceRed(float red, float green, float blue, float alpha);
  // A color that paints an image rather than a flat tone; it has no RGB form.
  [[nodiscard]] static ColorPtr patternColor();

  // The standard opaque colors, in calibrated RGB; each call makes a new
  // object. gray is 0.5 and lightGray 2/3.
  [[nodiscard]] static ColorPtr whiteColor();
  [[nodiscard]] static ColorPtr redColor();
  [[nodiscard]] static ColorPtr grayColor();
  [[nodiscard]] static ColorPtr lightGrayColor();
  [[nodiscard]] static ColorPtr blackColor();

  // The system colors of the current appearance (see appearance.h); absent
  // when the appearance has none.
  [[nodiscard]] static ColorPtr alternateSelectedControlColor();
  [[nodiscard]] static ColorPtr secondarySelectedControlColor();
  [[nodiscard]] static int currentControlTint();

  [[nodiscard]] ColorSpace colorSpace() const { return space_; }
  // Zero for a pattern.
  [[nodiscard]] float redComponent() const { return red_; }
  [[nodiscard]] float greenComponent() const { return green_; }
  [[nodiscard]] float blueComponent() const { return blue_; }
  [[nodiscard]] float alphaComponent() const { return alpha_; }

  // The same color with its alpha replaced (clamped to 0..1), in the same space.
  [[nodiscard]] ColorPtr colorWithAlphaComponent(float alpha) const;
  // Each component, alpha included, is (1 - fraction) * this + fraction * other,
  // with fraction clamped to 0..1; the result is in calibrated RGB. Absent
  // when either color is a pattern.
  [[nodiscard]] ColorPtr blendedColorWithFraction(float fraction, const Color& other) const;
  // This color itself when it is already in `space`, an RGB copy between the
  // RGB spaces, absent for a pattern converted to RGB or RGB to a pattern.
  [[nodiscard]] ColorPtr colorUsingColorSpaceName(ColorSpace space) const;

 private:
  ColorSpace space_;
  float red_;
  float green_;
  float blue_;
  float alpha_;
};

}  // namespace fw
