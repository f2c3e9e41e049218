#include "platform/plist/xml/fast_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/plist/xml/fast/input.h"
#include "platform/plist/xml/fast/markup.h"
#include "platform/plist/xml/fast/references.h"
#include "platform/plist/xml/fast/scan.h"
#include "platform/plist/xml/grammar.h"
#include "platform/plist/xml/text.h"

namespace fw::plist {
namespace {

using xml::Element;
using xml::Scanned;
using xml::Step;

// Open elements: the plist, the containers the grammar allows, a scalar.
constexpr std::size_t kMaxOpen = kMaxXmlNesting + 2;

enum class Phase : std::uint8_t { Prolog, Content, After };

// The element and value state machine: it walks the markup, matches start
// and end tags, checks the text and tells the grammar what it found. The
// common tags are recognised as whole words (xml::Tags); everything rarer
// is checked by the scans of fast/markup.h.
class FastReader : private xml::FastXmlInput {
 public:
  FastReader(PropertyListEvents& events, std::span<const std::uint8_t> bytes)
      : FastXmlInput(bytes), grammar_(events) {}
  FastReader(PropertyListEvents& events, int fd) : FastXmlInput(fd), grammar_(events) {}

  FastXmlResult run(std::string* reason) {
    const Step s = loop();
    if (s == Step::Ok) return FastXmlResult::Read;
    if (reason) *reason = reason_;
    return s == Step::Over ? FastXmlResult::HandedOver : FastXmlResult::Refused;
  }

 private:
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
  // A scan of markup at cur_ that did not go on.
  Step stopped(const Scanned& s) {
    switch (s.step) {
      case Step::More: return more(cur_);
      case Step::Bad: return malformed(s.at, s.why);
      case Step::Over: return over(s.at, s.why);
      case Step::Ok: break;
    }
    return Step::Ok;
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
    const Scanned s = xml::scanProlog(cur_, end_, eof_);
    if (s.step != Step::Ok) return stopped(s);
    cur_ = s.at;
    atStart_ = false;
    return Step::Ok;
  }

  Step doctype() {
    const Scanned s = xml::scanDoctype(cur_, end_, eof_, sawDoctype_);
    if (s.step != Step::Ok) return stopped(s);
    sawDoctype_ = true;
    cur_ = s.at;
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
      for (const xml::Tags::Start& t : tags_.starts) {
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
           xml::isNameChar(static_cast<unsigned char>(*p)))
      ++p;
    if (p == end_) return more(cur_);
    const std::string_view tag(name, static_cast<std::size_t>(p - name));
    const char c = *p;
    const std::optional<Element> element =
        (isXmlSpace(c) || c == '/' || c == '>') ? xml::elementNamed(tag) : std::nullopt;
    if (!element) {
      // Another name, or no name: the grammar or expat refuses either.
      if (phase_ == Phase::After) return malformed(cur_, "content after the root element");
      if (tag.empty() || !xml::isNameStart(static_cast<unsigned char>(tag[0]))) {
        return malformed(cur_, "not well-formed");
      }
      grammar_.openUnknown(tag);
      return refused(cur_);
    }
    bool empty = false;
    const Scanned attributes = xml::scanAttributes(p, end_, empty);
    if (attributes.step != Step::Ok) return stopped(attributes);
    if (phase_ == Phase::After) return malformed(cur_, "content after the root element");
    phase_ = Phase::Content;
    if (!grammar_.open(*element)) return refused(cur_);
    if (empty) {
      if (!grammar_.close()) return refused(cur_);
      if (depth_ == 0) phase_ = Phase::After;
    } else {
      open_[depth_++] = *element;
      inLeaf_ = xml::hasText(*element);
    }
    cur_ = attributes.at;
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
    while (q < end_ && isXmlSpace(*q)) ++q;
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
      p = xml::findSpecial(p, end_);
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
        const int n = xml::utf8Length(reinterpret_cast<const unsigned char*>(p),
                                      reinterpret_cast<const unsigned char*>(end_));
        if (n < 0) return more(p);
        if (n == 0) return bad(p, "invalid UTF-8 or an illegal character");
        p += n;
      } else if (c == '&') {
        const Step s = reference(p);
        if (s != Step::Ok) return s;
        decode = true;
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

  // Checks the reference at p ('&') and moves p past its ';'.
  Step reference(const char*& p) {
    const xml::Reference r = xml::scanReference(p, end_);
    switch (r.kind) {
      case xml::Reference::Kind::Ok: p = r.after; return Step::Ok;
      case xml::Reference::Kind::Partial: return more(p);
      case xml::Reference::Kind::Malformed: return malformed(p, r.why);
      case xml::Reference::Kind::Undefined: {
        // Undeclared wherever it stands: no internal subset reaches here,
        // and expat does not read external ones.
        const std::string_view name(p + 1, static_cast<std::size_t>(r.after - 1 - (p + 1)));
        return bad(p, "undefined entity &" + std::string(name.substr(0, 40)) + ";");
      }
    }
    return Step::Ok;
  }

  // Checked text [from, to): as it stands, or with references replaced and
  // line ends normalised into scratch_.
  std::string_view textOf(const char* from, const char* to, bool decode) {
    if (!decode) return std::string_view(from, static_cast<std::size_t>(to - from));
    xml::decodeReferences(from, to, scratch_);
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
    const std::string_view text = textOf(cur_, stop, decode);
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
    while (p < end_ && isXmlSpace(*p)) ++p;
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
    if (!grammar_.text(textOf(cur_, stop, decode), false)) return refused(p);
    cur_ = stop;
    return Step::Ok;
  }

  xml::Grammar grammar_;
  const xml::Tags& tags_ = xml::tags();
  std::string scratch_;
  std::string reason_;
  Element open_[kMaxOpen] = {};
  std::size_t depth_ = 0;
  Phase phase_ = Phase::Prolog;
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
