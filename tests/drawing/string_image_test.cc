#include "drawing/string_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <tuple>
#include <vector>

#include "drawing/kv_color.h"
#include "platform/graphics/graphics_context.h"
#include "platform/graphics/text/string_drawing.h"
#include "tests/support/image_pixels.h"

namespace fw {
namespace {

using fw::test_support::coreColors;
using fw::test_support::Rgb;
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

// The coverage of every pixel, whatever its color: the shape of the text.
std::vector<int> coverage(const Image& image) {
  std::vector<int> alphas;
  for (int y = 0; y < image.pixelsHigh(); ++y) {
    for (int x = 0; x < image.pixelsWide(); ++x) alphas.push_back(image.pixelAt(x, y)->alpha);
  }
  return alphas;
}

Rgb asRgb(const Color& c) {
  auto byte = [](float v) { return static_cast<int>(std::lround(v * 255.0f)); };
  return {byte(c.redComponent()), byte(c.greenComponent()), byte(c.blueComponent())};
}

TextAttributes blackText(float points = 24) { return test_support::sansText(points); }

constexpr std::u16string_view kText = u"Hello";

template <class Draw>
ImagePtr render(const TextAttributes& attributes, Draw draw) {
  return test_support::drawnInto(sizeWithAttributes(kText, attributes), draw);
}

TEST(ImageWithAttributes, EmptyStringIsABlankImageOneLineHigh) {
  const TextAttributes attributes = blackText();
  const ImagePtr image = imageWithAttributes(u"", attributes);
  EXPECT_EQ(image->size(), (Size{0.0f, sizeWithAttributes(u"", attributes).height}));
  EXPECT_GT(image->size().height, 0.0f);
  EXPECT_EQ(image->pixelsWide(), 0);
}

TEST(ImageWithAttributes, IsExactlyTheMeasuredSizeWithTheTextInIt) {
  const TextAttributes attributes = blackText();
  const ImagePtr image = imageWithAttributes(kText, attributes);
  const Size measured = sizeWithAttributes(kText, attributes);
  EXPECT_EQ(image->size(), measured);
  EXPECT_EQ(image->pixelsWide(), static_cast<int>(std::ceil(measured.width)));
  EXPECT_EQ(image->pixelsHigh(), static_cast<int>(std::ceil(measured.height)));
  EXPECT_EQ(coreColors(*image), std::set<Rgb>{kBlack});
  // The same pixels as drawing the string at the origin by hand.
  const ImagePtr byHand = render(attributes, [&] { drawAtPoint(kText, {0, 0}, attributes); });
  EXPECT_EQ(coverage(*image), coverage(*byHand));
}

TEST(ImageWithAttributes, GivesTheCallersFocusBack) {
  const ImagePtr outer = Image::imageWithSize({50, 50});
  outer->lockFocus();
  cairo_t* before = currentGraphicsContext();
  const ImagePtr image = imageWithAttributes(kText, blackText());
  EXPECT_EQ(currentGraphicsContext(), before);
  EXPECT_TRUE(outer->unlockFocus());
  EXPECT_EQ(currentGraphicsContext(), nullptr);
  EXPECT_TRUE(coreColors(*outer).empty()) << "nothing was drawn into the caller's image";
}

TEST(DrawOnBackgroundColor, OnlyThePalettesSelectionColorTurnsTheTextWhite) {
  const ColorPtr& alternate = KvColor::alternateSelectedControlColor();
  const ColorPtr lookalike =
      Color::colorWithCalibratedRed(alternate->redComponent(), alternate->greenComponent(),
                                    alternate->blueComponent(), alternate->alphaComponent());
  const struct {
    const char* name;
    const Color* background;
    Rgb ink;
  } cases[] = {
      {"palette alternate", alternate.get(), kWhite},
      {"equal components, other object", lookalike.get(), kBlack},
      {"system alternate", Color::alternateSelectedControlColor().get(), kBlack},
      {"secondary", KvColor::secondarySelectedControlColor().get(), kBlack},
      {"white", KvColor::whiteColor().get(), kBlack},
      {"none", nullptr, kBlack},
  };
  const TextAttributes attributes = blackText();
  const TextAttributes before = attributes;
  const std::vector<int> shape = coverage(*render(attributes, [&] {
    drawAtPoint(kText, {0, 0}, attributes);
  }));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ImagePtr image = render(attributes, [&] {
      drawAtPoint(kText, {0, 0}, attributes, c.background);
    });
    EXPECT_EQ(coreColors(*image), std::set<Rgb>{c.ink});
    EXPECT_EQ(coverage(*image), shape) << "only the color changes, not the font";
    EXPECT_EQ(attributes, before) << "the caller's attributes still say black";
  }
}

TEST(DrawOnBackgroundColor, WhiteGlyphsStandOutOnTheFilledSelectionColor) {
  const ColorPtr& alternate = KvColor::alternateSelectedControlColor();
  const TextAttributes attributes = blackText();
  const ImagePtr image = render(attributes, [&] {
    fillRect(Rect{{0, 0}, sizeWithAttributes(kText, attributes)}, *alternate);
    drawAtPoint(kText, {0, 0}, attributes, alternate.get());
  });
  // The top-left pixel lies above the glyphs: plain background.
  const Pixel background = *image->pixelAt(0, 0);
  const auto [br, bg, bb] = asRgb(*alternate);
  EXPECT_NEAR(background.red, br, 1);
  EXPECT_NEAR(background.green, bg, 1);
  EXPECT_NEAR(background.blue, bb, 1);
  const std::set<Rgb> colors = coreColors(*image);
  EXPECT_EQ(colors.size(),
            static_cast<std::size_t>(std::count_if(colors.begin(), colors.end(), [&](const Rgb& c) {
              // Between the background and white: no dark ink.
              return std::get<0>(c) >= background.red && std::get<1>(c) >= background.green &&
                     std::get<2>(c) >= background.blue;
            })));
  EXPECT_TRUE(colors.count(kWhite));
}

TEST(DrawOnBackgroundIndex, SelectionIndexChoosesWhiteOrTheBlendedWhite) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Rgb blended = asRgb(*KvColor::whiteColorBlendedWithAlternate());
  ASSERT_NE(blended, kWhite);
  const struct {
    std::int32_t index;
    float whiteAlpha;
    Rgb ink;
  } cases[] = {
      {2, 1.0f, kWhite},  {2, 5.0f, kWhite},   {2, nan, kWhite},  {2, 0.99f, blended},
      {2, 0.0f, blended}, {2, -1.0f, blended}, {0, 0.5f, kBlack}, {1, 1.0f, kBlack},
      {3, 0.0f, kBlack},  {-1, 0.0f, kBlack},  {4, 1.0f, kBlack},
  };
  const TextAttributes attributes = blackText();
  const TextAttributes before = attributes;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "index " << c.index << ", white alpha " << c.whiteAlpha);
    const ImagePtr image = render(attributes, [&] {
      drawAtPoint(kText, {0, 0}, attributes, c.index, c.whiteAlpha);
    });
    const std::set<Rgb> colors = coreColors(*image);
    ASSERT_EQ(colors.size(), 1u);
    const auto [r, g, b] = *colors.begin();
    const auto [wr, wg, wb] = c.ink;
    // Cairo's 8-bit rounding may differ by one from ours.
    EXPECT_NEAR(r, wr, 1);
    EXPECT_NEAR(g, wg, 1);
    EXPECT_NEAR(b, wb, 1);
    EXPECT_EQ(attributes, before);
  }
}

TEST(DrawOnBackgroundIndex, AgreesWithTheColorFormOnTheSameBackground) {
  const TextAttributes attributes = blackText(30);
  const ImagePtr byIndex = render(attributes, [&] {
    drawAtPoint(kText, {0, 0}, attributes, 2, 1.0f);
  });
  const ImagePtr byColor = render(attributes, [&] {
    drawAtPoint(kText, {0, 0}, attributes, KvColor::alternateSelectedControlColor().get());
  });
  ASSERT_EQ(byIndex->pixelsWide(), byColor->pixelsWide());
  for (int y = 0; y < byIndex->pixelsHigh(); ++y) {
    for (int x = 0; x < byIndex->pixelsWide(); ++x) {
      ASSERT_EQ(byIndex->pixelAt(x, y), byColor->pixelAt(x, y)) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace fw
