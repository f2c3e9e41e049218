#pragma once

// Conversion between the UTF-8 of file names, log lines and XML, and the
// UTF-16 of our strings. Strict forms refuse invalid input; lossy forms
// replace each maximal invalid subsequence with U+FFFD, as Unicode's
// recommended practice describes, so that "a\xF0\x9F" gives "a\uFFFD".

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

// nullopt when `utf8` is not well-formed UTF-8 (overlongs, surrogates and
// code points above U+10FFFF are ill-formed).
[[nodiscard]] std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);
[[nodiscard]] std::u16string utf8ToUtf16Lossy(std::string_view utf8);
// Appends to `out`; returns false (leaving `out` as it was) on invalid input.
[[nodiscard]] bool appendUtf8ToUtf16(std::u16string& out, std::string_view utf8);
void appendUtf8ToUtf16Lossy(std::u16string& out, std::string_view utf8);

// nullopt when `utf16` holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> utf16ToUtf8(std::u16string_view utf16);
// Each unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string utf16ToUtf8Lossy(std::u16string_view utf16);
void appendUtf16ToUtf8Lossy(std::string& out, std::u16string_view utf16);

[[nodiscard]] bool isValidUtf8(std::string_view utf8);
// Whether every byte is below 0x80; eight bytes a step, with no early exit.
[[nodiscard]] bool isAscii(std::string_view bytes) noexcept;

// UTF-16 surrogates: a high one (D800..DBFF) and a low one (DC00..DFFF)
// make one code point above U+FFFF.
[[nodiscard]] constexpr bool isHighSurrogate(char32_t c) noexcept {
  return c >= 0xD800 && c <= 0xDBFF;
}
[[nodiscard]] constexpr bool isLowSurrogate(char32_t c) noexcept {
  return c >= 0xDC00 && c <= 0xDFFF;
}
[[nodiscard]] constexpr bool isSurrogate(char32_t c) noexcept { return c >= 0xD800 && c <= 0xDFFF; }
// combineSurrogates(0xD83D, 0xDE00) -> U+1F600
[[nodiscard]] constexpr char32_t combineSurrogates(char16_t high, char16_t low) noexcept {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
         (static_cast<char32_t>(low) - 0xDC00);
}

// Writes the UTF-8 form of the scalar value `cp` (not a surrogate, at most
// U+10FFFF) to `out`, which has room for four bytes; answers the count.
//   encodeUtf8(U'\u00E9', out) -> 2, out = C3 A9
constexpr std::size_t encodeUtf8(char32_t cp, char* out) noexcept {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// Appends the UTF-8 form of the scalar value `cp` to `out`.
inline void appendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, encodeUtf8(cp, bytes));
}

// Literal ASCII to UTF-16, for keys and messages written in the code.
[[nodiscard]] std::u16string asciiToUtf16(std::string_view ascii);

}  // namespace fw
