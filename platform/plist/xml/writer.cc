#include "platform/plist/xml/writer.h"

#include <cstdio>

#include "platform/plist/xml/text.h"
#include "platform/strings/unicode.h"

namespace fw::plist {
namespace {

// The first unit in `s` that XML 1.0 cannot carry, with its position.
std::optional<std::size_t> firstUnwritable(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c < 0x20) {
      if (c != '\t' && c != '\n' && c != '\r') return i;
    } else if (isHighSurrogate(c)) {
      if (i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
        ++i;
      } else {
        return i;
      }
    } else if (isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
      return i;
    }
  }
  return std::nullopt;
}

// A key as a JSON string, so that the path can be read and pasted back.
void appendQuotedKey(std::string& out, std::u16string_view s) {
  out += '"';
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    char buf[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (isHighSurrogate(c) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
      appendUtf8(out, combineSurrogates(c, s[i + 1]));
      ++i;
    } else if (c < 0x20 || c == 0x7F || isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      appendUtf8(out, c);
    }
  }
  out += '"';
}

// Depth first in document order: a dictionary's key before its value. The
// path is only put together, from the inside out, once something is found.
std::optional<XmlUnwritable> find(const Value& v) {
  if (const auto s = v.asString()) {
    if (const auto at = firstUnwritable(*s)) return XmlUnwritable{(*s)[*at], {}};
  } else if (const Array* a = v.asArray()) {
    std::size_t index = 0;
    for (const Value& item : *a) {
      if (auto found = find(item)) {
        found->path.insert(0, "[" + std::to_string(index) + "]");
        return found;
      }
      ++index;
    }
  } else if (const Dictionary* d = v.asDictionary()) {
    for (const auto& [key, item] : *d) {
      std::optional<XmlUnwritable> found;
      if (const auto at = firstUnwritable(key.view())) {
        found = XmlUnwritable{key.view()[*at], {}};
      } else {
        found = find(item);
      }
      if (found) {
        std::string step = "[";
        appendQuotedKey(step, key.view());
        step += ']';
        found->path.insert(0, step);
        return found;
      }
    }
  }
  return std::nullopt;
}

// Writes into `out`; with a sink, hands `out` over whenever it has grown
// past a piece, between elements, and stops once the sink says so.
class Writer : public TextSinkBuffer {
 public:
  using TextSinkBuffer::TextSinkBuffer;

  void value(const Value& v, int depth) {
    indent(depth);
    switch (v.kind()) {
      case Kind::Boolean: out_ += *v.asBoolean() ? "<true/>\n" : "<false/>\n"; return;
      case Kind::Integer:
        out_ += "<integer>";
        out_ += formatInteger(v);
        out_ += "</integer>\n";
        return;
      case Kind::Real: out_ += "<real>" + formatReal(*v.asReal()) + "</real>\n"; return;
      case Kind::String:
        out_ += "<string>";
        text(*v.asString());
        out_ += "</string>\n";
        return;
      case Kind::Date: out_ += "<date>" + formatXmlDate(*v.asDate()) + "</date>\n"; return;
      case Kind::Data: data(*v.asData(), depth); return;
      case Kind::Uid:
        out_ += "<dict>\n";
        indent(depth + 1);
        out_ += "<key>CF$UID</key>\n";
        indent(depth + 1);
        out_ += "<integer>" + std::to_string(v.asUid()->value) + "</integer>\n";
        indent(depth);
        out_ += "</dict>\n";
        return;
      case Kind::Array: {
        const Array& a = *v.asArray();
        if (a.empty()) {
          out_ += "<array/>\n";
          return;
        }
        out_ += "<array>\n";
        for (const Value& item : a) {
          value(item, depth + 1);
          if (!spill()) return;
        }
        indent(depth);
        out_ += "</array>\n";
        return;
      }
      case Kind::Dictionary: {
        const Dictionary& d = *v.asDictionary();
        if (d.empty()) {
          out_ += "<dict/>\n";
          return;
        }
        out_ += "<dict>\n";
        for (const auto& [key, item] : d) {
          indent(depth + 1);
          out_ += "<key>";
          text(key.view());
          out_ += "</key>\n";
          value(item, depth + 1);
          if (!spill()) return;
        }
        indent(depth);
        out_ += "</dict>\n";
        return;
      }
    }
  }

 private:
  void indent(int depth) { out_.append(static_cast<std::size_t>(depth), '\t'); }

  void data(std::span<const std::uint8_t> bytes, int depth) {
    out_ += "<data>\n";
    const std::string b64 = encodeBase64(bytes);
    constexpr std::size_t kLine = 68;
    for (std::size_t i = 0; i < b64.size(); i += kLine) {
      indent(depth);
      out_.append(b64, i, kLine);
      out_ += '\n';
    }
    indent(depth);
    out_ += "</data>\n";
  }

  // `s` has passed firstUnwritable(): every unit is one XML can carry.
  void text(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (c < 0x80) {
        switch (c) {
          case '&': out_ += "&amp;"; break;
          case '<': out_ += "&lt;"; break;
          case '>': out_ += "&gt;"; break;
          case '\r': out_ += "&#13;"; break;
          default: out_ += static_cast<char>(c);
        }
      } else if (isHighSurrogate(c) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
        appendUtf8(out_, combineSurrogates(c, s[i + 1]));
        ++i;
      } else {
        appendUtf8(out_, c);
      }
    }
  }
};

constexpr const char* kProlog =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

bool write(const Value& root, std::string& out, const TextSink* sink, std::string* reason) {
  if (const auto unwritable = findXmlUnwritable(root)) {
    if (reason != nullptr) *reason = describe(*unwritable);
    return false;
  }
  out += kProlog;
  Writer writer(out, sink);
  writer.value(root, 0);
  if (writer.ok()) out += "</plist>\n";
  const bool ok = writer.finish();
  if (!ok && reason != nullptr) reason->clear();
  return ok;
}

}  // namespace

std::optional<XmlUnwritable> findXmlUnwritable(const Value& root) { return find(root); }

std::string describe(const XmlUnwritable& unwritable) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(unwritable.character));
  std::string text = code;
  text += unwritable.path.empty() ? " in the root string" : " at " + unwritable.path;
  return text + " cannot be written in XML 1.0";
}

std::optional<std::string> writeXmlPropertyList(const Value& root, std::string* reason) {
  std::string out;
  if (!write(root, out, nullptr, reason)) return std::nullopt;
  return out;
}

bool writeXmlPropertyList(const Value& root, const TextSink& sink, std::string* reason) {
  std::string buffer;
  buffer.reserve(kTextSinkPiece + 4096);
  return write(root, buffer, &sink, reason);
}

}  // namespace fw::plist
