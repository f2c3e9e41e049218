#include "platform/graphics/text/string_drawing.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/graphics/graphics_context.h"
#include "platform/graphics/text/attributed_string.h"
#include "platform/strings/unicode.h"

namespace fw {
namespace {

constexpr float kMaxPointSize = 4096.0f;

// Grayscale antialiasing, unhinted outlines and whole-pixel metrics on every
// destination, so that a string measures the same wherever it is drawn and
// its pixels carry only the text color's hue.
cairo_font_options_t* fontOptions() {
  static cairo_font_options_t* options = [] {
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
    return o;
  }();
  return options;
}

// This thread's two pango contexts, on the default cairo font map: one for
// measuring, with the identity matrix an unscaled image has, and one that is
// brought up to date with each destination before drawing into it. Both
// carry the same font options.
struct Contexts {
  PangoContext* measuring;
  PangoContext* drawing;
  Contexts() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    measuring = pango_font_map_create_context(map);
    drawing = pango_font_map_create_context(map);
    pango_cairo_context_set_font_options(measuring, fontOptions());
    pango_cairo_context_set_font_options(drawing, fontOptions());
  }
  ~Contexts() {
    g_object_unref(drawing);
    g_object_unref(measuring);
  }
  Contexts(const Contexts&) = delete;
  Contexts& operator=(const Contexts&) = delete;
};

Contexts& contexts() {
  thread_local Contexts c;
  return c;
}

std::string layoutText(std::u16string_view text) {
  std::string utf8 = utf16ToUtf8Lossy(text);
  // Pango stops at a NUL; show it as the replacement character instead.
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

void configure(PangoLayout* layout, std::u16string_view text, const TextAttributes& attributes) {
  const Font f = font(attributes);
  float points = f.pointSize;
  if (!(points > 0.0f)) points = Font{}.pointSize;
  if (points > kMaxPointSize) points = kMaxPointSize;
  PangoFontDescription* desc = pango_font_description_new();
  const std::string family = utf16ToUtf8Lossy(f.familyName);
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, static_cast<double>(points) * PANGO_SCALE);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  const std::string utf8 = layoutText(text);
  // Pango counts bytes in an int: text beyond that is cut at the last whole
  // character that fits.
  std::size_t length = utf8.size();
  if (length > static_cast<std::size_t>(INT_MAX)) {
    length = static_cast<std::size_t>(INT_MAX);
    while (length > 0 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80) --length;
  }
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(length));
}

// Lays `text` out at the origin of `rect` and draws it into the current
// destination; `wrapped` breaks lines at the rectangle's width and clips to it.
void show(std::u16string_view text, Rect rect, const TextAttributes& attributes, bool wrapped) {
  cairo_t* cr = currentGraphicsContext();
  if (cr == nullptr) return;
  PangoContext* context = contexts().drawing;
  // Takes the destination's matrix; the font options set above stay in force.
  pango_cairo_update_context(cr, context);
  PangoLayout* layout = pango_layout_new(context);
  configure(layout, text, attributes);
  cairo_save(cr);
  if (wrapped) {
    const double width = std::min<double>(rect.size.width * PANGO_SCALE, INT_MAX);
    pango_layout_set_width(layout, static_cast<int>(width));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
  }
  if (const Color* c = foregroundColor(attributes)) {
    setSourceColor(cr, *c);
  } else {
    cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 1.0);
  }
  cairo_move_to(cr, rect.origin.x, rect.origin.y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

}  // namespace

const Color* foregroundColor(const TextAttributes& attributes) {
  auto it = attributes.find(NSForegroundColorAttributeName);
  if (it == attributes.end()) return nullptr;
  const ColorPtr* color = std::get_if<ColorPtr>(&it->second);
  return color != nullptr ? color->get() : nullptr;
}

Font font(const TextAttributes& attributes) {
  auto it = attributes.find(NSFontAttributeName);
  if (it == attributes.end()) return Font{};
  const Font* f = std::get_if<Font>(&it->second);
  return f != nullptr ? *f : Font{};
}

Size sizeWithAttributes(std::u16string_view text, const TextAttributes& attributes) {
  PangoLayout* layout = pango_layout_new(contexts().measuring);
  configure(layout, text, attributes);
  int width = 0;
  int height = 0;
  pango_layout_get_size(layout, &width, &height);
  g_object_unref(layout);
  return Size{static_cast<float>(width) / PANGO_SCALE, static_cast<float>(height) / PANGO_SCALE};
}

void drawAtPoint(std::u16string_view text, Point point, const TextAttributes& attributes) {
  // A non-finite point would leave the context in an error state for every
  // later drawing into this destination.
  if (!std::isfinite(point.x) || !std::isfinite(point.y)) return;
  show(text, Rect{point, {}}, attributes, false);
}

void drawInRect(std::u16string_view text, Rect rect, const TextAttributes& attributes) {
  for (float v : {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}) {
    if (!std::isfinite(v)) return;
  }
  if (!(rect.size.width > 0.0f) || !(rect.size.height > 0.0f)) return;
  show(text, rect, attributes, true);
}

Size AttributedString::size() const { return sizeWithAttributes(string_, attributes_); }

void AttributedString::drawAtPoint(Point point) const {
  fw::drawAtPoint(string_, point, attributes_);
}

void AttributedString::drawInRect(Rect rect) const { fw::drawInRect(string_, rect, attributes_); }

AttributedString AttributedString::attributedStringWithColor(ColorPtr color) const {
  if (!color) return *this;
  TextAttributes attributes = attributes_;
  attributes.insert_or_assign(std::u16string(NSForegroundColorAttributeName), std::move(color));
  return AttributedString(string_, std::move(attributes));
}

AttributedString AttributedString::whiteAttributedString() const {
  return attributedStringWithColor(Color::whiteColor());
}

}  // namespace fw
