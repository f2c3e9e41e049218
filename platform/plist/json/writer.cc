#include "platform/plist/json/writer.h"

#include <cmath>
#include <cstdio>

#include "platform/plist/xml/text.h"
#include "platform/strings/unicode.h"

namespace fw::plist {
namespace {

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
    } else if (isHighSurrogate(c) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
      appendUtf8(out, combineSurrogates(c, s[i + 1]));
      ++i;
    } else if (isSurrogate(c)) {
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

// Writes into `out`; with a sink, hands `out` over whenever it has grown
// past a piece, between elements, and stops once the sink says so.
class Writer : public TextSinkBuffer {
 public:
  using TextSinkBuffer::TextSinkBuffer;

  void value(const Value& v, int depth) {
    const auto newline = [&](int d) {
      out_ += '\n';
      out_.append(static_cast<std::size_t>(d) * 2, ' ');
    };
    switch (v.kind()) {
      case Kind::Boolean: out_ += *v.asBoolean() ? "true" : "false"; return;
      case Kind::Integer: out_ += formatInteger(v); return;
      case Kind::Real: {
        const double d = *v.asReal();
        if (std::isfinite(d)) {
          finiteReal(out_, d);
        } else {
          out_ += "{\"$real\": \"";
          out_ += formatReal(d);
          out_ += "\"}";
        }
        return;
      }
      case Kind::String: string(out_, *v.asString()); return;
      case Kind::Date: {
        const double s = v.asDate()->seconds;
        out_ += "{\"$date\": ";
        if (std::isfinite(s)) {
          finiteReal(out_, s);
        } else {
          out_ += '"';
          out_ += formatReal(s);
          out_ += '"';
        }
        out_ += "}";
        return;
      }
      case Kind::Data:
        out_ += "{\"$data\": \"";
        out_ += encodeBase64(*v.asData());
        out_ += "\"}";
        return;
      case Kind::Uid:
        out_ += "{\"$uid\": ";
        out_ += std::to_string(v.asUid()->value);
        out_ += "}";
        return;
      case Kind::Array: {
        const Array& a = *v.asArray();
        if (a.empty()) {
          out_ += "[]";
          return;
        }
        out_ += '[';
        bool first = true;
        for (const Value& item : a) {
          if (!first) out_ += ',';
          first = false;
          newline(depth + 1);
          value(item, depth + 1);
          if (!spill()) return;
        }
        newline(depth);
        out_ += ']';
        return;
      }
      case Kind::Dictionary: {
        const Dictionary& d = *v.asDictionary();
        if (d.empty()) {
          out_ += "{}";
          return;
        }
        out_ += '{';
        bool first = true;
        for (const auto& [key, item] : d) {
          if (!first) out_ += ',';
          first = false;
          newline(depth + 1);
          string(out_, key.view());
          out_ += ": ";
          value(item, depth + 1);
          if (!spill()) return;
        }
        newline(depth);
        out_ += '}';
        return;
      }
    }
  }
};

}  // namespace

std::string writeJson(const Value& root) {
  std::string out;
  Writer(out, nullptr).value(root, 0);
  out += '\n';
  return out;
}

bool writeJson(const Value& root, const TextSink& sink) {
  std::string buffer;
  buffer.reserve(kTextSinkPiece + 4096);
  Writer writer(buffer, &sink);
  writer.value(root, 0);
  if (writer.ok()) buffer += '\n';
  return writer.finish();
}

}  // namespace fw::plist
