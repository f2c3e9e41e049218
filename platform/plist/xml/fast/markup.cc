#include "platform/plist/xml/fast/markup.h"

#include <cstring>
#include <string_view>

#include "platform/plist/xml/text.h"

namespace fw::plist::xml {
namespace {

// Attributes checked for repeats in one start tag; a tag with more is
// unusual enough to leave to expat.
constexpr std::size_t kMaxAttributes = 8;

constexpr bool isPubidChar(unsigned char c) {
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  if (c >= '0' && c <= '9') return true;
  return c == ' ' || c == '\r' || c == '\n' ||
         std::string_view("-'()+,./:=?;!*#@$_%").find(static_cast<char>(c)) !=
             std::string_view::npos;
}

bool equalsNoCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto c = static_cast<unsigned char>(a[i]);
    if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != static_cast<unsigned char>(lower[i])) return false;
  }
  return true;
}

Scanned over(const char* at, const char* what) { return {Step::Over, at, what}; }
Scanned malformed(const char* at, const char* why) { return {Step::Bad, at, why}; }

// <?xml version="1.0" encoding="UTF-8" standalone="no"?> at `start`:
// version 1.0, and UTF-8 if an encoding is named; anything else goes to
// expat.
Scanned scanDeclaration(const char* start, const char* end, bool eof) {
  const char* gt =
      static_cast<const char*>(std::memchr(start, '>', static_cast<std::size_t>(end - start)));
  if (!gt) return eof ? over(start, "an unterminated XML declaration") : Scanned{Step::More};
  if (gt[-1] != '?') return over(start, "an unusual XML declaration");
  const char* p = start + 5;
  const char* e = gt - 1;
  auto spaces = [&] {
    const char* s = p;
    while (p < e && isXmlSpace(*p)) ++p;
    return p > s;
  };
  // name S? = S? "value"
  auto attribute = [&](std::string_view name, std::string_view& value) {
    if (static_cast<std::size_t>(e - p) < name.size() ||
        std::memcmp(p, name.data(), name.size()) != 0)
      return false;
    p += name.size();
    spaces();
    if (p == e || *p != '=') return false;
    ++p;
    spaces();
    if (p == e || (*p != '"' && *p != '\'')) return false;
    const char quote = *p++;
    const char* v = p;
    while (p < e && *p != quote) {
      const auto c = static_cast<unsigned char>(*p);
      if (c < 0x20 || c >= 0x7F) return false;
      ++p;
    }
    if (p == e) return false;
    value = std::string_view(v, static_cast<std::size_t>(p - v));
    ++p;
    return true;
  };
  std::string_view value;
  spaces();
  if (!attribute("version", value) || value != "1.0")
    return over(start, "an XML declaration of another version");
  bool sawEncoding = false;
  bool sawStandalone = false;
  for (;;) {
    const bool spaced = spaces();
    if (p == e) break;
    if (!spaced) return over(start, "an unusual XML declaration");
    if (!sawEncoding && !sawStandalone && *p == 'e') {
      if (!attribute("encoding", value)) return over(start, "an unusual XML declaration");
      if (!equalsNoCase(value, "utf-8")) return over(start, "an encoding other than UTF-8");
      sawEncoding = true;
    } else if (!sawStandalone && *p == 's') {
      if (!attribute("standalone", value) || (value != "yes" && value != "no")) {
        return over(start, "an unusual XML declaration");
      }
      sawStandalone = true;
    } else {
      return over(start, "an unusual XML declaration");
    }
  }
  return {Step::Ok, gt + 1};
}

}  // namespace

Scanned scanProlog(const char* p, const char* end, bool eof) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  const std::ptrdiff_t n = end - p;
  if (n < 6 && !eof) return {Step::More};
  if (n < 2) return over(p, "a document too short to tell its encoding");
  // expat takes a zero in either of the first two bytes, or a UTF-16
  // byte order mark, for UTF-16.
  if (b[0] == 0 || b[1] == 0 || (b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)) {
    return over(p, "UTF-16");
  }
  if (b[0] == 0xEF) {
    if (n < 3 || b[1] != 0xBB || b[2] != 0xBF) return over(p, "a partial byte order mark");
    p += 3;
  }
  if (end - p >= 6 && std::memcmp(p, "<?xml", 5) == 0 && isXmlSpace(p[5])) {
    return scanDeclaration(p, end, eof);
  }
  return {Step::Ok, p};
}

