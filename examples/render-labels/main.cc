// Renders a sheet of labels on each palette background, with the text color
// each background calls for, and writes it as one PNG. The file goes to the
// path given as the only argument, or to "render-labels.png" in the
// per-user temporary directory; its path is printed on standard output.
//
//   render-labels [OUTPUT.png]

#include <cstdio>
#include <iterator>
#include <string>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "platform/files/path.h"
#include "platform/files/temporary_directory.h"
#include "platform/graphics/graphics_context.h"
#include "platform/graphics/image.h"
#include "platform/graphics/text/string_drawing.h"
#include "platform/strings/unicode.h"

namespace {

constexpr float kRowHeight = 44.0f;
constexpr float kColumnWidth = 230.0f;
constexpr float kMargin = 12.0f;

struct Background {
  const char16_t* name;
  std::int32_t index;
};

const Background kBackgrounds[] = {
    {u"0 white", 0},
    {u"1 light blue", 1},
    {u"2 alternate selection", 2},
    {u"3 secondary selection", 3},
};

fw::TextAttributes textAttributes(const fw::ColorPtr& color, float points) {
  return {{std::u16string(fw::NSForegroundColorAttributeName), color},
          {std::u16string(fw::NSFontAttributeName), fw::Font{u"DejaVu Sans", points}}};
}

}  // namespace

int main(int argc, char** argv) {
  std::u16string path;
  if (argc > 1) {
    path = fw::utf8ToUtf16Lossy(argv[1]);
  } else {
    std::string reason;
    const auto dir = fw::temporaryDirectory(&reason);
    if (!dir) {
      std::fprintf(stderr, "render-labels: no temporary directory: %s\n", reason.c_str());
      return 1;
    }
    path = fw::stringByAppendingPathComponent(*dir, u"render-labels.png");
  }

  const fw::TextAttributes black = textAttributes(fw::KvColor::blackColor(), 15);
  const fw::TextAttributes caption = textAttributes(fw::KvColor::grayColor30(), 11);
  const float width = kMargin + 4 * kColumnWidth;
  const float height = kRowHeight * (1 + std::size(kBackgrounds)) + kMargin;
  const fw::ImagePtr sheet = fw::Image::imageWithSize({width, height});

  sheet->lockFocus();
  fw::fillRect({{0, 0}, {width, height}}, *fw::KvColor::grayColor90());
  const char16_t* headings[] = {u"background", u"by color", u"by index, white alpha 1.0",
                                u"by index, white alpha 0.5"};
  for (int column = 0; column < 4; ++column) {
    fw::drawAtPoint(headings[column], {kMargin + column * kColumnWidth, kMargin}, caption);
  }

  float y = kRowHeight;
  for (const Background& b : kBackgrounds) {
    const fw::ColorPtr& background = fw::KvColor::colorForIndex(b.index);
    fw::fillRect({{0, y}, {width, kRowHeight - 2}}, *background);
    const float textY = y + (kRowHeight - fw::sizeWithAttributes(u"Ag", black).height) / 2;
    fw::drawAtPoint(b.name, {kMargin, textY}, black, background.get());
    fw::drawAtPoint(u"Selected Track", {kMargin + kColumnWidth, textY}, black, background.get());
    fw::drawAtPoint(u"Selected Track", {kMargin + 2 * kColumnWidth, textY}, black, b.index, 1.0f);
    fw::drawAtPoint(u"Selected Track", {kMargin + 3 * kColumnWidth, textY}, black, b.index, 0.5f);
    y += kRowHeight;
  }

  // One label rendered on its own and placed like a picture.
  const fw::ImagePtr label = fw::imageWithAttributes(u"imageWithAttributes", caption);
  cairo_t* cr = fw::currentGraphicsContext();
  cairo_set_source_surface(cr, label->surface(), width - label->size().width - kMargin,
                           height - label->size().height - 2);
  cairo_paint(cr);
  sheet->unlockFocus();

  if (!sheet->writeToPNG(path)) {
    std::fprintf(stderr, "render-labels: could not write %s\n", fw::utf16ToUtf8Lossy(path).c_str());
    return 1;
  }
  std::printf("%s\n", fw::utf16ToUtf8Lossy(path).c_str());
  return 0;
}
