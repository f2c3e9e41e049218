#pragma once

// HTML entity decoding and tag removal, XML escaping, and URL percent
// escaping. A character is one UTF-16 code unit, except where UTF-8 is
// involved (escapedString, unescapedString), which reads surrogate pairs as
// one code point. Every operation is one linear pass with its output sized
// once.

#include <optional>
#include <string>
#include <string_view>

namespace fw {

// The one-character text an entity name (the part between "&" and ";")
// stands for, or u"" for an unknown or absent name:
//   - the 96 Latin-1 names, case-sensitive: u"nbsp" is U+00A0, u"Eacute"
//     U+00C9, u"eacute" U+00E9, u"yuml" U+00FF;
//   - u"quot" and u"amp";
//   - u"#" and a decimal number (read by intValue, so u"#x41" reads as 0):
//     the low 16 bits of the number, so u"#65601" is u"A" and u"#128512" is
//     U+F600. The result may be U+0000 or a lone surrogate.
// u"lt", u"gt", u"apos" and u"AMP" are unknown.
[[nodiscard]] std::u16string stringForHTMLEntity(std::optional<std::u16string_view> name);

// Decodes "&name;" references left to right in one pass; decoded text is
// never decoded again. The name runs to the next ";", spaces and "&"
// included; an unknown reference vanishes. An "&" before a space, at the
// end, or with no ";" after it stays as text; "&;" becomes ";":
// u"Fish &amp; Chips" gives u"Fish & Chips", u"AT&T" stays, u"a&&b;" gives
// u"a", u"&amp;amp;" gives u"&amp;".
[[nodiscard]] std::u16string stringByRemovingHTMLEntities(std::u16string_view s);

// A receiver without "<" comes back unchanged. Otherwise every tag from "<"
// to the next ">" becomes one space, an unclosed tag swallows the rest, and
// every double quote outside tags becomes "&quot;": u"a<b>c</b>d" gives
// u"a c d", u"x < y" gives u"x ".
[[nodiscard]] std::u16string stringByRemovingHTMLTags(std::u16string_view s);

// Escapes "&", "<", ">", "'" and '"' as "&amp;", "&lt;", "&gt;", "&apos;" and
// "&quot;", each exactly once: u"a<b & c>" gives u"a&lt;b &amp; c&gt;",
// u"&lt;" gives u"&amp;lt;". Nothing else changes, so an XML parser reading
// the result as element content gives back the input for every text made of
// characters XML 1.0 allows, except CR, which XML's end-of-line handling
// reads as LF.
[[nodiscard]] std::u16string xmlEscapedString(std::u16string_view s);

// Percent-escapes for a URL: letters, digits, -_.!~*'() and ;/?:@=+$,# stay;
// every other character becomes "%XX" (upper-case hex) for each byte of its
// UTF-8, and "&" becomes "%26": u"a b&c" gives u"a%20b%26c", U+00E9 gives
// u"%C3%A9". nullopt when the receiver holds an unpaired surrogate.
[[nodiscard]] std::optional<std::u16string> escapedString(std::u16string_view s);

// Replaces every "%XX" (two hex digits, either case) by its byte and reads
// the bytes as UTF-8; a "%" not followed by two hex digits and every other
// character, '+' included, stay as they are. nullopt when the escaped bytes
// are not valid UTF-8: u"a%20b%26c" gives u"a b&c", u"%FF" gives nullopt.
// Characters that were not escaped are copied unchanged, unpaired
// surrogates included. For every text t without unpaired surrogates,
// unescapedString(*escapedString(t)) == t.
[[nodiscard]] std::optional<std::u16string> unescapedString(std::u16string_view s);

}  // namespace fw
