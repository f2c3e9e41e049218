#pragma once

// Pixel checks shared by the graphics and drawing tests.

#include <set>
#include <string>
#include <tuple>

#include "platform/graphics/image.h"
#include "platform/graphics/text/string_drawing.h"

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

// An image of `size` holding what `draw` puts there while it has the focus.
template <class Draw>
ImagePtr drawnInto(Size size, Draw draw) {
  ImagePtr image = Image::imageWithSize(size);
  image->lockFocus();
  draw();
  image->unlockFocus();
  return image;
}

// Text in DejaVu Sans at `points`, black unless told otherwise.
inline TextAttributes sansText(float points, ColorPtr color = Color::blackColor()) {
  return {{std::u16string(NSForegroundColorAttributeName), std::move(color)},
          {std::u16string(NSFontAttributeName), Font{u"DejaVu Sans", points}}};
}

}  // namespace fw::test_support
