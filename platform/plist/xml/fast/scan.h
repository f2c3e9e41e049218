#pragma once

// The byte-level pieces of the dedicated XML reader (plist/xml/fast_reader.h):
// the character classes of XML names and text, the search for the next
// byte that ends a plain run of text, UTF-8 validation, and the tags of a
// property list as eight-byte words. All of it is inline, because the
// reader's hot loops run through it once per byte or per tag.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/plist/xml/grammar.h"

namespace fw::plist::xml {

// What one step of the reader found.
enum class Step : std::uint8_t {
  Ok,    // went on; the reader is past what it read
  More,  // needs bytes beyond the buffer; nothing was consumed
  Bad,   // refused; the reason is set
  Over,  // outside the dialect; the reason is set
};

// The names the dialect takes: ASCII letters, digits and "_:.-".
constexpr bool isNameStart(unsigned char c) {
  return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == ':';
}
constexpr bool isNameChar(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}
// The characters an XML 1.0 document may hold.
constexpr bool isXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Bytes that end a plain run of character data: markup, references, line
// ends to normalise, the "]]>" that text may not hold, control characters
// to check and the lead bytes of multi-byte sequences to validate.
struct SpecialTable {
  bool special[256] = {};
  constexpr SpecialTable() {
    for (int c = 0; c < 0x20; ++c) special[c] = true;
    for (int c = 0x80; c < 0x100; ++c) special[c] = true;
    special[static_cast<unsigned char>('<')] = true;
    special[static_cast<unsigned char>('&')] = true;
    special[static_cast<unsigned char>(']')] = true;
  }
};
inline constexpr SpecialTable kSpecial;

// The first special byte in [p, end), or end.
inline const char* findSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(0x20);
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i amp = _mm_set1_epi8('&');
  const __m128i bracket = _mm_set1_epi8(']');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // A signed compare takes bytes from 0x80 up as negative, so one compare
    // finds control characters and non-ASCII bytes alike.
    const __m128i m =
        _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, lt)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, bracket)));
    const int mask = _mm_movemask_epi8(m);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#else
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  auto zeroByte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    const std::uint64_t flags = ((w - kOnes * 0x20) | w | zeroByte(w ^ (kOnes * '<')) |
                                 zeroByte(w ^ (kOnes * '&')) | zeroByte(w ^ (kOnes * ']'))) &
                                kHigh;
    if (flags != 0) break;
    p += 8;
  }
#endif
  while (p < end && !kSpecial.special[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The length of the UTF-8 sequence of a legal XML character at p (lead
// byte 0x80 or above): 0 when invalid, -1 when it runs past `end`.
inline int utf8Length(const unsigned char* p, const unsigned char* end) {
  const unsigned c = p[0];
  int n;
  if (c < 0xC2) return 0;  // a continuation byte, or an overlong two-byte form
  if (c < 0xE0) {
    n = 2;
  } else if (c < 0xF0) {
    n = 3;
  } else if (c < 0xF5) {
    n = 4;
  } else {
    return 0;
  }
  const std::ptrdiff_t have = end - p < n ? end - p : n;
  for (std::ptrdiff_t i = 1; i < have; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  if (have < n) return -1;
  if (n == 3) {
    const std::uint32_t cp = ((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    // Overlong forms, surrogates, and the two non-characters XML excludes.
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF) || cp >= 0xFFFE) return 0;
  } else if (n == 4) {
    const std::uint32_t cp =
        ((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    if (cp < 0x10000 || cp > 0x10FFFF) return 0;
  }
  return n;
}

// Up to eight bytes of markup as one word, with the mask that selects
// them, so that a tag is recognised with one load and one compare.
struct Pattern {
  std::uint64_t bits = 0;
  std::uint64_t mask = 0;
  explicit Pattern(std::string_view text) {
    unsigned char ones[8] = {};
    std::memset(ones, 0xFF, text.size());
    std::memcpy(&bits, text.data(), text.size());
    std::memcpy(&mask, ones, 8);
  }
  [[nodiscard]] bool matches(std::uint64_t word) const { return (word & mask) == bits; }
};

// The tags a property list is made of, as they follow '<': start tags
// without attributes, and the end tags "/" + name (the '>' is checked
// apart, since "/integer>" takes nine bytes).
struct Tags {
  struct Start {
    Pattern pattern;
    std::size_t length;
    Element element;
    bool empty;
  };
  Start starts[11] = {
      {Pattern("key>"), 4, Element::Key, false},
      {Pattern("string>"), 7, Element::String, false},
      {Pattern("integer>"), 8, Element::Integer, false},
      {Pattern("dict>"), 5, Element::Dict, false},
      {Pattern("date>"), 5, Element::Date, false},
      {Pattern("real>"), 5, Element::Real, false},
      {Pattern("data>"), 5, Element::Data, false},
      {Pattern("true/>"), 6, Element::True, true},
      {Pattern("false/>"), 7, Element::False, true},
      {Pattern("array>"), 6, Element::Array, false},
      {Pattern("dict/>"), 6, Element::Dict, true},
  };
  // Indexed by Element.
  Pattern ends[11] = {Pattern("/plist"),  Pattern("/array"),   Pattern("/dict"), Pattern("/key"),
                      Pattern("/string"), Pattern("/integer"), Pattern("/real"), Pattern("/date"),
                      Pattern("/data"),   Pattern("/true"),    Pattern("/false")};
};
inline const Tags& tags() {
  static const Tags t;
  return t;
}

}  // namespace fw::plist::xml
