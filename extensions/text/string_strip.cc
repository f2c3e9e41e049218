#include "extensions/text/string_strip.h"

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

std::u16string_view trimmedView(std::u16string_view s) {
  const CharacterSet& space = CharacterSet::whitespaceAndNewlineCharacterSet();
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && space.characterIsMember(s[begin])) ++begin;
  while (end > begin && space.characterIsMember(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

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

}  // namespace fw
