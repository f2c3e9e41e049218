#include "drawing/string_image.h"

#include "drawing/kv_color.h"
#include "platform/graphics/text/attributed_string.h"
#include "platform/graphics/text/string_drawing.h"

namespace fw {

ImagePtr imageWithAttributes(std::u16string_view text, const TextAttributes& attributes) {
  const Size size = sizeWithAttributes(text, attributes);
  ImagePtr image = Image::imageWithSize(size);
  if (size.width > 0.0f) {
    image->lockFocus();
    fw::drawAtPoint(text, Point{0.0f, 0.0f}, attributes);
    image->unlockFocus();
  }
  return image;
}

void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes,
                 const Color* backgroundColor) {
  // The selection color is fetched first, whatever the background, so the
  // palette makes it now if it is still missing and keeps the appearance of
  // this moment. An absent background is never the selection color, even
  // when the platform had none to give.
  const Color* selection = KvColor::alternateSelectedControlColor().get();
  if (backgroundColor == nullptr || backgroundColor != selection) {
    fw::drawAtPoint(text, point, attributes);
    return;
  }
  // A shallow copy: the values (colors, fonts) are shared, not duplicated.
  TextAttributes white = attributes;
  white.insert_or_assign(std::u16string(NSForegroundColorAttributeName), Color::whiteColor());
  fw::drawAtPoint(text, point, white);
}

void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes,
                 std::int32_t backgroundColorIndex, float whiteAlpha) {
  AttributedString string(text, attributes);
  if (backgroundColorIndex == 2) {
    if (whiteAlpha < 1.0f) {
      string = string.attributedStringWithColor(KvColor::whiteColorBlendedWithAlternate());
    } else {
      string = string.whiteAttributedString();
    }
  }
  string.drawAtPoint(point);
}

}  // namespace fw
