#pragma once

// Images: a blank ARGB32 cairo surface of a given size that code can draw
// into between lockFocus and unlockFocus, and save as PNG.

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/graphics/geometry.h"

namespace fw {

class Image;
using ImagePtr = std::shared_ptr<Image>;

// One pixel as the surface stores it: 8-bit channels premultiplied by alpha,
// so an opaque pixel holds its color as is and a transparent one is all zero.
struct Pixel {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

class Image : public std::enable_shared_from_this<Image> {
  struct Key {};

 public:
  // Pixel dimensions are the size rounded up; a negative or NaN extent
  // counts as 0, and an extent beyond kMaxPixels makes an image that draws
  // nothing (pixelsWide and pixelsHigh are then 0) rather than failing.
  static constexpr int kMaxPixels = 32767;

  Image(Key, Size size);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // A blank, fully transparent image of `size`.
  [[nodiscard]] static ImagePtr imageWithSize(Size size);

  // The size asked for, unrounded: imageWithSize({10.5, 3}) has size
  // {10.5, 3} and 11 x 3 pixels.
  [[nodiscard]] Size size() const { return size_; }
  [[nodiscard]] int pixelsWide() const;
  [[nodiscard]] int pixelsHigh() const;

  // Makes this image the drawing destination of the calling thread until the
  // matching unlockFocus. Focus nests: each thread keeps its own stack, and
  // unlockFocus gives the focus back to whatever held it before. The stack
  // keeps the image alive while it is focused.
  void lockFocus();
  // Ends this image's innermost focus on the calling thread. When this image
  // is not the innermost destination of the thread (an unbalanced call),
  // nothing changes and false is returned.
  bool unlockFocus();

  // Writes the image as a PNG file at `path` (UTF-16, converted to the file
  // system's UTF-8). False when the file cannot be written, the path holds
  // U+0000, or the image is empty.
  [[nodiscard]] bool writeToPNG(std::u16string_view path) const;

  // The pixel at column x, row y (top-left is 0, 0); absent outside the image.
  [[nodiscard]] std::optional<Pixel> pixelAt(int x, int y) const;

  // The backing surface, owned by the image.
  [[nodiscard]] cairo_surface_t* surface() const { return surface_; }

 private:
  Size size_;
  cairo_surface_t* surface_;
};

}  // namespace fw
