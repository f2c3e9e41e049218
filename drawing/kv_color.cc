#include "drawing/kv_color.h"

#include <array>

#include "platform/graphics/desktop/appearance.h"

namespace fw {
namespace {

constexpr int kSteps = 101;
using Ramp = std::array<ColorPtr, kSteps>;

// Every ramp entry and fixed slot, empty at start. The storage is constant-
// initialised (no guard on the hot path) and never destroyed: colors handed
// out stay valid until the process ends, even for code running at exit.
struct Caches {
  Ramp gray;
  Ramp blackAlpha;
  Ramp grayAlpha;
  Ramp lightGrayAlpha;
  Ramp whiteAlpha;

  ColorPtr gray10, gray20, gray30, gray40, gray50, gray60, gray70, gray75, gray80, gray85, gray90;
  ColorPtr white, red, grayNamed, lightGray, black;
  ColorPtr lightBlue, lightBlueA;
  ColorPtr alternateSelected, secondarySelected, whiteBlendedWithAlternate;
  ColorPtr none;  // stays empty: the answer for "no color"
};

union Forever {
  Caches caches;
  constexpr Forever() : caches() {}
  ~Forever() {}
};

constinit Forever storage;
Caches& caches = storage.caches;

// Clamp to 0..1, then truncate 100 * x formed in single precision. Written
// so that NaN, which fails every comparison, lands on 0.
inline int stepIndex(float x) {
  if (!(x > 0.0f)) return 0;
  if (x >= 1.0f) return kSteps - 1;
  const float product = 100.0f * x;
  return static_cast<int>(product);
}

inline float stepLevel(int i) { return static_cast<float>(i) / 100.0f; }

template <class Make>
inline const ColorPtr& fill(ColorPtr& slot, Make make) {
  if (!slot) slot = make();
  return slot;
}

const ColorPtr& alphaOf(Ramp& ramp, const ColorPtr& (*base)(), float alpha) {
  const int i = stepIndex(alpha);
  ColorPtr& entry = ramp[i];
  if (!entry) {
    const ColorPtr& b = base();
    if (!b) return caches.none;
    entry = b->colorWithAlphaComponent(stepLevel(i));
  }
  return entry;
}

ColorPtr calibrated(float r, float g, float b) {
  return Color::colorWithCalibratedRed(r, g, b, 1.0f);
}

ColorPtr calibratedGray(float level) { return calibrated(level, level, level); }

ColorPtr inCalibratedRGB(const ColorPtr& system) {
  return system ? system->colorUsingColorSpaceName(ColorSpace::kCalibratedRGB) : nullptr;
}

}  // namespace

const ColorPtr& KvGrayColor(float level) {
  const int i = stepIndex(level);
  return fill(caches.gray[i], [i] { return calibratedGray(stepLevel(i)); });
}

const ColorPtr& KvBlackAlpha(float alpha) {
  return alphaOf(caches.blackAlpha, &KvColor::blackColor, alpha);
}
const ColorPtr& KvGrayAlpha(float alpha) {
  return alphaOf(caches.grayAlpha, &KvColor::grayColor, alpha);
}
const ColorPtr& KvLightGrayAlpha(float alpha) {
  return alphaOf(caches.lightGrayAlpha, &KvColor::lightGrayColor, alpha);
}
const ColorPtr& KvWhiteAlpha(float alpha) {
  return alphaOf(caches.whiteAlpha, &KvColor::whiteColor, alpha);
}
const ColorPtr& KvWhiteColor(float level) { return KvWhiteAlpha(level); }

const ColorPtr& KvColor::grayColor(float level) { return KvGrayColor(level); }
const ColorPtr& KvColor::whiteColor(float level) { return KvWhiteColor(level); }

const ColorPtr& KvColor::grayColor10() {
  return fill(caches.gray10, [] { return calibratedGray(0.1f); });
}
const ColorPtr& KvColor::grayColor20() {
  return fill(caches.gray20, [] { return calibratedGray(0.2f); });
}
const ColorPtr& KvColor::grayColor30() {
  return fill(caches.gray30, [] { return calibratedGray(0.3f); });
}
const ColorPtr& KvColor::grayColor40() {
  return fill(caches.gray40, [] { return calibratedGray(0.4f); });
}
const ColorPtr& KvColor::grayColor50() {
  return fill(caches.gray50, [] { return calibratedGray(0.5f); });
}
const ColorPtr& KvColor::grayColor60() {
  return fill(caches.gray60, [] { return calibratedGray(0.6f); });
}
const ColorPtr& KvColor::grayColor70() {
  return fill(caches.gray70, [] { return calibratedGray(0.7f); });
}
const ColorPtr& KvColor::grayColor75() {
  return fill(caches.gray75, [] { return calibratedGray(0.75f); });
}
const ColorPtr& KvColor::grayColor80() {
  return fill(caches.gray80, [] { return calibratedGray(0.8f); });
}
const ColorPtr& KvColor::grayColor85() {
  return fill(caches.gray85, [] { return calibratedGray(0.85f); });
}
const ColorPtr& KvColor::grayColor90() {
  return fill(caches.gray90, [] { return calibratedGray(0.9f); });
}

const ColorPtr& KvColor::whiteColor() { return fill(caches.white, &Color::whiteColor); }
const ColorPtr& KvColor::redColor() { return fill(caches.red, &Color::redColor); }
const ColorPtr& KvColor::grayColor() { return fill(caches.grayNamed, &Color::grayColor); }
const ColorPtr& KvColor::lightGrayColor() { return fill(caches.lightGray, &Color::lightGrayColor); }
const ColorPtr& KvColor::blackColor() { return fill(caches.black, &Color::blackColor); }

const ColorPtr& KvColor::lightBlueColor() {
  // The tint is read only while the slot is empty, so the first call's
  // choice holds for the life of the process.
  return fill(caches.lightBlue, [] {
    if (Color::currentControlTint() == kBlueControlTint) {
      return calibrated(0.929412f, 0.952941f, 0.996078f);
    }
    return calibrated(0.941176f, 0.941176f, 0.941176f);
  });
}

const ColorPtr& KvColor::lightBlueColorA() {
  return fill(caches.lightBlueA, [] { return calibrated(0.819608f, 0.843137f, 0.886275f); });
}

const ColorPtr& KvColor::alternateSelectedControlColor() {
  return fill(caches.alternateSelected,
              [] { return inCalibratedRGB(Color::alternateSelectedControlColor()); });
}

const ColorPtr& KvColor::secondarySelectedControlColor() {
  return fill(caches.secondarySelected,
              [] { return inCalibratedRGB(Color::secondarySelectedControlColor()); });
}

const ColorPtr& KvColor::whiteColorBlendedWithAlternate() {
  return fill(caches.whiteBlendedWithAlternate, []() -> ColorPtr {
    const ColorPtr& alternate = alternateSelectedControlColor();
    if (!alternate) return nullptr;
    // The platform's own white, not the palette's slot.
    return Color::whiteColor()->blendedColorWithFraction(0.3f, *alternate);
  });
}

const ColorPtr& KvColor::colorForIndex(std::int32_t index) {
  switch (index) {
    case 0: return whiteColor();
    case 1: return lightBlueColor();
    case 2: return alternateSelectedControlColor();
    case 3: return secondarySelectedControlColor();
    default: return caches.none;
  }
}

std::int32_t KvColor::indexForColor(const Color* color) {
  // Each is fetched just before its comparison, so only the colors up to the
  // first match are made.
  if (color == whiteColor().get()) return 0;
  if (color == lightBlueColor().get()) return 1;
  if (color == alternateSelectedControlColor().get()) return 2;
  if (color == secondarySelectedControlColor().get()) return 3;
  return 0;
}

}  // namespace fw
