#include "platform/plist/json_writer.h"

#include <cmath>
#include <cstdio>

#include "platform/plist/xml_text.h"

namespace fw::plist {
namespace {

void appendUtf8(std::string& out, char32_t cp) {
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

void escape(std::string& out, char16_t unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
  out += buf;
}

void string(std::string& out, std::u16string_view s) {
  out += '"';
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20) {
      escape(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
               s[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      escape(out, c);
    } else {
      appendUtf8(out, c);
    }
  }
  out += '"';
}

void finiteReal(std::string& out, double d) {
  std::string text = formatReal(d);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  out += text;
}

void value(std::string& out, const Value& v, int depth) {
  const auto newline = [&](int d) {
    out += '\n';
    out.append(static_cast<std::size_t>(d) * 2, ' ');
  };
  switch (v.kind()) {
    case Kind::Boolean: out += *v.asBoolean() ? "true" : "false"; return;
    case Kind::Integer:
      out += v.isBigUnsigned() ? std::to_string(*v.asUnsigned()) : std::to_string(*v.asInteger());
      return;
    case Kind::Real: {
      const double d = *v.asReal();
      if (std::isfinite(d)) {
        finiteReal(out, d);
      } else {
        out += "{\"$real\": \"";
        out += formatReal(d);
        out += "\"}";
      }
      return;
    }
    case Kind::String: string(out, *v.asString()); return;
    case Kind::Date: {
      const double s = v.asDate()->seconds;
      out += "{\"$date\": ";
      if (std::isfinite(s)) {
        finiteReal(out, s);
      } else {
        out += '"';
        out += formatReal(s);
        out += '"';
      }
      out += "}";
      return;
    }
    case Kind::Data:
      out += "{\"$data\": \"";
      out += encodeBase64(*v.asData());
      out += "\"}";
      return;
    case Kind::Uid:
      out += "{\"$uid\": ";
      out += std::to_string(v.asUid()->value);
      out += "}";
      return;
    case Kind::Array: {
      const Array& a = *v.asArray();
      if (a.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      bool first = true;
      for (const Value& item : a) {
        if (!first) out += ',';
        first = false;
        newline(depth + 1);
        value(out, item, depth + 1);
      }
      newline(depth);
      out += ']';
      return;
    }
    case Kind::Dictionary: {
      const Dictionary& d = *v.asDictionary();
      if (d.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      bool first = true;
      for (const auto& [key, item] : d) {
        if (!first) out += ',';
        first = false;
        newline(depth + 1);
        string(out, key.view());
        out += ": ";
        value(out, item, depth + 1);
      }
      newline(depth);
      out += '}';
      return;
    }
  }
}

}  // namespace

std::string writeJson(const Value& root) {
  std::string out;
  value(out, root, 0);
  out += '\n';
  return out;
}

}  // namespace fw::plist
