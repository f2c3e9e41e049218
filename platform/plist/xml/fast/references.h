#pragma once

// Character and entity references in the text the dedicated XML reader
// (plist/xml/fast_reader.h) reads: "&#233;", "&#xE9;" and the five entities XML
// predefines. No others are declared anywhere the reader reads, so every
// other name is undefined.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/plist/xml/fast/scan.h"
#include "platform/strings/hex_digit.h"
#include "platform/strings/unicode.h"

namespace fw::plist::xml {

struct Reference {
  enum class Kind : std::uint8_t {
    Ok,         // `character`, and `after` is the byte after the ';'
    Partial,    // it runs past the end of the bytes at hand
    Malformed,  // `why` says how
    Undefined,  // a well-formed name, undefined; `after` is past its ';'
  };
  Kind kind;
  char32_t character = 0;
  const char* after = nullptr;
  const char* why = nullptr;
};

// The reference at p (an '&'), looking no further than `end`.
//   scanReference("&#x41;") -> Ok, 'A'; scanReference("&nbsp;") -> Undefined
inline Reference scanReference(const char* p, const char* end) {
  using Kind = Reference::Kind;
  const char* q = p + 1;
  if (q == end) return {Kind::Partial};
  if (*q == '#') {
    ++q;
    if (q == end) return {Kind::Partial};
    const bool hex = *q == 'x';
    if (hex) ++q;
    std::uint32_t v = 0;
    const char* digits = q;
    for (; q < end; ++q) {
      const int digit = hexDigitValue(static_cast<unsigned char>(*q));
      if (digit < 0 || (!hex && digit > 9)) break;
      if (v <= 0x10FFFF) v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    if (q == end) return {Kind::Partial};
    if (q == digits || *q != ';') {
      return {Kind::Malformed, 0, nullptr, "a malformed character reference"};
    }
    if (!isXmlChar(v)) return {Kind::Malformed, 0, nullptr, "a reference to an invalid character"};
    return {Kind::Ok, v, q + 1};
  }
  const char* name = q;
  while (q < end && *q != ';' &&
         (isNameChar(static_cast<unsigned char>(*q)) || static_cast<unsigned char>(*q) >= 0x80)) {
    ++q;
  }
  if (q == end) return {Kind::Partial};
  if (*q != ';' || q == name) return {Kind::Malformed, 0, nullptr, "a malformed reference"};
  const std::string_view n(name, static_cast<std::size_t>(q - name));
  char32_t c;
  if (n == "amp") {
    c = '&';
  } else if (n == "lt") {
    c = '<';
  } else if (n == "gt") {
    c = '>';
  } else if (n == "quot") {
    c = '"';
  } else if (n == "apos") {
    c = '\'';
  } else {
    return {Kind::Undefined, 0, q + 1};
  }
  return {Kind::Ok, c, q + 1};
}

// Text [from, to), already checked, into `out` (cleared first), with its
// references replaced and each "\r\n" or lone "\r" made "\n".
//   "a &amp; b\r\n" -> "a & b\n"
inline void decodeReferences(const char* from, const char* to, std::string& out) {
  out.clear();
  const char* p = from;
  while (p < to) {
    const char* q = p;
    while (q < to && *q != '&' && *q != '\r') ++q;
    out.append(p, static_cast<std::size_t>(q - p));
    if (q == to) break;
    if (*q == '\r') {
      out += '\n';
      p = q + 1;
      if (p < to && *p == '\n') ++p;
    } else {
      const Reference r = scanReference(q, to);
      appendUtf8(out, r.character);
      p = r.after;
    }
  }
}

}  // namespace fw::plist::xml
