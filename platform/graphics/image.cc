#include "platform/graphics/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/path.h"
#include "platform/graphics/graphics_context.h"

namespace fw {
namespace {

int pixelExtent(float v) {
  if (!(v > 0.0f)) return 0;
  const double up = std::ceil(static_cast<double>(v));
  return up > Image::kMaxPixels ? -1 : static_cast<int>(up);
}

// One entry of a thread's destination stack: an image's own context, or a
// caller's context with its state saved (`scope` names the
// ScopedDrawingDestination that pushed it).
struct Focus {
  ImagePtr image;
  cairo_t* cr;
  const void* scope = nullptr;
  Focus(ImagePtr i, cairo_t* c) : image(std::move(i)), cr(c) {}
  Focus(const void* s, cairo_t* c) : cr(c), scope(s) {
    if (cr != nullptr) {
      cairo_reference(cr);
      cairo_save(cr);
    }
  }
  Focus(Focus&& o) noexcept : image(std::move(o.image)), cr(o.cr), scope(o.scope) {
    o.cr = nullptr;
  }
  Focus& operator=(Focus&&) = delete;
  ~Focus() {
    if (cr == nullptr) return;
    if (scope != nullptr) cairo_restore(cr);
    cairo_destroy(cr);
  }
};

std::vector<Focus>& focusStack() {
  thread_local std::vector<Focus> stack;
  return stack;
}

}  // namespace

Image::Image(Key, Size size) : size_(size) {
  const int w = pixelExtent(size.width);
  const int h = pixelExtent(size.height);
  // An oversized image gets a 0 x 0 surface: drawing into it is a no-op.
  const bool oversized = w < 0 || h < 0;
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, oversized ? 0 : w, oversized ? 0 : h);
}

Image::~Image() { cairo_surface_destroy(surface_); }

ImagePtr Image::imageWithSize(Size size) { return std::make_shared<Image>(Key{}, size); }

int Image::pixelsWide() const { return cairo_image_surface_get_width(surface_); }
int Image::pixelsHigh() const { return cairo_image_surface_get_height(surface_); }

void Image::lockFocus() {
  ImagePtr self = weak_from_this().lock();
  if (!self) return;
  focusStack().emplace_back(std::move(self), cairo_create(surface_));
}

bool Image::unlockFocus() {
  std::vector<Focus>& stack = focusStack();
  if (stack.empty() || stack.back().image.get() != this) return false;
  cairo_surface_flush(surface_);
  stack.pop_back();
  return true;
}

bool Image::writeToPNG(std::u16string_view path) const {
  if (pixelsWide() == 0 || pixelsHigh() == 0) return false;
  const std::optional<std::string> utf8 = fileSystemRepresentation(path);
  if (!utf8 || utf8->empty()) return false;
  cairo_surface_flush(surface_);
  return cairo_surface_write_to_png(surface_, utf8->c_str()) == CAIRO_STATUS_SUCCESS;
}

std::optional<Pixel> Image::pixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixelsWide() || y >= pixelsHigh()) return std::nullopt;
  cairo_surface_flush(surface_);
  const unsigned char* row =
      cairo_image_surface_get_data(surface_) +
      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
  std::uint32_t argb;
  std::memcpy(&argb, row + static_cast<std::ptrdiff_t>(x) * 4, sizeof argb);
  return Pixel{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
               static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)};
}

ScopedDrawingDestination::ScopedDrawingDestination(cairo_t* cr) {
  focusStack().emplace_back(static_cast<const void*>(this), cr);
}

ScopedDrawingDestination::~ScopedDrawingDestination() {
  std::vector<Focus>& stack = focusStack();
  const auto mine =
      std::find_if(stack.begin(), stack.end(), [this](const Focus& f) { return f.scope == this; });
  // An entry that an earlier scope already dropped is not there any more.
  const auto keep = static_cast<std::size_t>(mine - stack.begin());
  // Newest first, so that each saved state is restored in its own order.
  while (stack.size() > keep) stack.pop_back();
}

cairo_t* currentGraphicsContext() {
  std::vector<Focus>& stack = focusStack();
  return stack.empty() ? nullptr : stack.back().cr;
}

void setSourceColor(cairo_t* cr, const Color& color) {
  auto unit = [](float v) -> double {
    if (!(v > 0.0f)) return 0.0;
    return v < 1.0f ? v : 1.0;
  };
  cairo_set_source_rgba(cr, unit(color.redComponent()), unit(color.greenComponent()),
                        unit(color.blueComponent()), unit(color.alphaComponent()));
}

void fillRect(const Rect& rect, const Color& color) {
  cairo_t* cr = currentGraphicsContext();
  if (cr == nullptr) return;
  // A non-finite coordinate would leave the context in an error state for
  // every later drawing into this destination.
  for (float v : {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}) {
    if (!std::isfinite(v)) return;
  }
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  setSourceColor(cr, color);
  cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace fw
