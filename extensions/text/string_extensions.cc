// Stripping, trimming and soft hyphens.

#include "extensions/text/string_extensions.h"

namespace fw {

std::u16string stringByStrippingCharactersInSet(std::u16string_view s, const CharacterSet* set) {
  if (set == nullptr) return std::u16string(s);
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    if (!set->characterIsMember(c)) out.push_back(c);
  }
  return out;
}

std::u16string stringByStrippingWhitespace(std::u16string_view s) {
  return stringByStrippingCharactersInSet(s, &CharacterSet::whitespaceAndNewlineCharacterSet());
}

std::u16string stringByStrippingNewlines(std::u16string_view s) {
  return stringByStrippingCharactersInSet(s, &CharacterSet::lineBreakPairCharacterSet());
}

namespace {

std::u16string_view trimmedView(std::u16string_view s) {
  const CharacterSet& space = CharacterSet::whitespaceAndNewlineCharacterSet();
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && space.characterIsMember(s[begin])) ++begin;
  while (end > begin && space.characterIsMember(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

}  // namespace

std::u16string trimmedString(std::u16string_view s) { return std::u16string(trimmedView(s)); }

std::u16string stringByRemovingWhitespaceAndNewlines(std::u16string_view s) {
  // Trimming after LF removal equals trimming the LF-free form of the
  // trimmed view, since LF is itself trimmed; so cut the view first and
  // build the result once.
  const std::u16string_view inner = trimmedView(s);
  std::u16string out;
  out.reserve(inner.size());
  for (char16_t c : inner) {
    if (c != u'\n') out.push_back(c);
  }
  return out;
}

std::u16string stringByAddingSoftHyphens(std::u16string_view s) {
  static constexpr std::u16string_view kSoftHyphen = u"&shy;";
  if (s.size() < 2) return std::u16string(s);
  std::u16string out;
  out.reserve(s.size() + (s.size() - 1) * kSoftHyphen.size());
  out.push_back(s[0]);
  for (std::size_t i = 1; i < s.size(); ++i) {
    out.append(kSoftHyphen);
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace fw
