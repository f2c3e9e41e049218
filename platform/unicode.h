#pragma once

// Conversion between the UTF-8 of file names, log lines and XML, and the
// UTF-16 of our strings. Strict forms refuse invalid input; lossy forms
// replace each maximal invalid subsequence with U+FFFD, as Unicode's
// recommended practice describes, so that "a\xF0\x9F" gives "a\uFFFD".

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

// Literal ASCII to UTF-16, for keys and messages written in the code.
[[nodiscard]] std::u16string asciiToUtf16(std::string_view ascii);

}  // namespace fw
