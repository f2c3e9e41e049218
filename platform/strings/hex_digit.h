#pragma once

// The value of one hexadecimal digit, in either case; -1 for any other
// character: hexDigitValue('7') -> 7, hexDigitValue('b') -> 11,
// hexDigitValue(u'F') -> 15, hexDigitValue('g') -> -1.

namespace fw {

[[nodiscard]] constexpr int hexDigitValue(char32_t c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

}  // namespace fw
