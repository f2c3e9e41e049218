#include "platform/strings/character_set.h"

namespace fw {

CharacterSet CharacterSet::characterSetWithCharactersInString(std::u16string_view characters) {
  CharacterSet set;
  for (char16_t c : characters) set.addCharacter(c);
  return set;
}

void CharacterSet::addRange(char16_t first, char16_t last) {
  for (char32_t c = first; c <= last; ++c) addCharacter(static_cast<char16_t>(c));
}

const CharacterSet& CharacterSet::whitespaceAndNewlineCharacterSet() {
  static const CharacterSet set = [] {
    CharacterSet s;
    s.addRange(u'\u0009', u'\u000D');
    s.addCharacter(u'\u0020');
    s.addCharacter(u'\u0085');
    s.addCharacter(u'\u00A0');
    s.addCharacter(u'\u1680');
    s.addRange(u'\u2000', u'\u200A');
    s.addCharacter(u'\u2028');
    s.addCharacter(u'\u2029');
    s.addCharacter(u'\u202F');
    s.addCharacter(u'\u205F');
    s.addCharacter(u'\u3000');
    return s;
  }();
  return set;
}

const CharacterSet& CharacterSet::lineBreakPairCharacterSet() {
  static const CharacterSet set = characterSetWithCharactersInString(u"\n\r");
  return set;
}

}  // namespace fw
