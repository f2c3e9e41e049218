// Whatever our readers accept must come back through every writer:
//   - written as binary (whole, and through the builder the snapshot uses,
//     for trees of strings, arrays and dictionaries) and read back, equal;
//   - written as XML and read back, equal to the value as XML carries it:
//     a date as its whole second within the years 1 to 9999, a UID as its
//     CF$UID dictionary. A value holding a character XML 1.0 cannot carry is
//     refused whole, with the reason findXmlUnwritable gives, and nothing of
//     it is handed to a sink;
//   - written as JSON, which must parse, and whose every element must stand
//     for the value's own (integers digit for digit, reals and dates bit for
//     bit, strings unit for unit, data byte for byte);
// and the streamed form of each text writer must be the whole one in pieces.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/binary/reader.h"
#include "platform/plist/binary/writer.h"
#include "platform/plist/json/writer.h"
#include "platform/plist/property_list.h"
#include "platform/plist/xml/expat_reader.h"
#include "platform/plist/xml/grammar.h"
#include "platform/plist/xml/text.h"
#include "platform/plist/xml/writer.h"
#include "platform/strings/unicode.h"

namespace {

using fw::plist::Array;
using fw::plist::Dictionary;
using fw::plist::Kind;
using fw::plist::Value;

[[noreturn]] void fail() { std::abort(); }
void check(bool ok) {
  if (!ok) fail();
}

std::uint64_t bits(double d) {
  std::uint64_t u = 0;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

// The value the XML writer's document stands for.
Value asXmlCarriesIt(const Value& v) {
  switch (v.kind()) {
    case Kind::Date: {
      constexpr double kFirst = -63113904000.0;  // 0001-01-01T00:00:00Z
      constexpr double kLast = 252423993599.0;   // 9999-12-31T23:59:59Z
      const double s = v.asDate()->seconds;
      double whole = std::isnan(s) ? 0 : std::floor(s);
      whole = whole < kFirst ? kFirst : whole > kLast ? kLast : whole;
      return Value::date(fw::plist::Date{whole});
    }
    case Kind::Real: {
      // XML has one NaN: a binary list's NaN payload and sign do not survive.
      if (!std::isnan(*v.asReal())) return v;
      return Value::real(*fw::plist::parseXmlReal("nan"));
    }
    case Kind::Uid: {
      const std::uint64_t u = v.asUid()->value;
      Dictionary d;
      d.set(u"CF$UID", u > INT64_MAX ? Value::unsignedInteger(u)
                                     : Value::integer(static_cast<std::int64_t>(u)));
      return Value::dictionary(std::move(d));
    }
    case Kind::Array: {
      Array items;
      items.reserve(v.asArray()->size());
      for (const Value& item : *v.asArray()) items.push_back(asXmlCarriesIt(item));
      return Value::array(std::move(items));
    }
    case Kind::Dictionary: {
      Dictionary d;
      d.reserve(v.asDictionary()->size());
      for (const auto& [key, item] : *v.asDictionary()) d.set(key, asXmlCarriesIt(item));
      return Value::dictionary(std::move(d));
    }
    default: return v;
  }
}

std::size_t nesting(const Value& v) {
  std::size_t deepest = 0;
  if (const Array* a = v.asArray()) {
    for (const Value& item : *a) deepest = std::max(deepest, nesting(item));
  } else if (const Dictionary* d = v.asDictionary()) {
    for (const auto& entry : *d) deepest = std::max(deepest, nesting(entry.second));
  } else {
    return 0;
  }
  return deepest + 1;
}

// Reads JSON text against the value it must stand for; false on a syntax
// error or on any element that does not match.
class JsonMatcher {
 public:
  explicit JsonMatcher(std::string_view text) : s_(text) {}

  bool whole(const Value& v) {
    if (!value(v)) return false;
    space();
    return at_ == s_.size();
  }

 private:
  void space() {
    while (at_ < s_.size() &&
           (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) {
      ++at_;
    }
  }
  bool take(char c) {
    space();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    space();
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }
  static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::optional<std::u16string> string() {
    if (!take('"')) return std::nullopt;
    std::u16string out;
    std::size_t run = at_;  // start of the raw UTF-8 not yet decoded
    const auto flush = [&] { return fw::appendUtf8ToUtf16(out, s_.substr(run, at_ - run)); };
    while (at_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[at_]);
      if (c == '"') {
        if (!flush()) return std::nullopt;
        ++at_;
        return out;
      }
      if (c < 0x20) return std::nullopt;
      if (c != '\\') {
        ++at_;
        continue;
      }
      if (!flush() || at_ + 1 >= s_.size()) return std::nullopt;
      const char e = s_[at_ + 1];
      at_ += 2;
      switch (e) {
        case '"': out += u'"'; break;
        case '\\': out += u'\\'; break;
        case '/': out += u'/'; break;
        case 'b': out += u'\b'; break;
        case 'f': out += u'\f'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'u': {
          if (at_ + 4 > s_.size()) return std::nullopt;
          unsigned unit = 0;
          for (int i = 0; i < 4; ++i) {
            const int d = hex(s_[at_ + i]);
            if (d < 0) return std::nullopt;
            unit = unit * 16 + static_cast<unsigned>(d);
          }
          at_ += 4;
          out += static_cast<char16_t>(unit);
          break;
        }
        default: return std::nullopt;
      }
      run = at_;
    }
    return std::nullopt;
  }

  // The text of a number in JSON's grammar.
  std::optional<std::string_view> number() {
    space();
    const std::size_t start = at_;
    const auto digits = [&] {
      const std::size_t from = at_;
      while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
      return at_ > from;
    };
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    if (at_ < s_.size() && s_[at_] == '0') {
      ++at_;
    } else if (!digits()) {
      return std::nullopt;
    }
    if (at_ < s_.size() && s_[at_] == '.') {
      ++at_;
      if (!digits()) return std::nullopt;
    }
    if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
      ++at_;
      if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
      if (!digits()) return std::nullopt;
    }
    return s_.substr(start, at_ - start);
  }

  bool integer(const Value& v) {
    const auto text = number();
    if (!text || text->find_first_of(".eE") != std::string_view::npos) return false;
    if (v.isBigUnsigned()) {
      std::uint64_t u = 0;
      const auto r = std::from_chars(text->data(), text->data() + text->size(), u);
      return r.ec == std::errc() && u == *v.asUnsigned();
    }
    std::int64_t i = 0;
    const auto r = std::from_chars(text->data(), text->data() + text->size(), i);
    return r.ec == std::errc() && v.asInteger() && i == *v.asInteger();
  }

  // A finite double as a number with a fraction or an exponent; anything
  // else as "nan", "inf" or "-inf" in a string.
  bool real(double d) {
    if (!std::isfinite(d)) {
      const auto text = string();
      return text && *text == (std::isnan(d) ? u"nan" : d < 0 ? u"-inf" : u"inf");
    }
    const auto text = number();
    if (!text || text->find_first_of(".eE") == std::string_view::npos) return false;
    const std::string copy(*text);
    return bits(std::strtod(copy.c_str(), nullptr)) == bits(d);
  }

  // {"KEY": ...}, the element read by `inner`.
  template <typename Inner>
  bool tagged(std::u16string_view key, Inner inner) {
    if (!take('{')) return false;
    const auto k = string();
    return k && *k == key && take(':') && inner() && take('}');
  }

  bool value(const Value& v) {
    switch (v.kind()) {
      case Kind::Boolean: return word(*v.asBoolean() ? "true" : "false");
      case Kind::Integer: return integer(v);
      case Kind::Real: {
        const double d = *v.asReal();
        if (std::isfinite(d)) return real(d);
        return tagged(u"$real", [&] { return real(d); });
      }
      case Kind::Date: return tagged(u"$date", [&] { return real(v.asDate()->seconds); });
      case Kind::Data:
        return tagged(u"$data", [&] {
          const auto text = string();
          if (!text) return false;
          const auto bytes = fw::plist::decodeBase64(fw::utf16ToUtf8Lossy(*text));
          const auto want = *v.asData();
          return bytes && std::equal(bytes->begin(), bytes->end(), want.begin(), want.end());
        });
      case Kind::Uid:
        return tagged(u"$uid", [&] {
          const auto text = number();
          std::uint64_t u = 0;
          return text &&
                 std::from_chars(text->data(), text->data() + text->size(), u).ec == std::errc() &&
                 u == v.asUid()->value;
        });
      case Kind::String: {
        const auto text = string();
        return text && *text == *v.asString();
      }
      case Kind::Array: {
        if (!take('[')) return false;
        bool first = true;
        for (const Value& item : *v.asArray()) {
          if (!first && !take(',')) return false;
          first = false;
          if (!value(item)) return false;
        }
        return take(']');
      }
      case Kind::Dictionary: {
        if (!take('{')) return false;
        bool first = true;
        for (const auto& [key, item] : *v.asDictionary()) {
          if (!first && !take(',')) return false;
          first = false;
          const auto k = string();
          if (!k || *k != key.view() || !take(':') || !value(item)) return false;
        }
        return take('}');
      }
    }
    return false;
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

// A tree of strings, arrays and dictionaries only: what the builder takes.
bool builderCanTake(const Value& v) {
  if (const Array* a = v.asArray()) {
    for (const Value& item : *a) {
      if (!builderCanTake(item)) return false;
    }
    return true;
  }
  if (const Dictionary* d = v.asDictionary()) {
    for (const auto& entry : *d) {
      if (!builderCanTake(entry.second)) return false;
    }
    return true;
  }
  return v.is(Kind::String);
}

using Builder = fw::plist::BinaryPropertyListBuilder;

template <typename Handle>
void addContainer(Handle& parent, const Value& v);

template <typename Handle>
void fillArray(Handle& h, const Array& items) {
  for (const Value& item : items) {
    if (item.is(Kind::String)) {
      h.add(*item.asSharedString());
    } else {
      addContainer(h, item);
    }
  }
}

template <typename Handle>
void fillDictionary(Handle& h, const Dictionary& d) {
  for (const auto& entry : d) h.key(entry.first);
  for (const auto& entry : d) {
    if (entry.second.is(Kind::String)) {
      h.value(*entry.second.asSharedString());
    } else {
      addContainer(h, entry.second);
    }
  }
}

template <typename Handle>
void addContainer(Handle& parent, const Value& v) {
  if (const Array* a = v.asArray()) {
    auto h = parent.array(a->size());
    fillArray(h, *a);
  } else {
    auto h = parent.dictionary(v.asDictionary()->size());
    fillDictionary(h, *v.asDictionary());
  }
}

void fillRoot(Builder& b, const Value& v) {
  if (v.is(Kind::String)) {
    b.string(*v.asSharedString());
  } else {
    addContainer(b, v);
  }
}

void binaryLeg(const Value& value) {
  std::string why;
  const auto written = fw::plist::writeBinaryPropertyList(value, &why);
  check(written.has_value());
  const auto again = fw::plist::readBinaryPropertyList(*written, &why);
  check(again && *again == value);

  if (!builderCanTake(value)) return;
  for (const auto lifetime : {Builder::StringLifetime::held, Builder::StringLifetime::borrowed}) {
    Builder whole(lifetime);
    fillRoot(whole, value);
    const auto bytes = whole.finish(&why);
    check(bytes && *bytes == *written);
    Builder pieces(lifetime);
    fillRoot(pieces, value);
    std::vector<std::uint8_t> joined;
    check(pieces.finishTo(
        [&](std::span<const std::uint8_t> piece) {
          joined.insert(joined.end(), piece.begin(), piece.end());
          return true;
        },
        &why));
    check(joined == *written);
  }
}

void xmlLeg(const Value& value) {
  std::string why;
  const auto xml = fw::plist::writeXmlPropertyList(value, &why);
  std::string streamed;
  std::string streamedWhy;
  const bool streamedOk = fw::plist::writeXmlPropertyList(
      value,
      [&](std::string_view piece) {
        streamed += piece;
        return true;
      },
      &streamedWhy);
  if (const auto unwritable = fw::plist::findXmlUnwritable(value)) {
    const std::string expected = fw::plist::describe(*unwritable);
    check(!xml && why == expected);
    check(!streamedOk && streamed.empty() && streamedWhy == expected);
    return;
  }
  check(xml.has_value() && streamedOk && streamed == *xml);
  const auto again = fw::plist::readXmlPropertyList(
      std::span(reinterpret_cast<const std::uint8_t*>(xml->data()), xml->size()), &why);
  const Value expected = asXmlCarriesIt(value);
  // A UID in the innermost of the deepest containers becomes one dictionary
  // more than the reader takes.
  if (!again && nesting(expected) > fw::plist::kMaxXmlNesting) return;
  check(again && *again == expected);
}

void jsonLeg(const Value& value) {
  const std::string json = fw::plist::writeJson(value);
  check(JsonMatcher(json).whole(value));
  std::string streamed;
  check(fw::plist::writeJson(value, [&](std::string_view piece) {
    streamed += piece;
    return true;
  }));
  check(streamed == json);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string why;
  const auto value = fw::plist::readPropertyList(std::span(data, size), &why);
  if (!value) return 0;
  binaryLeg(*value);
  xmlLeg(*value);
  jsonLeg(*value);
  return 0;
}
