#include "platform/plist/xml/text.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#if !(defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L)
#include <locale.h>
#include <stdlib.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#endif

#include "platform/diagnostics/civil_time.h"
#include "platform/strings/unicode.h"

namespace fw::plist {
namespace {

std::string_view trimXmlSpace(std::string_view s) {
  while (!s.empty() && isXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

constexpr std::int64_t kDaysTo2001 = 11323;  // 1970-01-01 to 2001-01-01

bool digits(std::string_view s, std::size_t at, std::size_t n, unsigned& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(s[i] - '0');
  }
  return true;
}

int base64Digit(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<Value> parseXmlInteger(std::string_view text) {
  std::string_view s = trimXmlSpace(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    if (negative) return std::nullopt;
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (!negative) return Value::unsignedInteger(magnitude);
  constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
  if (magnitude > kMinMagnitude) return std::nullopt;
  return Value::integer(magnitude == kMinMagnitude ? INT64_MIN
                                                   : -static_cast<std::int64_t>(magnitude));
}

std::string formatInteger(const Value& integer) {
  return integer.isBigUnsigned() ? std::to_string(*integer.asUnsigned())
                                 : std::to_string(*integer.asInteger());
}

std::optional<double> parseXmlReal(std::string_view text) {
  std::string_view s = trimXmlSpace(text);
  if (!s.empty() && s[0] == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s[0] == '-') return std::nullopt;
  }
  if (s.empty()) return std::nullopt;
  double d = 0;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  // A value beyond the double range is refused rather than read as inf.
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
#else
  // Standard libraries without floating-point from_chars: strtod in the C
  // locale reads the same decimal forms; hexadecimal ones, which from_chars
  // refuses, are refused here too.
  if (s.find_first_of("xX") != std::string_view::npos) return std::nullopt;
  static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string copy(s);
  char* end = nullptr;
  errno = 0;
  d = ::strtod_l(copy.c_str(), &end, cLocale);
  if (errno == ERANGE || end != copy.c_str() + copy.size()) return std::nullopt;
#endif
  return d;
}

std::optional<Date> parseXmlDate(std::string_view text) {
  const std::string_view s = trimXmlSpace(text);
  unsigned year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  if (!digits(s, 0, 4, year)) return std::nullopt;
  std::size_t at = 4;
  // Each later field is optional, but only in order: -MM, -DD, THH, :MM, :SS.
  const struct {
    char sep;
    unsigned* field;
  } fields[] = {{'-', &month}, {'-', &day}, {'T', &hour}, {':', &minute}, {':', &second}};
  for (const auto& f : fields) {
    if (at < s.size() && s[at] == f.sep) {
      if (!digits(s, at + 1, 2, *f.field)) return std::nullopt;
      at += 3;
    } else {
      break;
    }
  }
  if (at + 1 != s.size() || s[at] != 'Z') return std::nullopt;
  static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year == 0 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) {
    return std::nullopt;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return std::nullopt;
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const std::int64_t days = daysFromCivil(year, month, day) - kDaysTo2001;
  return Date{static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second)};
}

std::string formatXmlDate(Date date) {
  // Clamped to years 1..9999, which the four-digit form can show.
  constexpr double kFirst = -63113904000.0;  // 0001-01-01T00:00:00Z
  constexpr double kLast = 252423993599.0;   // 9999-12-31T23:59:59Z
  double s = std::isnan(date.seconds) ? 0 : std::floor(date.seconds);
  if (s < kFirst) s = kFirst;
  if (s > kLast) s = kLast;
  const CivilTime t = civilFromSeconds(static_cast<std::int64_t>(s) + kDaysTo2001 * 86400);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02u:%02u:%02uZ", static_cast<int>(t.year),
                t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

std::string formatReal(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  (void)ec;
  return std::string(buf, end);
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  std::vector<std::uint8_t> out;
  if (!decodeBase64Into(text, out)) return std::nullopt;
  return out;
}

bool decodeBase64Into(std::string_view text, std::vector<std::uint8_t>& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t acc = 0;
  int have = 0;  // sextets in acc
  int padding = 0;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isXmlSpace(ch)) continue;
    if (c == '=') {
      // Padding closes a group of two or three digits, and nothing follows.
      if (padding == 0 && have < 2) return false;
      if (++padding + have > 4) return false;
      continue;
    }
    const int v = base64Digit(c);
    if (v < 0 || padding > 0) return false;
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    if (++have == 4) {
      out.push_back(static_cast<std::uint8_t>(acc >> 16));
      out.push_back(static_cast<std::uint8_t>(acc >> 8));
      out.push_back(static_cast<std::uint8_t>(acc));
      acc = 0;
      have = 0;
    }
  }
  if (padding > 0 && padding + have != 4) return false;
  if (have == 1) return false;
  if (have == 2) {
    out.push_back(static_cast<std::uint8_t>(acc >> 4));
  } else if (have == 3) {
    out.push_back(static_cast<std::uint8_t>(acc >> 10));
    out.push_back(static_cast<std::uint8_t>(acc >> 2));
  }
  return true;
}

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i + 1 == bytes.size()) {
    const std::uint32_t v = bytes[i] << 16;
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace fw::plist
