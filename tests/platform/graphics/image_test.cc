#include "platform/graphics/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <thread>

#include "platform/graphics/graphics_context.h"
#include "tests/support/image_pixels.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

constexpr Pixel kClear{0, 0, 0, 0};
constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kGreen{0, 255, 0, 255};

// Every pixel of the image, row by row, equals `p`.
bool allPixels(const Image& image, Pixel p) {
  for (int y = 0; y < image.pixelsHigh(); ++y) {
    for (int x = 0; x < image.pixelsWide(); ++x) {
      if (image.pixelAt(x, y) != p) return false;
    }
  }
  return true;
}

void fillAll(Image& image, const ColorPtr& color) { fillRect(Rect{{0, 0}, image.size()}, *color); }

TEST(Image, SizeIsKeptAndPixelsRoundUp) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    Size size;
    int wide, high;
  } cases[] = {
      {{10.5f, 3.0f}, 11, 3}, {{0.0f, 14.0f}, 0, 14}, {{-4.0f, 2.0f}, 0, 2},
      {{nan, 5.0f}, 0, 5},    {{1e9f, 5.0f}, 0, 0},   {{5.0f, 32768.0f}, 0, 0},
  };
  for (const auto& c : cases) {
    const ImagePtr image = Image::imageWithSize(c.size);
    EXPECT_EQ(image->pixelsWide(), c.wide) << c.size.width;
    EXPECT_EQ(image->pixelsHigh(), c.high) << c.size.height;
    EXPECT_TRUE(allPixels(*image, kClear));
  }
  const ImagePtr image = Image::imageWithSize({10.5f, 3.0f});
  EXPECT_EQ(image->size(), (Size{10.5f, 3.0f}));
  EXPECT_EQ(image->pixelAt(10, 2), kClear);
  EXPECT_EQ(image->pixelAt(11, 0), std::nullopt);
  EXPECT_EQ(image->pixelAt(0, -1), std::nullopt);
}

TEST(Image, FocusNestsAndUnlockGivesItBack) {
  const ImagePtr outer = Image::imageWithSize({4, 4});
  const ImagePtr inner = Image::imageWithSize({4, 4});
  EXPECT_EQ(currentGraphicsContext(), nullptr);

  outer->lockFocus();
  cairo_t* outerContext = currentGraphicsContext();
  ASSERT_NE(outerContext, nullptr);
  inner->lockFocus();
  EXPECT_NE(currentGraphicsContext(), outerContext);
  fillAll(*inner, Color::redColor());
  // An unbalanced unlock of the outer image changes nothing.
  EXPECT_FALSE(outer->unlockFocus());
  EXPECT_TRUE(inner->unlockFocus());
  EXPECT_EQ(currentGraphicsContext(), outerContext);
  fillAll(*outer, Color::colorWithCalibratedRed(0, 1, 0, 1));
  EXPECT_TRUE(outer->unlockFocus());
  EXPECT_EQ(currentGraphicsContext(), nullptr);
  EXPECT_FALSE(outer->unlockFocus());

  EXPECT_TRUE(allPixels(*inner, kRed));
  EXPECT_TRUE(allPixels(*outer, kGreen));
  // Without a destination, drawing goes nowhere.
  fillAll(*outer, Color::redColor());
  EXPECT_TRUE(allPixels(*outer, kGreen));
}

TEST(Image, EachThreadHasItsOwnFocus) {
  const ImagePtr mine = Image::imageWithSize({2, 2});
  const ImagePtr theirs = Image::imageWithSize({2, 2});
  mine->lockFocus();
  bool sawNone = false;
  std::thread other([&] {
    sawNone = currentGraphicsContext() == nullptr;
    theirs->lockFocus();
    fillAll(*theirs, Color::redColor());
    theirs->unlockFocus();
  });
  other.join();
  EXPECT_TRUE(sawNone);
  // The other thread could not unlock this thread's focus either.
  EXPECT_TRUE(mine->unlockFocus());
  EXPECT_TRUE(allPixels(*mine, kClear));
  EXPECT_TRUE(allPixels(*theirs, kRed));
}

TEST(Image, FillReplacesWhatWasThere) {
  const ImagePtr image = test_support::drawnInto({4, 2}, [] {
    fillRect(Rect{{0, 0}, {4, 2}}, *Color::redColor());
    fillRect(Rect{{2, 0}, {2, 2}}, *Color::redColor()->colorWithAlphaComponent(0.0f));
  });
  EXPECT_EQ(image->pixelAt(1, 1), kRed);
  EXPECT_EQ(image->pixelAt(2, 0), kClear);
}

class ImageFileTest : public ::testing::Test {
 protected:
  test_support::TempHome home_{"fw-image"};
  test_support::ScopedEnv homeVariable_{"HOME", home_.home().string()};
  test_support::ScopedEnv tmpVariable_{"TMPDIR", home_.tmp().string()};
  const std::filesystem::path dir_ = home_.root();
};

TEST_F(ImageFileTest, PngReadsBackPixelForPixel) {
  const ImagePtr image = test_support::drawnInto({3, 2}, [] {
    fillRect(Rect{{0, 0}, {1, 2}}, *Color::redColor());
    fillRect(Rect{{1, 0}, {1, 2}}, *Color::colorWithCalibratedRed(0, 0, 1, 0.5f));
  });

  const std::filesystem::path png = dir_ / "tmp" / "out.png";
  ASSERT_TRUE(image->writeToPNG(png.u16string()));
  cairo_surface_t* back = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(back), 3);
  ASSERT_EQ(cairo_image_surface_get_height(back), 2);
  for (int y = 0; y < 2; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(back) + y * cairo_image_surface_get_stride(back));
    for (int x = 0; x < 3; ++x) {
      const Pixel p = *image->pixelAt(x, y);
      const std::uint32_t want = (std::uint32_t{p.alpha} << 24) | (std::uint32_t{p.red} << 16) |
                                 (std::uint32_t{p.green} << 8) | p.blue;
      EXPECT_EQ(row[x], want) << x << "," << y;
    }
  }
  cairo_surface_destroy(back);
  EXPECT_EQ(image->pixelAt(1, 0), (Pixel{0, 0, 128, 128}));
}

TEST_F(ImageFileTest, UnwritablePathsAndEmptyImagesFail) {
  const ImagePtr image = Image::imageWithSize({2, 2});
  EXPECT_FALSE(image->writeToPNG((dir_ / "missing" / "x.png").u16string()));
  EXPECT_FALSE(image->writeToPNG(u""));
  EXPECT_FALSE(image->writeToPNG(std::u16string(u"a\0b.png", 7)));
  EXPECT_FALSE(Image::imageWithSize({0, 12})->writeToPNG((dir_ / "tmp" / "e.png").u16string()));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "tmp" / "e.png"));
}

}  // namespace
}  // namespace fw
