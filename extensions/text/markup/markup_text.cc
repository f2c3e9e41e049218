#include "extensions/text/markup/markup_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "extensions/text/string_data.h"
#include "platform/strings/hex_digit.h"
#include "platform/strings/unicode.h"

namespace fw {
namespace {

// The Latin-1 entity names in code-point order: position i is U+00A0 + i.
constexpr std::array<std::u16string_view, 96> kLatin1EntityNames = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",
    u"uml",    u"copy",   u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",
    u"deg",    u"plusmn", u"sup2",   u"sup3",   u"acute",  u"micro",  u"para",   u"middot",
    u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12", u"frac34", u"iquest",
    u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",
    u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",
    u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",  u"szlig",
    u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil",
    u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide",
    u"oslash", u"ugrave", u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};
constexpr std::size_t kLongestEntityName = 6;

// The table's positions ordered by name, for a binary search.
const std::array<std::uint8_t, 96>& latin1NameOrder() {
  static const std::array<std::uint8_t, 96> order = [] {
    std::array<std::uint8_t, 96> o{};
    for (std::size_t i = 0; i < o.size(); ++i) o[i] = static_cast<std::uint8_t>(i);
    std::sort(o.begin(), o.end(), [](std::uint8_t a, std::uint8_t b) {
      return kLatin1EntityNames[a] < kLatin1EntityNames[b];
    });
    return o;
  }();
  return order;
}

// The code unit an entity name stands for; nullopt for an unknown name.
std::optional<char16_t> entityCharacter(std::u16string_view name) {
  if (!name.empty() && name.size() <= kLongestEntityName) {
    const auto& order = latin1NameOrder();
    const auto it = std::lower_bound(order.begin(), order.end(), name,
                                     [](std::uint8_t index, std::u16string_view key) {
                                       return kLatin1EntityNames[index] < key;
                                     });
    if (it != order.end() && kLatin1EntityNames[*it] == name) {
      return static_cast<char16_t>(0xA0 + *it);
    }
  }
  if (name.starts_with(u'#')) {
    return static_cast<char16_t>(static_cast<std::uint32_t>(intValue(name.substr(1))) & 0xFFFFu);
  }
  if (name == u"quot") return u'"';
  if (name == u"amp") return u'&';
  return std::nullopt;
}

constexpr std::size_t npos = std::u16string_view::npos;

// The ASCII characters a URL may carry unescaped; "&" is not among them.
constexpr std::array<bool, 128> kUrlLegal = [] {
  std::array<bool, 128> legal{};
  for (char16_t c = u'a'; c <= u'z'; ++c) legal[c] = true;
  for (char16_t c = u'A'; c <= u'Z'; ++c) legal[c] = true;
  for (char16_t c = u'0'; c <= u'9'; ++c) legal[c] = true;
  for (char16_t c : std::u16string_view(u"-_.!~*'();/?:@=+$,#")) legal[c] = true;
  return legal;
}();

bool isUrlLegal(char16_t c) { return c < kUrlLegal.size() && kUrlLegal[c]; }

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

}  // namespace

std::u16string stringForHTMLEntity(std::optional<std::u16string_view> name) {
  if (!name) return {};
  if (const auto c = entityCharacter(*name)) return std::u16string(1, *c);
  return {};
}

std::u16string stringByRemovingHTMLEntities(std::u16string_view s) {
  // Every reference is at least as long as what it decodes to, so the
  // output never outgrows the input.
  std::u16string out;
  out.reserve(s.size());
  const std::size_t n = s.size();
  std::size_t pos = 0;
  while (pos < n) {
    // Copy the text up to the next "&", then step over it.
    const std::size_t amp = std::min(s.find(u'&', pos), n);
    out.append(s.substr(pos, amp - pos));
    pos = amp;
    if (pos < n) ++pos;
    if (pos == n) {
      if (s[n - 1] == u'&') out.push_back(u'&');
      break;
    }
    if (s[pos] == u' ') {
      out.push_back(u'&');
      continue;
    }
    const std::size_t semicolon = s.find(u';', pos);
    if (semicolon == npos) {
      out.push_back(u'&');
      out.append(s.substr(pos));
      break;
    }
    const std::u16string_view name = s.substr(pos, semicolon - pos);
    pos = semicolon;
    if (name.empty()) continue;  // "&;": the ";" is copied as text next
    if (const auto c = entityCharacter(name)) out.push_back(*c);
    ++pos;
  }
  return out;
}

