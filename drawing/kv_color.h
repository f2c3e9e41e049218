#pragma once

// The palette: a fixed set of colors, each made once on its first request
// and handed out as the very same object on every later request for the
// rest of the process, so drawing code can ask on every pass without
// allocating and can compare palette colors by identity.
//
// Results are borrowed: a reference to the palette's own slot, valid until
// the process ends. Copy it to share ownership (a text attribute does).
// A slot the platform could not fill (a system color with no RGB form, or a
// system appearance with no such color) reads as nullptr, and the next
// request tries again.
//
// Levels and alphas are quantised to steps of 0.01: the argument is clamped
// to 0..1, multiplied by 100 in single precision and truncated, so 0.999
// gives the 0.99 entry and 0.53 (52.999996 after the multiplication) the
// 0.52 entry. The color made for entry i has exactly the level i / 100.0f,
// never the argument itself. A NaN argument gives entry 0; no argument ever
// reaches outside entries 0 to 100.
//
// The palette belongs to the interface thread: it takes no lock, and its
// lazy fills are not synchronised.

#include <cstdint>

#include "platform/graphics/color.h"

namespace fw {

class KvColor {
 public:
  KvColor() = delete;

  // Palette index: 0 whiteColor, 1 lightBlueColor, 2
  // alternateSelectedControlColor, 3 secondarySelectedControlColor; any
  // other index gives nullptr.
  [[nodiscard]] static const ColorPtr& colorForIndex(std::int32_t index);
  // The first of those four that `color` is (by identity), in index order;
  // 0 when it is none of them. A nullptr color matches a slot the platform
  // left empty, and otherwise gives 0.
  [[nodiscard]] static std::int32_t indexForColor(const Color* color);

  // Exactly KvGrayColor(level) and KvWhiteColor(level): the same objects.
  [[nodiscard]] static const ColorPtr& grayColor(float level);
  [[nodiscard]] static const ColorPtr& whiteColor(float level);

  // Opaque calibrated grays of these levels.
  [[nodiscard]] static const ColorPtr& grayColor10();
  [[nodiscard]] static const ColorPtr& grayColor20();
  [[nodiscard]] static const ColorPtr& grayColor30();
  [[nodiscard]] static const ColorPtr& grayColor40();
  [[nodiscard]] static const ColorPtr& grayColor50();
  [[nodiscard]] static const ColorPtr& grayColor60();
  [[nodiscard]] static const ColorPtr& grayColor70();
  [[nodiscard]] static const ColorPtr& grayColor75();
  [[nodiscard]] static const ColorPtr& grayColor80();
  [[nodiscard]] static const ColorPtr& grayColor85();
  [[nodiscard]] static const ColorPtr& grayColor90();

  // The platform's standard colors of these names.
  [[nodiscard]] static const ColorPtr& whiteColor();
  [[nodiscard]] static const ColorPtr& redColor();
  [[nodiscard]] static const ColorPtr& grayColor();
  [[nodiscard]] static const ColorPtr& lightGrayColor();
  [[nodiscard]] static const ColorPtr& blackColor();

  // A pale blue (237, 243, 254)/255 when the control tint is blue at the
  // first call, a pale gray (240/255) otherwise; that choice then holds.
  [[nodiscard]] static const ColorPtr& lightBlueColor();
  // A darker pale blue, (209, 215, 226)/255.
  [[nodiscard]] static const ColorPtr& lightBlueColorA();

  // The system selection colors at the first successful call, converted to
  // calibrated RGB; later appearance changes do not reach them.
  [[nodiscard]] static const ColorPtr& alternateSelectedControlColor();
  [[nodiscard]] static const ColorPtr& secondarySelectedControlColor();
  // 70% white and 30% alternateSelectedControlColor, per component.
  [[nodiscard]] static const ColorPtr& whiteColorBlendedWithAlternate();
};

// The opaque gray of the quantised level.
[[nodiscard]] const ColorPtr& KvGrayColor(float level);
// The palette's black, gray, light gray or white with the quantised alpha.
[[nodiscard]] const ColorPtr& KvBlackAlpha(float alpha);
[[nodiscard]] const ColorPtr& KvGrayAlpha(float alpha);
[[nodiscard]] const ColorPtr& KvLightGrayAlpha(float alpha);
[[nodiscard]] const ColorPtr& KvWhiteAlpha(float alpha);
// KvWhiteAlpha(level): white with the quantised value as its alpha, not a
// gray level.
[[nodiscard]] const ColorPtr& KvWhiteColor(float level);

}  // namespace fw
