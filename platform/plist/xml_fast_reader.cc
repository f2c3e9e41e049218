#include "platform/plist/xml_fast_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/plist/xml_grammar.h"

namespace fw::plist {
namespace {

using xml::Element;

// Blocks read from a descriptor; the buffer doubles only when one element
// needs more than half of it, so reading stays linear in the document.
constexpr std::size_t kBlockSize = std::size_t{256} << 10;
// Attributes checked for repeats in one start tag; a tag with more is
// unusual enough to leave to expat.
constexpr std::size_t kMaxAttributes = 8;
// Open elements: the plist, the containers the grammar allows, a scalar.
constexpr std::size_t kMaxOpen = kMaxXmlNesting + 2;

// What one step of the reader found.
enum class Step : std::uint8_t {
  Ok,    // went on; the reader is past what it read
  More,  // needs bytes beyond the buffer; nothing was consumed
  Bad,   // refused; the reason is set
  Over,  // outside the dialect; the reason is set
};

enum class Phase : std::uint8_t { Prolog, Content, After };

constexpr bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool isNameStart(unsigned char c) {
  return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == ':';
}
constexpr bool isNameChar(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}
constexpr bool isXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}
constexpr bool isPubidChar(unsigned char c) {
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  if (c >= '0' && c <= '9') return true;
  return c == ' ' || c == '\r' || c == '\n' ||
         std::string_view("-'()+,./:=?;!*#@$_%").find(static_cast<char>(c)) !=
             std::string_view::npos;
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
constexpr SpecialTable kSpecial;

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
int utf8Length(const unsigned char* p, const unsigned char* end) {
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

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool equalsNoCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto c = static_cast<unsigned char>(a[i]);
    if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != static_cast<unsigned char>(lower[i])) return false;
  }
  return true;
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
  Pattern ends[11] = {Pattern("/plist"),  Pattern("/array"),   Pattern("/dict"), Pattern("/key"),
                      Pattern("/string"), Pattern("/integer"), Pattern("/real"), Pattern("/date"),
                      Pattern("/data"),   Pattern("/true"),    Pattern("/false")};
};
const Tags& tags() {
  static const Tags t;
  return t;
}

class FastReader {
 public:
  FastReader(PropertyListEvents& events, std::span<const std::uint8_t> bytes)
      : grammar_(events),
        buf_(reinterpret_cast<const char*>(bytes.data())),
        cur_(buf_),
        end_(buf_ + bytes.size()),
        eof_(true) {}
  FastReader(PropertyListEvents& events, int fd) : grammar_(events), fd_(fd), eof_(false) {}

  FastXmlResult run(std::string* reason) {
    const Step s = loop();
    if (s == Step::Ok) return FastXmlResult::Read;
    if (reason) *reason = reason_;
    return s == Step::Over ? FastXmlResult::HandedOver : FastXmlResult::Refused;
  }

 private:
  // --- the buffer ---------------------------------------------------------

  std::uint64_t offset(const char* p) const { return base_ + static_cast<std::uint64_t>(p - buf_); }

