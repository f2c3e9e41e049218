// plist-convert --binary|--json IN OUT
//
// Reads IN (a binary property list, or XML once an XML reader is available)
// and writes OUT with our binary writer (--binary) or as tagged JSON (--json)
// that keeps every kind and bit apart, for the round-trip tests:
//
//   true                  {"int": "-5"}           {"real": "3ff0000000000000"}
//   "text"                {"date": "<bits>"}      {"data": "00ff"}
//   {"uid": "7"}          [ ... ]                 {"dict": [["key", value], ...]}
//
// Exits 1 with the reader's or writer's reason on stderr.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/plist/binary/reader.h"
#include "platform/plist/binary/writer.h"
#if __has_include("platform/plist/xml/expat_reader.h")
#include "platform/plist/xml/expat_reader.h"
#define FW_HAVE_XML_READER 1
#endif

namespace {

using fw::plist::Kind;
using fw::plist::Value;

void appendHex(std::string& out, const std::uint8_t* p, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(digits[p[i] >> 4]);
    out.push_back(digits[p[i] & 15]);
  }
}

void appendBits(std::string& out, double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  std::uint8_t be[8];
  for (int i = 0; i < 8; ++i) be[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  appendHex(out, be, 8);
}

void appendString(std::string& out, std::u16string_view s) {
  out.push_back('"');
  char buf[8];
  for (char16_t c : s) {
    if (c == u'"' || c == u'\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  out.push_back('"');
}

void appendJson(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Kind::Boolean: out += *v.asBoolean() ? "true" : "false"; break;
    case Kind::Integer:
      out += "{\"int\": \"";
      out += v.isBigUnsigned() ? std::to_string(*v.asUnsigned()) : std::to_string(*v.asInteger());
      out += "\"}";
      break;
    case Kind::Real:
      out += "{\"real\": \"";
      appendBits(out, *v.asReal());
      out += "\"}";
      break;
    case Kind::Date:
      out += "{\"date\": \"";
      appendBits(out, v.asDate()->seconds);
      out += "\"}";
      break;
    case Kind::String: appendString(out, *v.asString()); break;
    case Kind::Data: {
      auto d = *v.asData();
      out += "{\"data\": \"";
      appendHex(out, d.data(), d.size());
      out += "\"}";
      break;
    }
    case Kind::Uid: out += "{\"uid\": \"" + std::to_string(v.asUid()->value) + "\"}"; break;
    case Kind::Array: {
      out.push_back('[');
      bool first = true;
      for (const Value& item : *v.asArray()) {
        if (!first) out += ", ";
        first = false;
        appendJson(out, item);
      }
      out.push_back(']');
      break;
    }
    case Kind::Dictionary: {
      out += "{\"dict\": [";
      bool first = true;
      for (const auto& [key, value] : *v.asDictionary()) {
        if (!first) out += ", ";
        first = false;
        out.push_back('[');
        appendString(out, key.view());
        out += ", ";
        appendJson(out, value);
        out.push_back(']');
      }
      out += "]}";
      break;
    }
  }
}

int usage() {
  std::fprintf(stderr, "usage: plist-convert --binary|--json IN OUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  const std::string mode = argv[1];
  if (mode != "--binary" && mode != "--json") return usage();
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "plist-convert: cannot open %s\n", argv[2]);
    return 1;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  std::string reason;
  std::optional<Value> root;
  if (fw::plist::looksLikeBinaryPropertyList(bytes)) {
    root = fw::plist::readBinaryPropertyList(bytes, &reason);
  } else {
#ifdef FW_HAVE_XML_READER
    root = fw::plist::readXmlPropertyList(bytes, &reason);
#else
    reason = "no XML reader in this build";
#endif
  }
  if (!root) {
    std::fprintf(stderr, "plist-convert: %s: %s\n", argv[2], reason.c_str());
    return 1;
  }
  std::string out;
  if (mode == "--json") {
    appendJson(out, *root);
    out.push_back('\n');
  } else {
    auto written = fw::plist::writeBinaryPropertyList(*root, &reason);
    if (!written) {
      std::fprintf(stderr, "plist-convert: %s\n", reason.c_str());
      return 1;
    }
    out.assign(written->begin(), written->end());
  }
  std::ofstream file(argv[3], std::ios::binary);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  return file ? 0 : 1;
}
