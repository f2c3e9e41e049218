#include "platform/plist/xml_writer.h"

#include "platform/plist/xml_text.h"

namespace fw::plist {
namespace {

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void value(const Value& v, int depth) {
    indent(depth);
    switch (v.kind()) {
      case Kind::Boolean: out_ += *v.asBoolean() ? "<true/>\n" : "<false/>\n"; return;
      case Kind::Integer:
        out_ += "<integer>";
        out_ += v.isBigUnsigned() ? std::to_string(*v.asUnsigned()) : std::to_string(*v.asInteger());
        out_ += "</integer>\n";
        return;
      case Kind::Real:
        out_ += "<real>" + formatReal(*v.asReal()) + "</real>\n";
        return;
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
        for (const Value& item : a) value(item, depth + 1);
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

  void text(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (c < 0x80) {
        switch (c) {
          case '&': out_ += "&amp;"; break;
          case '<': out_ += "&lt;"; break;
          case '>': out_ += "&gt;"; break;
          case '\r': out_ += "&#13;"; break;
          case '\t':
          case '\n': out_ += static_cast<char>(c); break;
          default:
            if (c < 0x20 || c == 0x7F) {
              if (c == 0x7F) {
                out_ += static_cast<char>(c);  // DEL is allowed in XML 1.0
              } else {
                utf8(0xFFFD);
              }
            } else {
              out_ += static_cast<char>(c);
            }
        }
      } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                 s[i + 1] <= 0xDFFF) {
        utf8(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
        ++i;
      } else if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
        utf8(0xFFFD);
      } else {
        utf8(c);
      }
    }
  }

  void utf8(char32_t cp) {
    if (cp < 0x80) {
      out_ += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out_ += static_cast<char>(0xC0 | (cp >> 6));
      out_ += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out_ += static_cast<char>(0xE0 | (cp >> 12));
      out_ += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out_ += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out_ += static_cast<char>(0xF0 | (cp >> 18));
      out_ += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out_ += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out_ += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string& out_;
};

}  // namespace

std::string writeXmlPropertyList(const Value& root) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  Writer(out).value(root, 0);
  out += "</plist>\n";
  return out;
}

}  // namespace fw::plist
