#include "drawing/kv_color.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <set>

namespace fw {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

using Ramp = const ColorPtr& (*)(float);

struct RampCase {
  const char* name;
  Ramp ramp;
  const ColorPtr& (*base)();  // nullptr: an opaque gray ramp
};

const RampCase kRamps[] = {
    {"KvGrayColor", &KvGrayColor, nullptr},
    {"KvBlackAlpha", &KvBlackAlpha, &KvColor::blackColor},
    {"KvGrayAlpha", &KvGrayAlpha, &KvColor::grayColor},
    {"KvLightGrayAlpha", &KvLightGrayAlpha, &KvColor::lightGrayColor},
    {"KvWhiteAlpha", &KvWhiteAlpha, &KvColor::whiteColor},
};

// The entry a ramp answers for `arg`, checked against what entry `step`
// must hold: level (or alpha) exactly step / 100.0f.
void expectStep(const RampCase& r, float arg, int step) {
  SCOPED_TRACE(testing::Message() << r.name << "(" << arg << ") should be step " << step);
  const ColorPtr& c = r.ramp(arg);
  ASSERT_NE(c, nullptr);
  const float level = static_cast<float>(step) / 100.0f;
  EXPECT_EQ(c->colorSpace(), ColorSpace::kCalibratedRGB);
  if (r.base == nullptr) {
    EXPECT_EQ(c->redComponent(), level);
    EXPECT_EQ(c->greenComponent(), level);
    EXPECT_EQ(c->blueComponent(), level);
    EXPECT_EQ(c->alphaComponent(), 1.0f);
  } else {
    const ColorPtr& base = r.base();
    EXPECT_EQ(c->redComponent(), base->redComponent());
    EXPECT_EQ(c->greenComponent(), base->greenComponent());
    EXPECT_EQ(c->blueComponent(), base->blueComponent());
    EXPECT_EQ(c->alphaComponent(), level);
    EXPECT_NE(c, base);
  }
  EXPECT_EQ(&r.ramp(arg), &c) << "the same cached object every time";
}

TEST(KvColorRamps, QuantiseByTruncatingTheSinglePrecisionProduct) {
  const struct {
    float arg;
    int step;
  } cases[] = {
      {-0.5f, 0},        {0.0f, 0},   {-kInf, 0},  {kNaN, 0},   {-kNaN, 0},   {1e-30f, 0},
      {0.01f, 1},        {0.25f, 25}, {0.53f, 52}, {0.59f, 58}, {0.555f, 55}, {0.999f, 99},
      {0.99999994f, 99}, {1.0f, 100}, {7.0f, 100}, {kInf, 100},
  };
  for (const RampCase& r : kRamps) {
    for (const auto& c : cases) expectStep(r, c.arg, c.step);
    EXPECT_EQ(r.ramp(-0.5f), r.ramp(0.0f));
    EXPECT_EQ(r.ramp(7.0f), r.ramp(1.0f));
    EXPECT_EQ(r.ramp(0.555f), r.ramp(0.55f));
  }
}

TEST(KvColorRamps, EveryTwoPlaceDecimalButTwoLandsOnItsOwnStep) {
  for (int k = 0; k <= 100; ++k) {
    const int want = (k == 53 || k == 59) ? k - 1 : k;
    expectStep(kRamps[0], static_cast<float>(k) / 100.0f, want);
  }
}

TEST(KvColorRamps, EachRampKeepsItsOwnEntries) {
  std::set<const Color*> seen;
  for (const RampCase& r : kRamps) {
    // Mid-step arguments, so that each lands on its own entry.
    for (int k = 0; k < 100; ++k)
      seen.insert(r.ramp((static_cast<float>(k) + 0.5f) / 100.0f).get());
    seen.insert(r.ramp(1.0f).get());
  }
  EXPECT_EQ(seen.size(), 5u * 101u);
  EXPECT_NE(KvBlackAlpha(0.3f), KvWhiteAlpha(0.3f));
}

TEST(KvColorRamps, SharedArraysAnswerTheSameObjects) {
  for (float level : {0.0f, 0.4f, 0.53f, 1.0f, 3.0f}) {
    EXPECT_EQ(&KvWhiteColor(level), &KvWhiteAlpha(level));
    EXPECT_EQ(&KvColor::whiteColor(level), &KvWhiteAlpha(level));
    EXPECT_EQ(&KvColor::grayColor(level), &KvGrayColor(level));
  }
  // KvWhiteColor is white with an alpha, not a gray level.
  const ColorPtr& w = KvWhiteColor(0.4f);
  EXPECT_EQ(w->redComponent(), 1.0f);
  EXPECT_EQ(w->alphaComponent(), 0.4f);
}

struct SlotCase {
  const char* name;
  const ColorPtr& (*slot)();
  float r, g, b;
};

const SlotCase kSlots[] = {
    {"grayColor10", &KvColor::grayColor10, 0.1f, 0.1f, 0.1f},
    {"grayColor20", &KvColor::grayColor20, 0.2f, 0.2f, 0.2f},
    {"grayColor30", &KvColor::grayColor30, 0.3f, 0.3f, 0.3f},
    {"grayColor40", &KvColor::grayColor40, 0.4f, 0.4f, 0.4f},
    {"grayColor50", &KvColor::grayColor50, 0.5f, 0.5f, 0.5f},
    {"grayColor60", &KvColor::grayColor60, 0.6f, 0.6f, 0.6f},
    {"grayColor70", &KvColor::grayColor70, 0.7f, 0.7f, 0.7f},
    {"grayColor75", &KvColor::grayColor75, 0.75f, 0.75f, 0.75f},
    {"grayColor80", &KvColor::grayColor80, 0.8f, 0.8f, 0.8f},
    {"grayColor85", &KvColor::grayColor85, 0.85f, 0.85f, 0.85f},
    {"grayColor90", &KvColor::grayColor90, 0.9f, 0.9f, 0.9f},
    {"whiteColor", &KvColor::whiteColor, 1.0f, 1.0f, 1.0f},
    {"redColor", &KvColor::redColor, 1.0f, 0.0f, 0.0f},
    {"grayColor", &KvColor::grayColor, 0.5f, 0.5f, 0.5f},
    {"lightGrayColor", &KvColor::lightGrayColor, 2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f},
    {"blackColor", &KvColor::blackColor, 0.0f, 0.0f, 0.0f},
    // The default appearance has the blue tint.
    {"lightBlueColor", &KvColor::lightBlueColor, 0.929412f, 0.952941f, 0.996078f},
    {"lightBlueColorA", &KvColor::lightBlueColorA, 0.819608f, 0.843137f, 0.886275f},
    {"alternateSelectedControlColor", &KvColor::alternateSelectedControlColor, 0.22f, 0.46f, 0.84f},
    {"secondarySelectedControlColor", &KvColor::secondarySelectedControlColor, 0.83f, 0.83f, 0.83f},
};

TEST(KvColorSlots, EachIsMadeOnceWithItsExactComponents) {
  std::set<const Color*> seen;
  for (const SlotCase& s : kSlots) {
    SCOPED_TRACE(s.name);
    const ColorPtr& c = s.slot();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->colorSpace(), ColorSpace::kCalibratedRGB);
    EXPECT_EQ(c->redComponent(), s.r);
    EXPECT_EQ(c->greenComponent(), s.g);
    EXPECT_EQ(c->blueComponent(), s.b);
    EXPECT_EQ(c->alphaComponent(), 1.0f);
    EXPECT_EQ(&s.slot(), &c);
    EXPECT_EQ(s.slot(), c);
    seen.insert(c.get());
  }
  seen.insert(KvColor::whiteColorBlendedWithAlternate().get());
  EXPECT_EQ(seen.size(), 21u) << "21 distinct objects";
  // Equal components, three caches, three objects.
  EXPECT_NE(KvColor::grayColor50(), KvGrayColor(0.5f));
  EXPECT_NE(KvColor::grayColor(), KvGrayColor(0.5f));
  EXPECT_NE(KvColor::grayColor(), KvColor::grayColor50());
}

