// Drawing into a caller's cairo context: the same pixels as into an image,
// real text in a PDF, the caller's matrix and clip honoured and kept, and
// the focus stack as it was however the scope ends.

#include <cairo-pdf.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "platform/graphics/graphics_context.h"
#include "platform/graphics/text/attributed_string.h"
#include "platform/graphics/text/string_drawing.h"
#include "tests/support/image_pixels.h"
#include "tests/support/temp_home.h"

namespace fw {
namespace {

using test_support::sansText;
using test_support::surfacePixels;

constexpr int kWide = 160;
constexpr int kHigh = 48;

// A caller's own image surface and context, as a toolkit would hand them over.
struct CallerSurface {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWide, kHigh);
  cairo_t* cr = cairo_create(surface);
  ~CallerSurface() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

TEST(DrawingDestination, DrawsTheSamePixelsAsIntoAnImage) {
  const TextAttributes black = sansText(15);
  const ColorPtr& alternate = KvColor::alternateSelectedControlColor();
  const struct {
    const char* name;
    std::function<void()> draw;
  } cases[] = {
      {"label on the alternate selection color",
       [&] {
         fillRect({{0, 0}, {kWide, kHigh}}, *alternate);
         drawAtPoint(u"Selected Track", {6, 10}, black, alternate.get());
       }},
      {"label by index, blended white",
       [&] {
         fillRect({{0, 0}, {kWide, kHigh}}, *KvColor::colorForIndex(2));
         drawAtPoint(u"Selected Track", {6, 10}, black, 2, 0.5f);
       }},
      {"label on white",
       [&] {
         drawAtPoint(u"Ag", {3, 3}, black, KvColor::whiteColor().get());
       }},
      {"attributed string",
       [&] {
         AttributedString(u"Hello", black).drawAtPoint({0, 20});
       }},
      {"wrapped into a rectangle",
       [&] {
         drawInRect(u"a label wrapped over lines", {{4, 2}, {70, 40}}, black);
       }},
      {"a filled rectangle, half transparent",
       [&] {
         fillRect({{10, 5}, {30, 20}}, *Color::redColor()->colorWithAlphaComponent(0.5f));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ImagePtr image = test_support::drawnInto({kWide, kHigh}, c.draw);
    CallerSurface caller;
    {
      ScopedDrawingDestination destination(caller.cr);
      EXPECT_EQ(currentGraphicsContext(), caller.cr);
      c.draw();
    }
    const auto want = surfacePixels(image->surface());
    EXPECT_EQ(surfacePixels(caller.surface), want);
    EXPECT_NE(want, std::vector<std::uint32_t>(want.size(), 0u)) << "something was drawn";
  }
}

TEST(DrawingDestination, WrappedTextBreaksAtTheWidthAndStaysInside) {
  const TextAttributes black = sansText(15);
  const float line = sizeWithAttributes(u"Ag", black).height;
  const ImagePtr image = test_support::drawnInto({kWide, kHigh}, [&] {
    drawInRect(u"one two three four five six", {{10, 4}, {60, line * 1.5f}}, black);
  });
  int inside = 0;
  for (int y = 0; y < kHigh; ++y) {
    for (int x = 0; x < kWide; ++x) {
      if (image->pixelAt(x, y)->alpha == 0) continue;
      const bool in = x >= 10 && x < 70 && y >= 4 && y < 4 + line * 1.5f;
      ASSERT_TRUE(in) << x << "," << y;
      inside += y >= 4 + line;  // the second line, cut halfway by the clip
    }
  }
  EXPECT_GT(inside, 0) << "the text went on to a second line";
}

TEST(DrawingDestination, APdfSurfaceGetsRealText) {
  test_support::TempHome home("fw-pdf");
  const std::string path = (home.tmp() / "labels.pdf").string();
  cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), 200, 60);
  cairo_t* cr = cairo_create(pdf);
  {
    ScopedDrawingDestination destination(cr);
    drawAtPoint(u"Selected Track", {10, 10}, sansText(15), KvColor::whiteColor().get());
  }
  cairo_destroy(cr);
  cairo_surface_finish(pdf);
  ASSERT_EQ(cairo_surface_status(pdf), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(pdf);

  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  // Text, not a picture of it: the page names an embedded DejaVu Sans.
  EXPECT_NE(bytes.find("/FontFile"), std::string::npos);
  EXPECT_NE(bytes.find("DejaVuSans"), std::string::npos);

  if (std::system("command -v pdftotext >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "pdftotext (poppler-utils, scripts/install-deps) is not installed; the "
                    "font check above passed, the text itself was not read back";
  }
  FILE* text = popen(("pdftotext -q '" + path + "' -").c_str(), "r");
  ASSERT_NE(text, nullptr);
  std::string read;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, text) != nullptr) read += buffer;
  EXPECT_EQ(pclose(text), 0);
  EXPECT_EQ(read.substr(0, read.find_first_of("\n\f")), "Selected Track");
}

TEST(DrawingDestination, DrawsWhereTheCallerSaidAndKeepsItsState) {
  const TextAttributes red = sansText(15, Color::redColor());
  CallerSurface caller;
  cairo_translate(caller.cr, 30, 8);
  cairo_rectangle(caller.cr, 0, 0, 40, 20);
  cairo_clip(caller.cr);
  cairo_set_source_rgb(caller.cr, 0, 0, 1);
  cairo_matrix_t before;
  cairo_get_matrix(caller.cr, &before);
  {
    ScopedDrawingDestination destination(caller.cr);
    fillRect({{-100, -100}, {1000, 1000}}, *KvColor::grayColor50());
    drawAtPoint(u"Ag", {2, 1}, red);
    // What drawing code sets through the context stays inside the scope.
    cairo_translate(currentGraphicsContext(), 50, 50);
    cairo_reset_clip(currentGraphicsContext());
  }
  // The fill covered the clip in the caller's user space, and nothing else.
  const auto pixels = surfacePixels(caller.surface);
  for (int y = 0; y < kHigh; ++y) {
    for (int x = 0; x < kWide; ++x) {
      const bool inClip = x >= 30 && x < 70 && y >= 8 && y < 28;
      const std::uint32_t p = pixels[static_cast<std::size_t>(y) * kWide + x];
      ASSERT_EQ(p != 0u, inClip) << x << "," << y;
    }
  }
  // The text sits at (2, 1) of that space: as drawn at (32, 9) into an image.
  const ImagePtr image = test_support::drawnInto({kWide, kHigh}, [&] {
    fillRect({{30, 8}, {40, 20}}, *KvColor::grayColor50());
    drawAtPoint(u"Ag", {32, 9}, red);
  });
  EXPECT_EQ(pixels, surfacePixels(image->surface()));

  cairo_matrix_t after;
  cairo_get_matrix(caller.cr, &after);
  EXPECT_EQ(std::make_tuple(after.x0, after.y0, after.xx, after.yy),
            std::make_tuple(before.x0, before.y0, before.xx, before.yy));
  double x1, y1, x2, y2;
  cairo_clip_extents(caller.cr, &x1, &y1, &x2, &y2);
  EXPECT_EQ(std::make_tuple(x1, y1, x2, y2), std::make_tuple(0.0, 0.0, 40.0, 20.0));
  double r, g, b, a;
  ASSERT_EQ(cairo_pattern_get_rgba(cairo_get_source(caller.cr), &r, &g, &b, &a),
            CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(std::make_tuple(r, g, b, a), std::make_tuple(0.0, 0.0, 1.0, 1.0));
}

TEST(DrawingDestination, NestsWithImageFocusAndEndsCleanlyOnAnException) {
  const ImagePtr outer = Image::imageWithSize({4, 4});
  const ImagePtr inner = Image::imageWithSize({4, 4});
  CallerSurface first;
  CallerSurface second;
  outer->lockFocus();
  cairo_t* outerContext = currentGraphicsContext();
  {
    ScopedDrawingDestination a(first.cr);
    EXPECT_EQ(currentGraphicsContext(), first.cr);
    EXPECT_FALSE(outer->unlockFocus()) << "the outer image is not the innermost destination";
    inner->lockFocus();
    EXPECT_NE(currentGraphicsContext(), first.cr);
    EXPECT_TRUE(inner->unlockFocus());
    EXPECT_EQ(currentGraphicsContext(), first.cr);
    {
      ScopedDrawingDestination none(nullptr);
      EXPECT_EQ(currentGraphicsContext(), nullptr);
      fillRect({{0, 0}, {4, 4}}, *Color::redColor());  // goes nowhere
    }
    try {
      ScopedDrawingDestination b(second.cr);
      inner->lockFocus();  // never unlocked: the exception passes first
      throw std::runtime_error("drawing failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(currentGraphicsContext(), first.cr);
    EXPECT_FALSE(inner->unlockFocus()) << "its focus ended with the scope";
  }
  EXPECT_EQ(currentGraphicsContext(), outerContext);
  EXPECT_TRUE(outer->unlockFocus());
  EXPECT_EQ(currentGraphicsContext(), nullptr);
  EXPECT_EQ(surfacePixels(outer->surface()), std::vector<std::uint32_t>(16, 0u));
  // Every save was matched by a restore: both contexts are still usable and
  // balanced (restoring once more would be an error).
  for (cairo_t* cr : {first.cr, second.cr}) {
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    cairo_restore(cr);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_INVALID_RESTORE);
  }
}

}  // namespace
}  // namespace fw
