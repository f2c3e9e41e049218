#pragma once

// Points, sizes and rectangles of the drawing layer, in single precision.
// Drawing destinations use a top-left origin with y growing downwards, so a
// string drawn at (0, 0) into an image of its own measured size fills it.

namespace fw {

struct Point {
  float x = 0.0f;
  float y = 0.0f;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  float width = 0.0f;
  float height = 0.0f;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace fw