  // Keeps the bytes from cur_ on and reads more after them. False at the
  // end of the input (or on a read error, which sets readError_).
  bool refill() {
    if (eof_) return false;
    const std::size_t keep = static_cast<std::size_t>(end_ - cur_);
    if (keep * 2 > capacity_ || !owned_) {
      const std::size_t grown = capacity_ == 0 ? kBlockSize : capacity_ * 2;
      std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown]);
      if (!bigger) {
        readError_ = "out of memory";
        return false;
      }
      if (keep) std::memcpy(bigger.get(), cur_, keep);
      owned_ = std::move(bigger);
      capacity_ = grown;
    } else if (keep) {
      std::memmove(owned_.get(), cur_, keep);
    }
    base_ += static_cast<std::uint64_t>(cur_ - buf_);
    buf_ = owned_.get();
    cur_ = buf_;
    end_ = buf_ + keep;
    std::size_t got = 0;
    while (keep + got < capacity_) {
      const ssize_t n = ::read(fd_, owned_.get() + keep + got, capacity_ - keep - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        readError_ = std::string("read failed: ") + std::strerror(errno);
        return false;
      }
      if (n == 0) {
        eof_ = true;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    end_ += got;
    return got > 0;
  }

  // --- results ------------------------------------------------------------

  Step bad(const char* at, std::string why) {
    reason_ = std::move(why) + " (byte " + std::to_string(offset(at)) + ")";
    return Step::Bad;
  }
  Step malformed(const char* at, const char* why) {
    return bad(at, std::string("malformed XML: ") + why);
  }
  Step over(const char* at, const char* what) {
    reason_ = std::string(what) + " (byte " + std::to_string(offset(at)) + ")";
    return Step::Over;
  }
  // The grammar refused at `at`.
  Step refused(const char* at) { return bad(at, grammar_.failure()); }
  // The bytes needed run past the buffer: more, or the document ends early.
  Step more(const char* at) {
    if (eof_) return malformed(at, "unexpected end of document");
    return Step::More;
  }

  // --- the loop -----------------------------------------------------------

  Step loop() {
    if (fd_ >= 0 && !refill() && !readError_.empty()) return bad(cur_, readError_);
    Step s = prolog();
    for (;;) {
      if (s == Step::Ok) {
        if (cur_ == end_) {
          if (!refill()) {
            if (!readError_.empty()) return bad(cur_, readError_);
            break;
          }
        }
        if (inLeaf_) {
          s = leafText();
        } else if (*cur_ == '<') {
          s = markup();
        } else {
          s = text();
        }
        continue;
      }
      if (s != Step::More) return s;
      if (!refill()) {
        if (!readError_.empty()) return bad(cur_, readError_);
        return malformed(end_, "unexpected end of document");
      }
      s = Step::Ok;
      // The step that asked for more starts over from where it began.
      if (phase_ == Phase::Prolog && atStart_) s = prolog();
    }
    if (phase_ == Phase::Prolog) return malformed(end_, "no element found");
    if (phase_ == Phase::Content) return malformed(end_, "unclosed element");
    if (!grammar_.finish()) return refused(end_);
    return Step::Ok;
  }

  // The byte order mark and the XML declaration, at the very start.
  Step prolog() {
    if (!atStart_) return Step::Ok;
    const auto* b = reinterpret_cast<const unsigned char*>(cur_);
    const std::ptrdiff_t n = end_ - cur_;
    if (n < 6 && !eof_) return Step::More;
    if (n < 2) return over(cur_, "a document too short to tell its encoding");
    // expat takes a zero in either of the first two bytes, or a UTF-16
    // byte order mark, for UTF-16.
    if (b[0] == 0 || b[1] == 0 || (b[0] == 0xFE && b[1] == 0xFF) ||
        (b[0] == 0xFF && b[1] == 0xFE)) {
      return over(cur_, "UTF-16");
    }
    if (b[0] == 0xEF) {
      if (n < 3 || b[1] != 0xBB || b[2] != 0xBF) return over(cur_, "a partial byte order mark");
      cur_ += 3;
    }
    if (end_ - cur_ >= 6 && std::memcmp(cur_, "<?xml", 5) == 0 &&
        isSpace(static_cast<unsigned char>(cur_[5]))) {
      const Step s = declaration();
      if (s != Step::Ok) {
        if (s == Step::More && b[0] == 0xEF) cur_ -= 3;  // the start is read again
        return s;
      }
    }
    atStart_ = false;
    return Step::Ok;
  }

  // <?xml version="1.0" encoding="UTF-8" standalone="no"?>: version 1.0,
  // and UTF-8 if an encoding is named; anything else goes to expat.
  Step declaration() {
    const char* gt =
        static_cast<const char*>(std::memchr(cur_, '>', static_cast<std::size_t>(end_ - cur_)));
    if (!gt) return eof_ ? over(cur_, "an unterminated XML declaration") : Step::More;
    if (gt[-1] != '?') return over(cur_, "an unusual XML declaration");
    const char* p = cur_ + 5;
    const char* e = gt - 1;
    auto spaces = [&] {
      const char* s = p;
      while (p < e && isSpace(static_cast<unsigned char>(*p))) ++p;
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
      return over(cur_, "an XML declaration of another version");
    bool sawEncoding = false;
    bool sawStandalone = false;
    for (;;) {
      const bool spaced = spaces();
      if (p == e) break;
      if (!spaced) return over(cur_, "an unusual XML declaration");
      if (!sawEncoding && !sawStandalone && *p == 'e') {
        if (!attribute("encoding", value)) return over(cur_, "an unusual XML declaration");
        if (!equalsNoCase(value, "utf-8")) return over(cur_, "an encoding other than UTF-8");
        sawEncoding = true;
      } else if (!sawStandalone && *p == 's') {
        if (!attribute("standalone", value) || (value != "yes" && value != "no")) {
          return over(cur_, "an unusual XML declaration");
        }
        sawStandalone = true;
      } else {
        return over(cur_, "an unusual XML declaration");
      }
    }
    cur_ = gt + 1;
    return Step::Ok;
  }

  // <!DOCTYPE name>, or with SYSTEM "uri" or PUBLIC "id" "uri".
  Step doctype() {
    const char* gt =
        static_cast<const char*>(std::memchr(cur_, '>', static_cast<std::size_t>(end_ - cur_)));
    const char* bracket = static_cast<const char*>(
        std::memchr(cur_, '[', static_cast<std::size_t>((gt ? gt : end_) - cur_)));
    if (bracket) return over(cur_, "a DOCTYPE with an internal subset");
    if (!gt) return eof_ ? over(cur_, "an unterminated DOCTYPE") : Step::More;
    if (sawDoctype_) return over(cur_, "a second DOCTYPE");
    const char* p = cur_ + 9;
    const char* e = gt;
    auto spaces = [&] {
      const char* s = p;
      while (p < e && isSpace(static_cast<unsigned char>(*p))) ++p;
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
        if (pubid ? !isPubidChar(c) : ((c < 0x20 && !isSpace(c)) || c >= 0x7F)) return false;
        ++p;
      }
      if (p == e) return false;
      ++p;
      return true;
    };
    if (!spaces() || p == e || !isNameStart(static_cast<unsigned char>(*p)))
      return over(cur_, "an unusual DOCTYPE");
    while (p < e && isNameChar(static_cast<unsigned char>(*p))) ++p;
    bool spaced = spaces();
    if (p < e) {
      if (!spaced) return over(cur_, "an unusual DOCTYPE");
      if (word("SYSTEM")) {
        if (!spaces() || !literal(false)) return over(cur_, "an unusual DOCTYPE");
      } else if (word("PUBLIC")) {
        if (!spaces() || !literal(true) || !spaces() || !literal(false)) {
          return over(cur_, "an unusual DOCTYPE");
        }
      } else {
        return over(cur_, "an unusual DOCTYPE");
      }
      spaces();
      if (p != e) return over(cur_, "an unusual DOCTYPE");
    }
    sawDoctype_ = true;
    cur_ = gt + 1;
    return Step::Ok;
  }

  // Markup at '<'.
  Step markup() {
    const char* p = cur_;
    if (end_ - p >= 10 && phase_ == Phase::Content) {
      std::uint64_t word;
      std::memcpy(&word, p + 1, 8);
      if (p[1] == '/') {
        // The end of the innermost container.
        const std::size_t n = xml::elementName(open_[depth_ - 1]).size() + 1;
        if (tags_.ends[static_cast<std::size_t>(open_[depth_ - 1])].matches(word) &&
            p[1 + n] == '>') {
          return closeElement(p + n + 2);
        }
        return endTag();
      }
      for (const Tags::Start& t : tags_.starts) {
        if (!t.pattern.matches(word)) continue;
        if (!grammar_.open(t.element)) return refused(p);
        cur_ = p + 1 + t.length;
        if (t.empty) {
          if (!grammar_.close()) return refused(p);
          if (depth_ == 0) phase_ = Phase::After;
          return Step::Ok;
        }
        open_[depth_++] = t.element;
        if (t.element == Element::Dict || t.element == Element::Array) return Step::Ok;
        inLeaf_ = true;
        // Nearly always the text and the end tag follow at once.
        return leafText();
      }
    }
    if (end_ - p < 2) return more(p);
    switch (p[1]) {
      case '/': return endTag();
      case '?': return over(p, "a processing instruction");
      case '!': {
        if (end_ - p < 9 && !eof_) return Step::More;
        const std::string_view rest(p, static_cast<std::size_t>(end_ - p < 9 ? end_ - p : 9));
        if (rest.substr(0, 4) == "<!--") return over(p, "a comment");
        if (rest == "<![CDATA[") return over(p, "a CDATA section");
        if (rest == "<!DOCTYPE" && phase_ == Phase::Prolog) return doctype();
        return over(p, "a markup declaration");
      }
      default: return startTag();
    }
  }

  Step startTag() {
    const char* p = cur_ + 1;
    const char* name = p;
    while (p < end_ && static_cast<unsigned char>(*p) < 0x80 &&
           isNameChar(static_cast<unsigned char>(*p)))
      ++p;
    if (p == end_) return more(cur_);
    const std::string_view tag(name, static_cast<std::size_t>(p - name));
    const auto c = static_cast<unsigned char>(*p);
    const std::optional<Element> element =
        (isSpace(c) || c == '/' || c == '>') ? xml::elementNamed(tag) : std::nullopt;
    if (!element) {
      // Another name, or no name: the grammar or expat refuses either.
      if (phase_ == Phase::After) return malformed(cur_, "content after the root element");
      if (tag.empty() || !isNameStart(static_cast<unsigned char>(tag[0]))) {
        return malformed(cur_, "not well-formed");
      }
      grammar_.openUnknown(tag);
      return refused(cur_);
    }
    bool empty = false;
    // Left uninitialised: nearly every tag has no attribute at all.
    const char* names[kMaxAttributes];
    std::size_t lengths[kMaxAttributes];
    std::size_t count = 0;
    for (;;) {
      const char* s = p;
      while (p < end_ && isSpace(static_cast<unsigned char>(*p))) ++p;
      if (p == end_) return more(cur_);
      if (*p == '>') {
        ++p;
        break;
      }
      if (*p == '/') {
        if (p + 1 == end_) return more(cur_);
        if (p[1] != '>') return malformed(p, "not well-formed");
        p += 2;
        empty = true;
        break;
      }
      const auto a = static_cast<unsigned char>(*p);
      if (a >= 0x80) return over(p, "a non-ASCII attribute name");
      if (p == s || !isNameStart(a)) return malformed(p, "not well-formed");
      const char* attr = p;
      while (p < end_ && static_cast<unsigned char>(*p) < 0x80 &&
             isNameChar(static_cast<unsigned char>(*p)))
        ++p;
      if (p == end_) return more(cur_);
      if (static_cast<unsigned char>(*p) >= 0x80) return over(p, "a non-ASCII attribute name");
      const std::string_view attrName(attr, static_cast<std::size_t>(p - attr));
      while (p < end_ && isSpace(static_cast<unsigned char>(*p))) ++p;
      if (p == end_) return more(cur_);
      if (*p != '=') return malformed(p, "not well-formed");
      ++p;
      while (p < end_ && isSpace(static_cast<unsigned char>(*p))) ++p;
      if (p == end_) return more(cur_);
      if (*p != '"' && *p != '\'') return malformed(p, "not well-formed");
      const char quote = *p++;
      for (;; ++p) {
        if (p == end_) return more(cur_);
        const auto v = static_cast<unsigned char>(*p);
        if (v == static_cast<unsigned char>(quote)) break;
        if (v == '<') return malformed(p, "not well-formed");
        if (v == '&') return over(p, "a reference in an attribute");
        if (v >= 0x80) return over(p, "non-ASCII text in an attribute");
        if (v < 0x20 && !isSpace(v)) return malformed(p, "not well-formed");
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
    if (phase_ == Phase::After) return malformed(cur_, "content after the root element");
    phase_ = Phase::Content;
    if (!grammar_.open(*element)) return refused(cur_);
    if (empty) {
      if (!grammar_.close()) return refused(cur_);
      if (depth_ == 0) phase_ = Phase::After;
    } else {
      open_[depth_++] = *element;
      inLeaf_ = *element != Element::Plist && *element != Element::Array &&
                *element != Element::Dict && *element != Element::True &&
                *element != Element::False;
    }
    cur_ = p;
    return Step::Ok;
  }

  enum class EndTag : std::uint8_t { Match, Mismatch, Partial };

  // Whether the end tag at p closes the innermost element; `after` is the
  // byte after its '>'. Partial when it runs past the buffer.
  EndTag matchEndTag(const char* p, const char*& after) const {
    const std::string_view name = xml::elementName(open_[depth_ - 1]);
    const char* q = p + 2;
    const std::size_t have = static_cast<std::size_t>(end_ - q);
    if (have < name.size() + 1) {
      return std::memcmp(q, name.data(), have < name.size() ? have : name.size()) != 0
                 ? EndTag::Mismatch
                 : EndTag::Partial;
    }
    if (std::memcmp(q, name.data(), name.size()) != 0) return EndTag::Mismatch;
    q += name.size();
    while (q < end_ && isSpace(static_cast<unsigned char>(*q))) ++q;
    if (q == end_) return EndTag::Partial;
    if (*q != '>') return EndTag::Mismatch;
    after = q + 1;
    return EndTag::Match;
  }

  Step endTag() {
    if (depth_ == 0) return malformed(cur_, "an end tag with no element open");
    const char* after = nullptr;
    switch (matchEndTag(cur_, after)) {
      case EndTag::Mismatch: return malformed(cur_, "mismatched tag");
      case EndTag::Partial: return more(cur_);
      case EndTag::Match: break;
    }
    return closeElement(after);
  }

  Step closeElement(const char* after) {
    if (!grammar_.close()) return refused(cur_);
    --depth_;
    inLeaf_ = false;
    if (depth_ == 0) phase_ = Phase::After;
    cur_ = after;
    return Step::Ok;
  }

  // Character data from cur_ up to the next '<', checked: legal characters,
  // valid UTF-8, references that XML defines, no "]]>". Sets `stop` to the
  // '<' (or end_ at the end of the input) and `decode` when references or
  // carriage returns need rewriting.
  Step scanText(const char*& stop, bool& decode) {
    const char* p = cur_;
    decode = false;
    for (;;) {
      p = findSpecial(p, end_);
      if (p == end_) {
        if (!eof_) return Step::More;
        stop = p;
        return Step::Ok;
      }
      const auto c = static_cast<unsigned char>(*p);
      if (c == '<') {
        stop = p;
        return Step::Ok;
      }
      if (c >= 0x80) {
        const int n = utf8Length(reinterpret_cast<const unsigned char*>(p),
                                 reinterpret_cast<const unsigned char*>(end_));
        if (n < 0) return more(p);
        if (n == 0) return bad(p, "invalid UTF-8 or an illegal character");
        p += n;
      } else if (c == '&') {
        std::uint32_t cp = 0;
        const char* after = nullptr;
        const Step s = reference(p, cp, after);
        if (s != Step::Ok) return s;
        decode = true;
        p = after;
      } else if (c == ']') {
        if (end_ - p < 3 && !eof_) return Step::More;
        if (end_ - p >= 3 && p[1] == ']' && p[2] == '>') return malformed(p, "\"]]>\" in text");
        ++p;
      } else if (c == '\r') {
        decode = true;
        ++p;
      } else if (c == '\t' || c == '\n') {
        ++p;
      } else {
        return malformed(p, "an illegal character");
      }
    }
  }

  // A reference at p ('&'): its character and the byte after its ';'.
  Step reference(const char* p, std::uint32_t& cp, const char*& after) {
    const char* q = p + 1;
    if (q == end_) return more(p);
    if (*q == '#') {
      ++q;
      if (q == end_) return more(p);
      const bool hex = *q == 'x';
      if (hex) ++q;
      std::uint32_t v = 0;
      const char* digits = q;
      for (; q < end_; ++q) {
        const auto d = static_cast<unsigned char>(*q);
        std::uint32_t digit;
        if (d >= '0' && d <= '9') {
          digit = d - '0';
        } else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f') {
          digit = (d | 0x20) - 'a' + 10;
        } else {
          break;
        }
        if (v <= 0x10FFFF) v = v * (hex ? 16 : 10) + digit;
      }
      if (q == end_) return more(p);
      if (q == digits || *q != ';') return malformed(p, "a malformed character reference");
      if (!isXmlChar(v)) return malformed(p, "a reference to an invalid character");
      cp = v;
      after = q + 1;
      return Step::Ok;
    }
    const char* name = q;
    while (q < end_ && *q != ';' &&
           (isNameChar(static_cast<unsigned char>(*q)) || static_cast<unsigned char>(*q) >= 0x80)) {
      ++q;
    }
    if (q == end_) return more(p);
    if (*q != ';' || q == name) return malformed(p, "a malformed reference");
    const std::string_view n(name, static_cast<std::size_t>(q - name));
    if (n == "amp") {
      cp = '&';
    } else if (n == "lt") {
      cp = '<';
    } else if (n == "gt") {
      cp = '>';
    } else if (n == "quot") {
      cp = '"';
    } else if (n == "apos") {
      cp = '\'';
    } else {
      // Undeclared wherever it stands: no internal subset reaches here, and
      // expat does not read external ones.
      return bad(p, "undefined entity &" + std::string(n.substr(0, 40)) + ";");
    }
    after = q + 1;
    return Step::Ok;
  }

  // Checked text [from, to) with references replaced and line ends
  // normalised, into scratch_.
  std::string_view decoded(const char* from, const char* to) {
    scratch_.clear();
    const char* p = from;
    while (p < to) {
      const char* q = p;
      while (q < to && *q != '&' && *q != '\r') ++q;
      scratch_.append(p, static_cast<std::size_t>(q - p));
      if (q == to) break;
      if (*q == '\r') {
        scratch_ += '\n';
        p = q + 1;
        if (p < to && *p == '\n') ++p;
      } else {
        std::uint32_t cp = 0;
        const char* after = q + 1;
        (void)reference(q, cp, after);  // checked by scanText
        appendUtf8(scratch_, cp);
        p = after;
      }
    }
    return scratch_;
  }

  // The text of a key, string, integer, real, date or data element, and
  // its end tag when that follows at once (as it nearly always does).
  Step leafText() {
    const char* stop = nullptr;
    bool decode = false;
    const Step s = scanText(stop, decode);
    if (s != Step::Ok) return s;
    if (stop == end_) return more(stop);
    const std::string_view text =
        decode ? decoded(cur_, stop)
               : std::string_view(cur_, static_cast<std::size_t>(stop - cur_));
    if (end_ - stop >= 10) {
      std::uint64_t word;
      std::memcpy(&word, stop + 1, 8);
      const Element leaf = open_[depth_ - 1];
      const std::size_t n = xml::elementName(leaf).size() + 1;
      if (tags_.ends[static_cast<std::size_t>(leaf)].matches(word) && stop[1 + n] == '>') {
        if (!grammar_.text(text, true)) return refused(cur_);
        cur_ = stop;
        return closeElement(stop + n + 2);
      }
    }
    if (end_ - stop < 2) return more(stop);
    if (stop[1] == '/') {
      const char* after = nullptr;
      switch (matchEndTag(stop, after)) {
        case EndTag::Mismatch: return malformed(stop, "mismatched tag");
        case EndTag::Partial: return more(stop);
        case EndTag::Match: break;
      }
      if (!grammar_.text(text, true)) return refused(cur_);
      cur_ = stop;
      return closeElement(after);
    }
    // Other markup inside: the text so far, then that markup on its own.
    if (!grammar_.text(text, false)) return refused(cur_);
    cur_ = stop;
    inLeaf_ = false;
    return Step::Ok;
  }

  // Character data outside a scalar: whitespace, or refused.
  Step text() {
    const char* p = cur_;
    while (p < end_ && isSpace(static_cast<unsigned char>(*p))) ++p;
    if (p == end_ || *p == '<') {
      cur_ = p;
      return Step::Ok;
    }
    if (phase_ != Phase::Content) {
      return malformed(p, phase_ == Phase::Prolog ? "text before the root element"
                                                  : "text after the root element");
    }
    const char* stop = nullptr;
    bool decode = false;
    const Step s = scanText(stop, decode);
    if (s != Step::Ok) return s;
    const std::string_view t = decode
                                   ? decoded(cur_, stop)
                                   : std::string_view(cur_, static_cast<std::size_t>(stop - cur_));
    if (!grammar_.text(t, false)) return refused(p);
    cur_ = stop;
    return Step::Ok;
  }

  xml::Grammar grammar_;
  const Tags& tags_ = tags();
  int fd_ = -1;
  std::unique_ptr<char[]> owned_;
  std::size_t capacity_ = 0;
  const char* buf_ = nullptr;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  std::uint64_t base_ = 0;
  std::string scratch_;
  std::string reason_;
  std::string readError_;
  Element open_[kMaxOpen] = {};
  std::size_t depth_ = 0;
  Phase phase_ = Phase::Prolog;
  bool eof_;
  bool atStart_ = true;
  bool sawDoctype_ = false;
  bool inLeaf_ = false;
};

}  // namespace

FastXmlResult readXmlEventsFast(std::span<const std::uint8_t> bytes, PropertyListEvents& events,
                                std::string* reason) {
  FastReader reader(events, bytes);
  return reader.run(reason);
}

FastXmlResult readXmlEventsFastFromFd(int fd, PropertyListEvents& events, std::string* reason) {
  FastReader reader(events, fd);
  return reader.run(reason);
}

}  // namespace fw::plist
