#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <tuple>

#include "platform/graphics/graphics_context.h"
#include "platform/graphics/image.h"
#include "platform/graphics/text/attributed_string.h"
#include "platform/graphics/text/string_drawing.h"
#include "tests/support/image_pixels.h"

namespace fw {
namespace {

using fw::test_support::coreColors;
using fw::test_support::Rgb;

TextAttributes withFont(std::u16string family, float points) {
  return {{std::u16string(NSFontAttributeName), Font{std::move(family), points}}};
}

ImagePtr drawn(std::u16string_view text, const TextAttributes& attributes, Size size,
               Point at = {0, 0}) {
  return test_support::drawnInto(size, [&] { drawAtPoint(text, at, attributes); });
}

TEST(TextAttributes, ReadColorAndFontOnlyFromValuesOfTheRightKind) {
  const ColorPtr red = Color::redColor();
  TextAttributes a{{std::u16string(NSForegroundColorAttributeName), red},
                   {std::u16string(NSFontAttributeName), Font{u"DejaVu Serif", 20}}};
  EXPECT_EQ(foregroundColor(a), red.get());
  EXPECT_EQ(font(a), (Font{u"DejaVu Serif", 20}));

  TextAttributes wrong{{std::u16string(NSForegroundColorAttributeName), 1.0},
                       {std::u16string(NSFontAttributeName), std::u16string(u"DejaVu Serif")}};
  EXPECT_EQ(foregroundColor(wrong), nullptr);
  EXPECT_EQ(font(wrong), Font{});
  EXPECT_EQ(foregroundColor({}), nullptr);
}

TEST(StringDrawing, MeasuresOneLineHighAndGrowsWithTheFont) {
  const Size empty = sizeWithAttributes(u"", {});
  const Size hello = sizeWithAttributes(u"Hello", {});
  EXPECT_EQ(empty.width, 0.0f);
  EXPECT_GT(empty.height, 0.0f);
  EXPECT_EQ(hello.height, empty.height);
  EXPECT_GT(hello.width, 0.0f);
  EXPECT_EQ(sizeWithAttributes(u"Hello", withFont(u"DejaVu Sans", 12)), hello);

  const Size big = sizeWithAttributes(u"Hello", withFont(u"DejaVu Sans", 36));
  EXPECT_GT(big.width, 2.5f * hello.width);
  EXPECT_GT(big.height, 2.5f * hello.height);

  const Size twoLines = sizeWithAttributes(u"Hello\nHello", {});
  EXPECT_EQ(twoLines.width, hello.width);
  EXPECT_EQ(twoLines.height, 2 * hello.height);
}

TEST(StringDrawing, HonoursTheFontFamily) {
  const auto mono = withFont(u"DejaVu Sans Mono", 20);
  const auto sans = withFont(u"DejaVu Sans", 20);
  EXPECT_EQ(sizeWithAttributes(u"iiii", mono).width, sizeWithAttributes(u"WWWW", mono).width);
  EXPECT_LT(sizeWithAttributes(u"iiii", sans).width, sizeWithAttributes(u"WWWW", sans).width);
}

TEST(StringDrawing, UnusualInputMeasuresLikeItsReplacement) {
  const Size replaced = sizeWithAttributes(u"a\uFFFDb", {});
  EXPECT_EQ(sizeWithAttributes(std::u16string(u"a\xD800"
                                              u"b"),
                               {}),
            replaced);
  EXPECT_EQ(sizeWithAttributes(std::u16string(u"a\0b", 3), {}), replaced);
  // A nonsensical size falls back to the default font size rather than failing.
  EXPECT_EQ(sizeWithAttributes(u"Hello", withFont(u"DejaVu Sans", -3)),
            sizeWithAttributes(u"Hello", {}));
}

TEST(StringDrawing, DrawsInTheTextColorAtThePoint) {
  const TextAttributes large = withFont(u"DejaVu Sans", 24);
  const Size size = sizeWithAttributes(u"Hello", large);

  EXPECT_EQ(coreColors(*drawn(u"Hello", large, size)), (std::set<Rgb>{{0, 0, 0}}));
  TextAttributes red = large;
  red.emplace(NSForegroundColorAttributeName, Color::redColor());
  const ImagePtr atOrigin = drawn(u"Hello", red, size);
  EXPECT_EQ(coreColors(*atOrigin), (std::set<Rgb>{{255, 0, 0}}));

  // Drawn 5 right and 7 down, the same pixels appear shifted by exactly that.
  const ImagePtr shifted = drawn(u"Hello", red, {size.width + 5, size.height + 7}, {5, 7});
  for (int y = 0; y < shifted->pixelsHigh(); ++y) {
    for (int x = 0; x < shifted->pixelsWide(); ++x) {
      const Pixel want = x >= 5 && y >= 7 ? *atOrigin->pixelAt(x - 5, y - 7) : Pixel{};
      ASSERT_EQ(*shifted->pixelAt(x, y), want) << x << "," << y;
    }
  }
}

TEST(StringDrawing, NonFiniteInputLeavesTheDestinationUsable) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const TextAttributes large = withFont(u"DejaVu Sans", 24);
  const Size size = sizeWithAttributes(u"Hello", large);
  const ImagePtr image = Image::imageWithSize(size);
  image->lockFocus();
  drawAtPoint(u"Hello", {nan, 0}, large);
  drawAtPoint(u"Hello", {0, inf}, large);
  fillRect(Rect{{0, 0}, {nan, 5}}, *Color::redColor());
  EXPECT_TRUE(coreColors(*image).empty());
  // Components beyond 0..1 or NaN are drawn clamped: red 2 as 1, NaN as 0.
  TextAttributes odd = large;
  odd.emplace(NSForegroundColorAttributeName,
              Color::colorWithCalibratedRed(2.0f, nan, -1.0f, 1.0f));
  drawAtPoint(u"Hello", {0, 0}, odd);
  image->unlockFocus();
  EXPECT_EQ(coreColors(*image), (std::set<Rgb>{{255, 0, 0}}));
}

TEST(AttributedString, ColorReplacementKeepsTextAndOtherAttributes) {
  const TextAttributes serif = withFont(u"DejaVu Serif", 30);
  TextAttributes black = serif;
  black.emplace(NSForegroundColorAttributeName, Color::blackColor());
  const AttributedString s(u"Hi", black);
  const ColorPtr blue = Color::colorWithCalibratedRed(0, 0, 1, 1);

  const AttributedString recolored = s.attributedStringWithColor(blue);
  EXPECT_EQ(recolored.string(), u"Hi");
  EXPECT_EQ(foregroundColor(recolored.attributes()), blue.get());
  EXPECT_EQ(font(recolored.attributes()), (Font{u"DejaVu Serif", 30}));
  EXPECT_EQ(s.attributes(), black) << "the receiver is unchanged";
  EXPECT_EQ(s.attributedStringWithColor(nullptr).attributes(), black);

  const AttributedString white = s.whiteAttributedString();
  const Color* w = foregroundColor(white.attributes());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::make_tuple(w->redComponent(), w->greenComponent(), w->blueComponent(),
                            w->alphaComponent()),
            std::make_tuple(1.0f, 1.0f, 1.0f, 1.0f));

  EXPECT_EQ(s.size(), sizeWithAttributes(u"Hi", serif));
  EXPECT_EQ(coreColors(*test_support::drawnInto(s.size(),
                                                [&] {
                                                  recolored.drawAtPoint({0, 0});
                                                })),
            (std::set<Rgb>{{0, 0, 255}}));
}

}  // namespace
}  // namespace fw
