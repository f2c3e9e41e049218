#include "extensions/text/string_data.h"

#include "platform/strings/character_set.h"
#include "platform/strings/unicode.h"

namespace fw {

std::optional<std::u16string> stringWithData(std::span<const std::uint8_t> bytes) {
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (auto text = utf8ToUtf16(view)) return text;
  // The strict 7-bit fallback: every byte below 0x80. Such bytes are valid
  // UTF-8 and were accepted above, so this step never accepts anything new;
  // it is kept so that the order of the two decoders stays explicit.
  for (std::uint8_t b : bytes) {
    if (b >= 0x80) return std::nullopt;
  }
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = bytes[i];
  return text;
}

std::vector<std::uint8_t> data(std::u16string_view s) {
  std::vector<std::uint8_t> out(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    out[i] = s[i] < 0x80 ? static_cast<std::uint8_t>(s[i]) : std::uint8_t{'?'};
  }
  return out;
}

std::vector<std::uint8_t> dataUTF8(std::u16string_view s) {
  const std::string utf8 = utf16ToUtf8Lossy(s);
  return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
}

std::int32_t intValue(std::u16string_view s) {
  const CharacterSet& space = CharacterSet::whitespaceAndNewlineCharacterSet();
  std::size_t i = 0;
  while (i < s.size() && space.characterIsMember(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
    negative = s[i] == u'-';
    ++i;
  }
  // Accumulate the magnitude, saturating just past the 32-bit range so that
  // arbitrarily long digit runs cannot overflow.
  constexpr std::int64_t kCap = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (s[i] - u'0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

std::int8_t boolValue(std::u16string_view s) {
  const auto low = static_cast<std::uint8_t>(static_cast<std::uint32_t>(intValue(s)) & 0xFFu);
  return static_cast<std::int8_t>(low);
}

}  // namespace fw
