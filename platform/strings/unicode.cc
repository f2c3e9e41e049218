#include "platform/strings/unicode.h"

#include <cstdint>
#include <cstring>

namespace fw {
namespace {

// Decodes one scalar value starting at s[i]. On success stores it in `cp`
// and returns the sequence length; on failure returns the length of the
// maximal subpart to replace (at least 1) and sets `cp` to -1.
inline std::size_t decodeOne(std::string_view s, std::size_t i, char32_t& cp, bool& ok) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  ok = false;
  if (b0 < 0x80) {
    cp = b0;
    ok = true;
    return 1;
  }
  std::size_t need;
  char32_t value;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  std::size_t k = 1;
  for (; k <= need; ++k) {
    if (i + k >= s.size()) return k;
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < lo || b > hi) return k;
    lo = 0x80;
    hi = 0xBF;
    value = (value << 6) | (b & 0x3F);
  }
  cp = value;
  ok = true;
  return need + 1;
}

inline void appendScalar(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Converts, stopping at the first error unless `lossy`. Returns success.
bool convert(std::u16string& out, std::string_view s, bool lossy) {
  out.reserve(out.size() + s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    // Runs of ASCII are the common case in paths and XML text.
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) {
      out.push_back(static_cast<char16_t>(s[i]));
      ++i;
    }
    if (i >= s.size()) break;
    char32_t cp = 0;
    bool ok;
    const std::size_t n = decodeOne(s, i, cp, ok);
    if (ok) {
      appendScalar(out, cp);
    } else if (lossy) {
      out.push_back(kReplacementCharacter);
    } else {
      return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  if (!convert(out, utf8, false)) return std::nullopt;
  return out;
}

std::u16string utf8ToUtf16Lossy(std::string_view utf8) {
  std::u16string out;
  convert(out, utf8, true);
  return out;
}

bool appendUtf8ToUtf16(std::u16string& out, std::string_view utf8) {
  const std::size_t before = out.size();
  if (convert(out, utf8, false)) return true;
  out.resize(before);
  return false;
}

void appendUtf8ToUtf16Lossy(std::u16string& out, std::string_view utf8) {
  convert(out, utf8, true);
}

bool isAscii(std::string_view bytes) noexcept {
  std::uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    high |= word;
  }
  for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
  return (high & 0x8080808080808080ull) == 0;
}

bool isValidUtf8(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp;
    bool ok;
    i += decodeOne(utf8, i, cp, ok);
    if (!ok) return false;
  }
  return true;
}

namespace {
bool convert(std::string& out, std::u16string_view s, bool lossy) {
  out.reserve(out.size() + s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (isSurrogate(c)) {
      if (isHighSurrogate(c) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
        c = combineSurrogates(s[i], s[i + 1]);
        ++i;
      } else if (lossy) {
        c = kReplacementCharacter;
      } else {
        return false;
      }
    }
    appendUtf8(out, c);
  }
  return true;
}
}  // namespace

std::optional<std::string> utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  if (!convert(out, utf16, false)) return std::nullopt;
  return out;
}

std::string utf16ToUtf8Lossy(std::u16string_view utf16) {
  std::string out;
  convert(out, utf16, true);
  return out;
}

void appendUtf16ToUtf8Lossy(std::string& out, std::u16string_view utf16) {
  convert(out, utf16, true);
}

std::u16string asciiToUtf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace fw
