#pragma once

// Strings to and from bytes, and the numeric and truth readings of a string.
// Functions take the receiver first and are called qualified (fw::data),
// because argument-dependent lookup would otherwise find std::data.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The text of `bytes` decoded as UTF-8, or else as 7-bit ASCII; nullopt when
// neither accepts them. Both decoders are strict, and every 7-bit ASCII text
// is also valid UTF-8, so the ASCII fallback accepts nothing the first step
// refused: {0x61, 0xC3, 0xA9} gives u"a\u00E9", {0xFF} gives nullopt, {} gives u"".
[[nodiscard]] std::optional<std::u16string> stringWithData(std::span<const std::uint8_t> bytes);

// 7-bit ASCII bytes, one per code unit; each code unit above U+007F (each
// half of a surrogate pair included) becomes '?': u"a\u00E9" gives "a?".
[[nodiscard]] std::vector<std::uint8_t> data(std::u16string_view s);

// UTF-8 bytes; an unpaired surrogate becomes the UTF-8 of U+FFFD. No
// byte-order mark, no terminating zero.
[[nodiscard]] std::vector<std::uint8_t> dataUTF8(std::u16string_view s);

// The integer reading: leading whitespace-and-newline characters are
// skipped, then an optional '+' or '-', then decimal digits up to the first
// other code unit. No digits reads as 0; values outside the signed 32-bit
// range read as the nearest limit: u" -12ab" gives -12, u"99999999999" gives
// 2147483647.
[[nodiscard]] std::int32_t intValue(std::u16string_view s);

// The truth reading of a string: the low 8 bits of intValue, as a signed
// byte. u"1" and u"257" give 1, u"256" gives 0, u"-1" gives -1 (true), and
// u"YES", u"true" and u"" give 0. Every string-valued flag is read this way.
[[nodiscard]] std::int8_t boolValue(std::u16string_view s);

}  // namespace fw
