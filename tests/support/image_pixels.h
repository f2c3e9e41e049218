#pragma once

// Pixel checks shared by the graphics and drawing tests.

#include <set>
#include <tuple>

#include "platform/graphics/image.h"

namespace fw::test_support {

using Rgb = std::tuple<int, int, int>;

// The colors of the fully covered (opaque) pixels: the glyph cores, whose
// color is the text color itself, undiluted by antialiasing.
inline std::set<Rgb> coreColors(const Image& image) {
  std::set<Rgb> colors;
  for (int y = 0; y < image.pixelsHigh(); ++y) {
    for (int x = 0; x < image.pixelsWide(); ++x) {
      const Pixel p = *image.pixelAt(x, y);
      if (p.alpha == 255) colors.insert({p.red, p.green, p.blue});
    }
  }
  return colors;
}

}  // namespace fw::test_support
