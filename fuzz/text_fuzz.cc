// Feeds arbitrary UTF-16 to every text operation, and checks that percent
// escapes round-trip and that an XML parser reads escaped text back
// unchanged. An input whose first byte is odd is taken as UTF-16 (two bytes
// per code unit, unpaired surrogates included); any other input is decoded
// as UTF-8, so that seeds of real markup (which begin with '<') reach the
// entity, tag and escape paths as text rather than as noise.

#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "extensions/text/replace/mutable_string_replace.h"
#include "extensions/text/string_data.h"
#include "extensions/text/string_extensions.h"
#include "platform/strings/unicode.h"

namespace {

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The characters XML 1.0 carries literally in element content: its Char
// production minus CR, which end-of-line handling turns into LF.
std::u16string xmlCarriable(std::u16string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (isHigh(c) && i + 1 < s.size() && isLow(s[i + 1])) {
      out.push_back(c);
      out.push_back(s[++i]);
    } else if (c == 0x9 || c == 0xA || (c >= 0x20 && c < 0xD800) || (c >= 0xE000 && c <= 0xFFFD)) {
      out.push_back(c);
    }
  }
  return out;
}

bool hasUnpairedSurrogate(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (isHigh(s[i]) && i + 1 < s.size() && isLow(s[i + 1])) {
      ++i;
    } else if (isHigh(s[i]) || isLow(s[i])) {
      return true;
    }
  }
  return false;
}

void checkXmlRoundTrip(std::u16string_view text) {
  const std::u16string escaped = fw::xmlEscapedString(text);
  const std::string doc = "<r>" + fw::utf16ToUtf8(escaped).value() + "</r>";
  std::string content;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &content);
  XML_SetCharacterDataHandler(parser, [](void* user, const XML_Char* s, int len) {
    static_cast<std::string*>(user)->append(s, static_cast<std::size_t>(len));
  });
  const bool ok = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok || fw::utf8ToUtf16(content) != std::u16string(text)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::u16string s;
  if (size > 0 && (bytes[0] & 1) != 0) {
    s.assign((size - 1) / 2, u'\0');
    for (std::size_t i = 0; i < s.size(); ++i) {
      s[i] = static_cast<char16_t>(bytes[1 + 2 * i] | (bytes[2 + 2 * i] << 8));
    }
  } else {
    s = fw::utf8ToUtf16Lossy(std::string_view(reinterpret_cast<const char*>(bytes), size));
  }
  const std::u16string_view half = std::u16string_view(s).substr(0, s.size() / 2);
  const std::u16string_view rest = std::u16string_view(s).substr(s.size() / 2);
  const std::u16string_view marker = rest.substr(0, 3);
  const std::u16string_view tail = marker.substr(marker.empty() ? 0 : 1);

  (void)fw::stringWithData(std::span<const std::uint8_t>(bytes, size));
  (void)fw::data(s);
  (void)fw::dataUTF8(s);
  (void)fw::boolValue(s);
  const fw::CharacterSet markerSet = fw::CharacterSet::characterSetWithCharactersInString(marker);
  (void)fw::stringByStrippingCharactersInSet(s, &markerSet);
  (void)fw::stringByStrippingWhitespace(s);
  (void)fw::stringByStrippingNewlines(s);
  (void)fw::trimmedString(s);
  (void)fw::stringByRemovingWhitespaceAndNewlines(s);
  (void)fw::hasSubstring(half, marker);
  (void)fw::hasSubstringCaseInsensitive(half, marker);
  (void)fw::stringByReplacingString(half, marker, rest);
  (void)fw::stringByAddingSoftHyphens(half);
  std::u16string mutated(half);
  fw::appendStringA(mutated, marker);
  (void)fw::replaceOccurrencesOfString(mutated, marker, half);

  const fw::Range range = fw::rangeBetween(s, marker.substr(0, 1), tail);
  if (range.location != fw::NSNotFound &&
      (range.location > s.size() || range.length > s.size() - range.location)) {
    std::abort();
  }
  (void)fw::substringBetween(s, std::nullopt, marker);
  (void)fw::substringBetweenTags(s, marker);
  (void)fw::stringByRemovingPrefix(s, marker);
  (void)fw::stringByRemovingSuffix(s, marker);

  (void)fw::stringForHTMLEntity(half);
  (void)fw::stringByRemovingHTMLEntities(s);
  (void)fw::stringByRemovingHTMLTags(s);
  (void)fw::xmlEscapedString(s);
  (void)fw::unescapedString(s);
  const auto escaped = fw::escapedString(s);
  if (escaped.has_value() == hasUnpairedSurrogate(s)) std::abort();
  if (escaped && fw::unescapedString(*escaped) != s) std::abort();
  checkXmlRoundTrip(xmlCarriable(s));
  return 0;
}
