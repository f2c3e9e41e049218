#include "platform/diagnostics/civil_time.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

TEST(CivilTime, CountsDaysAndSecondsBothWaysAcrossEraAndLeapEdges) {
  struct Case {
    std::int64_t seconds;
    CivilTime time;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0}},
      {-1, {1969, 12, 31, 23, 59, 59}},
      {951782400, {2000, 2, 29, 0, 0, 0}},  // a leap day of a century divisible by 400
      {4107542400, {2100, 3, 1, 0, 0, 0}},  // 2100 has no February 29
      {978307200, {2001, 1, 1, 0, 0, 0}},   // the property lists' reference date
      {1709251199, {2024, 2, 29, 23, 59, 59}},
      {-62135596800, {1, 1, 1, 0, 0, 0}},
      {253402300799, {9999, 12, 31, 23, 59, 59}},
  };
  for (const Case& c : cases) {
    const CivilTime t = civilFromSeconds(c.seconds);
    EXPECT_EQ(t.year, c.time.year) << c.seconds;
    EXPECT_EQ(t.month, c.time.month) << c.seconds;
    EXPECT_EQ(t.day, c.time.day) << c.seconds;
    EXPECT_EQ(t.hour * 3600 + t.minute * 60 + t.second,
              c.time.hour * 3600 + c.time.minute * 60 + c.time.second)
        << c.seconds;
    const std::int64_t days = daysFromCivil(c.time.year, c.time.month, c.time.day);
    EXPECT_EQ(days * 86400 + c.time.hour * 3600 + c.time.minute * 60 + c.time.second, c.seconds)
        << c.seconds;
  }
}

}  // namespace
}  // namespace fw
