#include "platform/plist/xml/grammar.h"

#include <cstring>
#include <limits>

#include "platform/plist/xml/text.h"

namespace fw::plist::xml {
namespace {

// The longest text one element may hold: strings keep a 32-bit length, and
// UTF-16 never needs more units than UTF-8 has bytes.
constexpr std::size_t kMaxTextBytes = std::numeric_limits<std::uint32_t>::max();

std::string clip(std::string_view s) {
  return s.size() > 40 ? std::string(s.substr(0, 40)) + "..." : std::string(s);
}

}  // namespace

std::optional<Element> elementNamed(std::string_view name) noexcept {
  auto is = [&](const char* literal, std::size_t n) {
    return name.size() == n && std::memcmp(name.data(), literal, n) == 0;
  };
  if (name.empty()) return std::nullopt;
  switch (name[0]) {
    case 'a':
      if (is("array", 5)) return Element::Array;
      break;
    case 'd':
      if (is("dict", 4)) return Element::Dict;
      if (is("data", 4)) return Element::Data;
      if (is("date", 4)) return Element::Date;
      break;
    case 'f':
      if (is("false", 5)) return Element::False;
      break;
    case 'i':
      if (is("integer", 7)) return Element::Integer;
      break;
    case 'k':
      if (is("key", 3)) return Element::Key;
      break;
    case 'p':
      if (is("plist", 5)) return Element::Plist;
      break;
    case 'r':
      if (is("real", 4)) return Element::Real;
      break;
    case 's':
      if (is("string", 6)) return Element::String;
      break;
    case 't':
      if (is("true", 4)) return Element::True;
      break;
    default: break;
  }
  return std::nullopt;
}

std::string_view elementName(Element element) noexcept {
  switch (element) {
    case Element::Plist: return "plist";
    case Element::Array: return "array";
    case Element::Dict: return "dict";
    case Element::Key: return "key";
    case Element::String: return "string";
    case Element::Integer: return "integer";
    case Element::Real: return "real";
    case Element::Date: return "date";
    case Element::Data: return "data";
    case Element::True: return "true";
    case Element::False: return "false";
  }
  return "";
}

Grammar::Grammar(PropertyListEvents& events) : events_(events) {
  open_.reserve(kMaxXmlNesting + 1);
}

void Grammar::reset() {
  open_.clear();
  held_ = {};
  copy_.clear();
  failure_.clear();
  depth_ = 0;
  leaf_.reset();
  copied_ = false;
  rootDone_ = false;
  failed_ = false;
}

bool Grammar::fail(std::string reason) {
  if (failed_) return false;
  failed_ = true;
  failure_ = std::move(reason);
  return false;
}

bool Grammar::openUnknown(std::string_view name) {
  if (failed_) return false;
  if (leaf_) {
    return fail("element <" + std::string(name) + "> inside <" + std::string(elementName(*leaf_)) +
                ">");
  }
  return fail("unknown element <" + std::string(name) + ">");
}

bool Grammar::valueMayStart(Element element) {
  auto refuse = [&](const char* what) {
    return fail(std::string(what) + " <" + std::string(elementName(element)) + ">");
  };
  if (rootDone_) return refuse("content after the root:");
  if (open_.empty()) return true;
  Open& top = open_.back();
  switch (top.frame) {
    case Frame::Plist:
      if (top.pending) return refuse("content after the root:");
      top.pending = true;
      return true;
    case Frame::Dict:
      if (!top.pending) return refuse("value without a key:");
      top.pending = false;
      return true;
    case Frame::Array: return true;
  }
  return true;
}

bool Grammar::open(Element element) {
  if (failed_) return false;
  if (leaf_) {
    return fail("element <" + std::string(elementName(element)) + "> inside <" +
                std::string(elementName(*leaf_)) + ">");
  }
  switch (element) {
    case Element::Plist:
      if (!open_.empty() || rootDone_) return fail("unexpected <plist>");
      open_.push_back({Frame::Plist, false});
      return true;
    case Element::Key:
      if (open_.empty() || open_.back().frame != Frame::Dict) return fail("key outside a dict");
      if (open_.back().pending) return fail("key without a value");
      break;
    case Element::Array:
    case Element::Dict:
      if (!valueMayStart(element)) return false;
      if (depth_ == kMaxXmlNesting) {
        return fail("more than " + std::to_string(kMaxXmlNesting) + " nested containers");
      }
      ++depth_;
      if (element == Element::Array) {
        open_.push_back({Frame::Array, false});
        events_.beginArray();
      } else {
        open_.push_back({Frame::Dict, false});
        events_.beginDictionary();
      }
      return true;
    default:
      if (!valueMayStart(element)) return false;
      break;
  }
  leaf_ = element;
  held_ = {};
  copied_ = false;
  return true;
}

bool Grammar::text(std::string_view utf8, bool stable) {
  if (failed_) return false;
  if (utf8.empty()) return true;
  if (leaf_ && hasText(*leaf_)) {
    const std::size_t have = leafText().size();
    if (utf8.size() > kMaxTextBytes - have) {
      return fail("text longer than " + std::to_string(kMaxTextBytes) + " bytes");
    }
    if (have == 0 && stable && !copied_) {
      held_ = utf8;
      return true;
    }
    if (!copied_) {
      copy_.assign(held_);
      copied_ = true;
    }
    copy_.append(utf8);
    return true;
  }
  for (const char c : utf8) {
    if (!isXmlSpace(c)) {
      return fail(leaf_ ? "text inside <" + std::string(elementName(*leaf_)) + ">"
                        : std::string("text where none belongs"));
    }
  }
  return true;
}

bool Grammar::closeLeaf() {
  const Element leaf = *leaf_;
  leaf_.reset();
  const std::string_view text = leafText();
  switch (leaf) {
    case Element::Key:
      open_.back().pending = true;
      events_.key(EventText(text));
      break;
    case Element::String: events_.string(EventText(text)); break;
    case Element::True: events_.scalar(Value::boolean(true)); break;
    case Element::False: events_.scalar(Value::boolean(false)); break;
    case Element::Integer: {
      const std::optional<Value> v = parseXmlInteger(text);
      if (!v) return fail("unparsable integer \"" + clip(text) + "\"");
      events_.scalar(*v);
      break;
    }
    case Element::Real: {
      const std::optional<double> d = parseXmlReal(text);
      if (!d) return fail("unparsable real \"" + clip(text) + "\"");
      events_.scalar(Value::real(*d));
      break;
    }
    case Element::Date: {
      const std::optional<Date> d = parseXmlDate(text);
      if (!d) return fail("unparsable date \"" + clip(text) + "\"");
      events_.scalar(Value::date(*d));
      break;
    }
    case Element::Data:
      if (!decodeBase64Into(text, bytes_)) return fail("unparsable base64 data");
      events_.data(bytes_);
      break;
    default: break;
  }
  held_ = {};
  copied_ = false;
  if (open_.empty()) rootDone_ = true;
  return true;
}

bool Grammar::close() {
  if (failed_) return false;
  if (leaf_) return closeLeaf();
  const Open top = open_.back();
  open_.pop_back();
  switch (top.frame) {
    case Frame::Plist:
      if (!top.pending) return fail("empty <plist>");
      rootDone_ = true;
      return true;
    case Frame::Array:
      --depth_;
      events_.endArray();
      break;
    case Frame::Dict:
      --depth_;
      if (top.pending) return fail("key without a value");
      events_.endDictionary();
      break;
  }
  if (open_.empty()) rootDone_ = true;
  return true;
}

bool Grammar::finish() {
  if (failed_) return false;
  if (!rootDone_) return fail("no property list value");
  return true;
}

}  // namespace fw::plist::xml
