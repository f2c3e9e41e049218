// The gtk-labels window on a real X server, checked by its pixels: the
// labels' text colors, the tint following the keyboard focus and the key
// window. Leaves a screenshot of the focused window in the build tree
// (gtk-labels.png), the one the README shows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <tuple>

#include "drawing/view_first_responder.h"
#include "examples/gtk-labels/labels_window.h"
#include "gtk/binding.h"
#include "tests/support/gtk_display.h"
#include "tests/support/image_pixels.h"

namespace fw {
namespace {

using test_support::presentAndWait;
using test_support::Rgb;
using test_support::waitFor;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
// Adwaita's selected background (GTK 4.8), active and unfocused alike.
constexpr Rgb kSelection{0x35, 0x84, 0xe4};
// The palette's light blue under the blue tint.
constexpr Rgb kLightBlue{237, 243, 254};

// The most frequent opaque color of a row, and the most frequent other one:
// the background, and the text in the glyphs' fully covered pixels.
struct RowColors {
  Rgb background{-1, -1, -1};
  Rgb text{-1, -1, -1};
  friend bool operator==(const RowColors&, const RowColors&) = default;
};

std::ostream& operator<<(std::ostream& out, const RowColors& c) {
  auto show = [&](const Rgb& rgb) {
    out << "(" << std::get<0>(rgb) << "," << std::get<1>(rgb) << "," << std::get<2>(rgb) << ")";
  };
  out << "background ";
  show(c.background);
  out << " text ";
  show(c.text);
  return out;
}

class LabelsOnScreen : public ::testing::Test {
 protected:
  void SetUp() override { test_support::resetApplication(); }
  void TearDown() override {
    for (GtkWidget* w : {labels_.window, other_}) {
      if (w != nullptr) gtk_window_destroy(GTK_WINDOW(w));
    }
    test_support::resetApplication();
  }

  // Waits for the area to be drawn tinted (or not), then reads each row's
  // colors from the window's snapshot.
  std::map<int, RowColors> rowsOnceDrawn(bool tinted) {
    EXPECT_TRUE(waitFor([&] { return *labels_.draws > 0 && *labels_.drawnTinted == tinted; }))
        << "the area was never drawn " << (tinted ? "tinted" : "untinted");
    cairo_surface_t* shot = test_support::snapshotWidget(labels_.window);
    const auto pixels = test_support::surfacePixels(shot);
    const int width = cairo_image_surface_get_width(shot);
    if (tinted && screenshot_.empty()) {
      screenshot_ =
          std::string(std::getenv("FW_BUILD_DIR") ? std::getenv("FW_BUILD_DIR") : "/tmp") +
          "/gtk-labels.png";
      EXPECT_EQ(cairo_surface_write_to_png(shot, screenshot_.c_str()), CAIRO_STATUS_SUCCESS);
    }
    double ax = 0, ay = 0;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    EXPECT_TRUE(gtk_widget_translate_coordinates(labels_.area, labels_.window, 0, 0, &ax, &ay));
    G_GNUC_END_IGNORE_DEPRECATIONS
    std::map<int, RowColors> rows;
    for (int row = 0; row < labels::kRows; ++row) {
      const Rect r = labels::rowRect(row);
      std::map<Rgb, int> counts;
      for (int y = static_cast<int>(ay + r.origin.y); y < ay + r.origin.y + r.size.height; ++y) {
        for (int x = static_cast<int>(ax); x < ax + r.size.width; ++x) {
          if ((pixels[static_cast<std::size_t>(y) * width + x] >> 24) != 0xFF) continue;
          ++counts[test_support::rgbAt(pixels, width, x, y)];
        }
      }
      RowColors c;
      int best = 0;
      int second = 0;
      for (const auto& [rgb, n] : counts) {
        if (n > best) {
          c.text = c.background;
          second = best;
          c.background = rgb;
          best = n;
        } else if (n > second) {
          c.text = rgb;
          second = n;
        }
      }
      rows[row] = c;
    }
    cairo_surface_destroy(shot);
    return rows;
  }

  void expectRows(bool tinted, const char* when) {
    SCOPED_TRACE(when);
    // The four palette backgrounds, then the selected row: white text on
    // the alternate selection color only (that very palette object; the
    // secondary selection color has the same components here and keeps
    // black text), black on every other background.
    const std::map<int, RowColors> want = {
        {0, {kWhite, kBlack}},
        {1, {kLightBlue, kBlack}},
        {2, {kSelection, kWhite}},
        {3, {kSelection, kBlack}},
        {4, {kSelection, tinted ? kWhite : kBlack}},
    };
    EXPECT_EQ(rowsOnceDrawn(tinted), want);
    EXPECT_EQ(isFirstResponder(*labels_.view), tinted);
  }

  labels::LabelsWindow labels_ = labels::makeLabelsWindow(nullptr);
  GtkWidget* other_ = nullptr;
  std::string screenshot_;
};

TEST_F(LabelsOnScreen, TextColorsFollowTheBackgroundAndTheTintFollowsTheFocus) {
  ASSERT_TRUE(presentAndWait(labels_.window));
  ASSERT_TRUE(gtk_widget_grab_focus(labels_.area));
  expectRows(true, "the area has the focus of the key window");

  ASSERT_TRUE(gtk_widget_grab_focus(labels_.entry));
  expectRows(false, "the entry has the focus");
  ASSERT_TRUE(gtk_widget_grab_focus(labels_.area));
  expectRows(true, "the area has it again");

  other_ = gtk_window_new();
  gtk_window_set_default_size(GTK_WINDOW(other_), 200, 100);
  const auto otherWindow = std::make_shared<Window>();
  gtk::bindWindow(GTK_WINDOW(other_), otherWindow);
  ASSERT_TRUE(presentAndWait(other_));
  EXPECT_TRUE(otherWindow->isKeyWindow());
  EXPECT_TRUE(otherWindow->isMainWindow());
  EXPECT_FALSE(labels_.fwWindow->isKeyWindow());
  EXPECT_EQ(labels_.fwWindow->firstResponder(), labels_.view.get())
      << "the area keeps its window's focus";
  expectRows(false, "another window is key");

  ASSERT_TRUE(presentAndWait(labels_.window));
  EXPECT_TRUE(labels_.fwWindow->isKeyWindow());
  EXPECT_FALSE(otherWindow->isKeyWindow());
  expectRows(true, "the labels window is key again");
  std::printf("screenshot: %s\n", screenshot_.c_str());
}

}  // namespace
}  // namespace fw
