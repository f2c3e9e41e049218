#pragma once

// Pixel checks shared by the graphics and drawing tests.

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

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

// Every pixel of an ARGB32 image surface as stored (premultiplied), row by
// row: one caller's surface compares with an image's byte for byte.
inline std::vector<std::uint32_t> surfacePixels(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * w,
                cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface),
                static_cast<std::size_t>(w) * 4);
  }
  return pixels;
}

// The color of an opaque ARGB32 pixel at (x, y) of `pixels`, `width` wide.
inline Rgb rgbAt(const std::vector<std::uint32_t>& pixels, int width, int x, int y) {
  const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
  return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
          static_cast<int>(p & 0xFF)};
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
