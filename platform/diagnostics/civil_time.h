#pragma once

// Dates in the proleptic Gregorian calendar, counted in days and seconds
// from 1970-01-01 00:00:00. Pure arithmetic: no time zone, no locale, no
// lock and no allocation, so it is safe in a signal handler.
//
//   daysFromCivil(2001, 1, 1)   -> 11323
//   civilFromSeconds(-1)        -> {1969, 12, 31, 23, 59, 59}

#include <cstdint>

namespace fw {

struct CivilTime {
  std::int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
  unsigned hour;
  unsigned minute;
  unsigned second;
};

// Days from 1970-01-01 to the date; month 1..12, day 1..31, not checked.
[[nodiscard]] constexpr std::int64_t daysFromCivil(std::int64_t year, unsigned month,
                                                   unsigned day) noexcept {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date and time of day `seconds` after 1970-01-01 00:00:00; negative
// counts go back before it.
[[nodiscard]] constexpr CivilTime civilFromSeconds(std::int64_t seconds) noexcept {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
  const auto r = static_cast<unsigned>(rest);
  return {year, month, day, r / 3600, r / 60 % 60, r % 60};
}

}  // namespace fw