Scanned scanDoctype(const char* start, const char* end, bool eof, bool second) {
  const char* gt =
      static_cast<const char*>(std::memchr(start, '>', static_cast<std::size_t>(end - start)));
  const char* bracket = static_cast<const char*>(
      std::memchr(start, '[', static_cast<std::size_t>((gt ? gt : end) - start)));
  if (bracket) return over(start, "a DOCTYPE with an internal subset");
  if (!gt) return eof ? over(start, "an unterminated DOCTYPE") : Scanned{Step::More};
  if (second) return over(start, "a second DOCTYPE");
  const char* p = start + 9;
  const char* e = gt;
  auto spaces = [&] {
    const char* s = p;
    while (p < e && isXmlSpace(*p)) ++p;
    return p > s;
  };
  auto word = [&](std::string_view w) {
    if (static_cast<std::size_t>(e - p) < w.size() || std::memcmp(p, w.data(), w.size()) != 0)
      return false;
    p += w.size();
    return true;
  };
  auto literal = [&](bool pubid) {
    if (p == e || (*p != '"' && *p != '\'')) return false;
    const char quote = *p++;
    while (p < e && *p != quote) {
      const auto c = static_cast<unsigned char>(*p);
      if (pubid ? !isPubidChar(c) : ((c < 0x20 && !isXmlSpace(*p)) || c >= 0x7F)) return false;
      ++p;
    }
    if (p == e) return false;
    ++p;
    return true;
  };
  if (!spaces() || p == e || !isNameStart(static_cast<unsigned char>(*p)))
    return over(start, "an unusual DOCTYPE");
  while (p < e && isNameChar(static_cast<unsigned char>(*p))) ++p;
  const bool spaced = spaces();
  if (p < e) {
    if (!spaced) return over(start, "an unusual DOCTYPE");
    if (word("SYSTEM")) {
      if (!spaces() || !literal(false)) return over(start, "an unusual DOCTYPE");
    } else if (word("PUBLIC")) {
      if (!spaces() || !literal(true) || !spaces() || !literal(false)) {
        return over(start, "an unusual DOCTYPE");
      }
    } else {
      return over(start, "an unusual DOCTYPE");
    }
    spaces();
    if (p != e) return over(start, "an unusual DOCTYPE");
  }
  return {Step::Ok, gt + 1};
}

Scanned scanAttributes(const char* p, const char* end, bool& empty) {
  empty = false;
  // Left uninitialised: nearly every tag has no attribute at all.
  const char* names[kMaxAttributes];
  std::size_t lengths[kMaxAttributes];
  std::size_t count = 0;
  for (;;) {
    const char* s = p;
    while (p < end && isXmlSpace(*p)) ++p;
    if (p == end) return {Step::More};
    if (*p == '>') return {Step::Ok, p + 1};
    if (*p == '/') {
      if (p + 1 == end) return {Step::More};
      if (p[1] != '>') return malformed(p, "not well-formed");
      empty = true;
      return {Step::Ok, p + 2};
    }
    const auto a = static_cast<unsigned char>(*p);
    if (a >= 0x80) return over(p, "a non-ASCII attribute name");
    if (p == s || !isNameStart(a)) return malformed(p, "not well-formed");
    const char* attr = p;
    while (p < end && static_cast<unsigned char>(*p) < 0x80 &&
           isNameChar(static_cast<unsigned char>(*p)))
      ++p;
    if (p == end) return {Step::More};
    if (static_cast<unsigned char>(*p) >= 0x80) return over(p, "a non-ASCII attribute name");
    const std::string_view attrName(attr, static_cast<std::size_t>(p - attr));
    while (p < end && isXmlSpace(*p)) ++p;
    if (p == end) return {Step::More};
    if (*p != '=') return malformed(p, "not well-formed");
    ++p;
    while (p < end && isXmlSpace(*p)) ++p;
    if (p == end) return {Step::More};
    if (*p != '"' && *p != '\'') return malformed(p, "not well-formed");
    const char quote = *p++;
    for (;; ++p) {
      if (p == end) return {Step::More};
      const auto v = static_cast<unsigned char>(*p);
      if (v == static_cast<unsigned char>(quote)) break;
      if (v == '<') return malformed(p, "not well-formed");
      if (v == '&') return over(p, "a reference in an attribute");
      if (v >= 0x80) return over(p, "non-ASCII text in an attribute");
      if (v < 0x20 && !isXmlSpace(*p)) return malformed(p, "not well-formed");
    }
    ++p;
    for (std::size_t i = 0; i < count; ++i) {
      if (std::string_view(names[i], lengths[i]) == attrName) {
        return malformed(attr, "duplicate attribute");
      }
    }
    if (count == kMaxAttributes) return over(attr, "a start tag with many attributes");
    names[count] = attrName.data();
    lengths[count++] = attrName.size();
  }
}

}  // namespace fw::plist::xml
