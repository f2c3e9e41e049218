#pragma once

// An immutable string whose whole length carries one set of text attributes.

#include <string>
#include <string_view>

#include "platform/graphics/geometry.h"
#include "platform/graphics/text/text_attributes.h"

namespace fw {

class AttributedString {
 public:
  AttributedString(std::u16string_view string, TextAttributes attributes)
      : string_(string), attributes_(std::move(attributes)) {}

  [[nodiscard]] const std::u16string& string() const { return string_; }
  [[nodiscard]] const TextAttributes& attributes() const { return attributes_; }

  [[nodiscard]] Size size() const;
  // Draws the text into the calling thread's current destination.
  void drawAtPoint(Point point) const;
  // Draws the text wrapped and clipped to `rect` (see fw::drawInRect).
  void drawInRect(Rect rect) const;

  // The same text and attributes with `color` as the text color, replacing
  // any present. An absent color leaves the attributes as they are.
  [[nodiscard]] AttributedString attributedStringWithColor(ColorPtr color) const;
  // The same text and attributes with opaque white as the text color.
  [[nodiscard]] AttributedString whiteAttributedString() const;

 private:
  std::u16string string_;
  TextAttributes attributes_;
};

}  // namespace fw