TEST(KvColorSlots, SelectionColorsAreCalibratedCopiesOfTheSystemOnes) {
  const ColorPtr system = Color::alternateSelectedControlColor();
  EXPECT_EQ(system->colorSpace(), ColorSpace::kDeviceRGB);
  EXPECT_NE(KvColor::alternateSelectedControlColor(), system);

  const ColorPtr& blend = KvColor::whiteColorBlendedWithAlternate();
  ASSERT_NE(blend, nullptr);
  EXPECT_EQ(blend, KvColor::whiteColorBlendedWithAlternate());
  // Seven parts white to three of the selection color.
  EXPECT_FLOAT_EQ(blend->redComponent(), 0.766f);
  EXPECT_FLOAT_EQ(blend->greenComponent(), 0.838f);
  EXPECT_FLOAT_EQ(blend->blueComponent(), 0.952f);
  EXPECT_FLOAT_EQ(blend->alphaComponent(), 1.0f);
}

TEST(KvColorIndex, RoundTripsByIdentityAndDefaultsToWhite) {
  const ColorPtr* byIndex[] = {&KvColor::whiteColor(), &KvColor::lightBlueColor(),
                               &KvColor::alternateSelectedControlColor(),
                               &KvColor::secondarySelectedControlColor()};
  for (std::int32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(&KvColor::colorForIndex(k), byIndex[k]);
    EXPECT_EQ(KvColor::indexForColor(KvColor::colorForIndex(k).get()), k);
  }
  for (std::int32_t k : {-1, 4, INT_MIN, INT_MAX})
    EXPECT_EQ(KvColor::colorForIndex(k), nullptr) << k;

  const ColorPtr lookalike = Color::colorWithCalibratedRed(0.22f, 0.46f, 0.84f, 1.0f);
  const Color* others[] = {
      nullptr,         KvColor::grayColor10().get(), Color::whiteColor().get(),
      lookalike.get(), KvWhiteAlpha(1.0f).get(),     KvColor::lightBlueColorA().get()};
  for (const Color* c : others) EXPECT_EQ(KvColor::indexForColor(c), 0);
}

}  // namespace
}  // namespace fw
