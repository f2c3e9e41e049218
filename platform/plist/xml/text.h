#pragma once

// The text forms of property-list scalars, shared by the XML reader and
// writer and by the JSON view. Parsers take the element's text as the XML
// readers deliver it (UTF-8) and ignore surrounding XML whitespace.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/value.h"

namespace fw::plist {

// The whitespace of XML: space, tab, line feed and carriage return.
[[nodiscard]] constexpr bool isXmlSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Decimal from -2^63 to 2^64-1, or hex after 0x: "-12", "18446744073709551615",
// "0xff". nullopt for anything else, including out-of-range numbers.
[[nodiscard]] std::optional<Value> parseXmlInteger(std::string_view text);

// The decimal text of an integer value, signed or above 2^63 - 1:
// Value::integer(-12) -> "-12". The XML and JSON forms share it.
[[nodiscard]] std::string formatInteger(const Value& integer);

// A decimal or exponent form, "nan", "inf", "-inf" or "infinity" in any case;
// "1.5e3" -> 1500.
[[nodiscard]] std::optional<double> parseXmlReal(std::string_view text);

// ISO 8601 in UTC, "2004-02-29T13:05:09Z"; the later fields may be left out
// ("2004-02Z"). Seconds from 2001-01-01.
[[nodiscard]] std::optional<Date> parseXmlDate(std::string_view text);

// The date's whole seconds, rounded down: Date{0.9} -> "2001-01-01T00:00:00Z".
// Dates outside the years 1 to 9999 are clamped to them.
[[nodiscard]] std::string formatXmlDate(Date date);

// Shortest text that reads back as the same double: 0.1 -> "0.1",
// 2.0 -> "2", nan -> "nan", -inf -> "-inf".
[[nodiscard]] std::string formatReal(double d);

// Base64 with whitespace anywhere and optional final padding; nullopt on
// any other character or on a truncated group.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);
// The same, decoded into `out` (cleared first, its capacity reused); false
// where the above gives nullopt.
[[nodiscard]] bool decodeBase64Into(std::string_view text, std::vector<std::uint8_t>& out);
[[nodiscard]] std::string encodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace fw::plist