std::u16string stringByRemovingHTMLTags(std::u16string_view s) {
  if (s.find(u'<') == npos) return std::u16string(s);
  static constexpr std::u16string_view kQuot = u"&quot;";
  // First pass: the exact output length.
  std::size_t size = 0;
  bool inside = false;
  for (char16_t c : s) {
    if (inside) {
      if (c == u'>') {
        inside = false;
        ++size;
      }
    } else if (c == u'<') {
      inside = true;
    } else {
      size += c == u'"' ? kQuot.size() : 1;
    }
  }
  std::u16string out;
  out.reserve(size);
  inside = false;
  for (char16_t c : s) {
    if (inside) {
      if (c == u'>') {
        inside = false;
        out.push_back(u' ');
      }
    } else if (c == u'<') {
      inside = true;
    } else if (c == u'"') {
      out.append(kQuot);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

namespace {

constexpr std::u16string_view xmlEntityFor(char16_t c) {
  switch (c) {
    case u'&': return u"&amp;";
    case u'<': return u"&lt;";
    case u'>': return u"&gt;";
    case u'\'': return u"&apos;";
    case u'"': return u"&quot;";
    default: return {};
  }
}

// What xmlEscapedString writes for each ASCII code unit: the unit itself, or
// its entity, padded to eight units so that a row is copied whole.
struct XmlEscapeRow {
  std::array<char16_t, 8> text;
  std::uint8_t length;
};

// Every field is set explicitly: g++ 12 has been seen to drop default member
// initialisers of elements of a value-initialised array when the array is
// built at run time.
constexpr std::array<XmlEscapeRow, 128> kXmlEscapeRows = [] {
  std::array<XmlEscapeRow, 128> rows{};
  for (std::size_t c = 0; c < rows.size(); ++c) {
    rows[c].text.fill(u'\0');
    const std::u16string_view entity = xmlEntityFor(static_cast<char16_t>(c));
    if (entity.empty()) {
      rows[c].text[0] = static_cast<char16_t>(c);
      rows[c].length = 1;
      continue;
    }
    for (std::size_t i = 0; i < entity.size(); ++i) rows[c].text[i] = entity[i];
    rows[c].length = static_cast<std::uint8_t>(entity.size());
  }
  return rows;
}();

constexpr std::size_t kXmlEscapeSlack = 8;

// How many units the entities add to the text, counted in blocks short
// enough for 16-bit counters, so that the compiler compares many units at
// once instead of looking each one up.
std::size_t xmlEscapeExtra(std::u16string_view s) {
  constexpr std::size_t kAmp = xmlEntityFor(u'&').size() - 1;
  constexpr std::size_t kAngle = xmlEntityFor(u'<').size() - 1;
  constexpr std::size_t kQuote = xmlEntityFor(u'"').size() - 1;
  static_assert(xmlEntityFor(u'>').size() - 1 == kAngle);
  static_assert(xmlEntityFor(u'\'').size() - 1 == kQuote);
  std::size_t extra = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t end = std::min<std::size_t>(s.size(), i + 0xFFFF);
    std::uint16_t amp = 0;
    std::uint16_t angle = 0;
    std::uint16_t quote = 0;
    for (; i < end; ++i) {
      const char16_t c = s[i];
      amp += c == u'&';
      angle += (c == u'<') | (c == u'>');
      quote += (c == u'\'') | (c == u'"');
    }
    extra += kAmp * amp + kAngle * angle + kQuote * quote;
  }
  return extra;
}

}  // namespace

std::u16string xmlEscapedString(std::u16string_view s) {
  // One pass per character gives the same text as replacing "&" first and
  // then the other four, and never escapes an "&" it wrote itself.
  const std::size_t extra = xmlEscapeExtra(s);
  if (extra == 0) return std::u16string(s);
  const std::size_t size = s.size() + extra;
  // Every ASCII unit copies its whole row and then advances by the row's
  // length, so the buffer carries a few units of slack that are cut off at
  // the end; the size above is exact, so no unit of the result is left
  // unwritten.
  std::u16string out(size + kXmlEscapeSlack, u'\0');
  char16_t* p = out.data();
  for (char16_t c : s) {
    if (c < 128) {
      const XmlEscapeRow& row = kXmlEscapeRows[c];
      std::memcpy(p, row.text.data(), sizeof row.text);
      p += row.length;
    } else {
      *p++ = c;
    }
  }
  out.resize(size);
  return out;
}

std::optional<std::u16string> escapedString(std::u16string_view s) {
  // First pass: validate surrogates and measure.
  std::size_t size = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c < 0x80) {
      size += isUrlLegal(c) ? 1 : 3;
    } else if (c < 0x800) {
      size += 6;
    } else if (isHighSurrogate(c)) {
      if (i + 1 >= s.size() || !isLowSurrogate(s[i + 1])) return std::nullopt;
      ++i;
      size += 12;
    } else if (isLowSurrogate(c)) {
      return std::nullopt;
    } else {
      size += 9;
    }
  }
  std::u16string out(size, u'\0');
  char16_t* p = out.data();
  const auto escapeByte = [&p](std::uint32_t byte) {
    p[0] = u'%';
    p[1] = kHexDigits[byte >> 4];
    p[2] = kHexDigits[byte & 0xF];
    p += 3;
  };
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp < 0x80) {
      if (isUrlLegal(static_cast<char16_t>(cp))) {
        *p++ = static_cast<char16_t>(cp);
      } else {
        escapeByte(cp);
      }
    } else {
      if (isHighSurrogate(cp)) {
        cp = combineSurrogates(s[i], s[i + 1]);  // paired: checked above
        ++i;
      }
      char bytes[4];
      const std::size_t n = encodeUtf8(cp, bytes);
      for (std::size_t k = 0; k < n; ++k) escapeByte(static_cast<unsigned char>(bytes[k]));
    }
  }
  return out;
}

std::optional<std::u16string> unescapedString(std::u16string_view s) {
  // A run of escapes decodes to at most one code unit per escape, so the
  // output never outgrows the input; the byte buffer is reused across runs.
  std::u16string out;
  out.reserve(s.size());
  std::string bytes;
  const std::size_t n = s.size();
  const auto isEscapeAt = [&](std::size_t i) {
    return s[i] == u'%' && i + 2 < n && hexDigitValue(s[i + 1]) >= 0 &&
           hexDigitValue(s[i + 2]) >= 0;
  };
  std::size_t i = 0;
  while (i < n) {
    if (!isEscapeAt(i)) {
      out.push_back(s[i]);
      ++i;
      continue;
    }
    bytes.clear();
    while (i < n && isEscapeAt(i)) {
      bytes.push_back(static_cast<char>(hexDigitValue(s[i + 1]) * 16 + hexDigitValue(s[i + 2])));
      i += 3;
    }
    if (!appendUtf8ToUtf16(out, bytes)) return std::nullopt;
  }
  return out;
}

}  // namespace fw
