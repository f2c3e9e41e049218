#pragma once

// The system appearance: the selection colors and the control tint that the
// desktop would otherwise supply. An application or a test sets it before
// the first color is made from it; colors already made from an earlier
// appearance keep their values (callers that cache them keep what they got).

#include "platform/graphics/color.h"

namespace fw {

// Control tints; only kBlue is told apart by the drawing code.
inline constexpr int kDefaultControlTint = 0;
inline constexpr int kBlueControlTint = 1;
inline constexpr int kGraphiteControlTint = 6;
inline constexpr int kClearControlTint = 7;

struct Appearance {
  // Either may be absent: the appearance then has no such color.
  ColorPtr alternateSelectedControlColor;
  ColorPtr secondarySelectedControlColor;
  int controlTint = kBlueControlTint;
};

// Device RGB (0.22, 0.46, 0.84) and (0.83, 0.83, 0.83), blue tint.
[[nodiscard]] Appearance defaultAppearance();

// The appearance in force; defaultAppearance() until one is set. Safe from
// any thread.
[[nodiscard]] Appearance systemAppearance();
void setSystemAppearance(Appearance appearance);

}  // namespace fw
