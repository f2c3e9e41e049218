#pragma once

// A set of UTF-16 code units. Membership is tested one code unit at a time,
// so a character outside the Basic Multilingual Plane is never a member of
// a set (its surrogate units are tested on their own). Copying is cheap
// enough (8 KiB) but the named sets are shared, built once per process.

#include <array>
#include <cstdint>
#include <string_view>

namespace fw {

class CharacterSet {
 public:
  CharacterSet() = default;

  // The set holding exactly the code units of `characters`: "\n\r" gives
  // the set of LF and CR.
  [[nodiscard]] static CharacterSet characterSetWithCharactersInString(
      std::u16string_view characters);

  // Space, line and paragraph separators plus the controls U+0009..U+000D and
  // U+0085: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A,
  // U+2028, U+2029, U+202F, U+205F, U+3000. U+180E (a separator only before
  // Unicode 6.3) is not a member.
  [[nodiscard]] static const CharacterSet& whitespaceAndNewlineCharacterSet();

  // LF and CR and nothing else; U+0085, U+2028, U+2029, VT and FF are not
  // members.
  [[nodiscard]] static const CharacterSet& lineBreakPairCharacterSet();

  [[nodiscard]] bool characterIsMember(char16_t c) const {
    return (bits_[c >> 6] >> (c & 63)) & 1u;
  }

  void addCharacter(char16_t c) { bits_[c >> 6] |= std::uint64_t{1} << (c & 63); }
  void addRange(char16_t first, char16_t last);

 private:
  std::array<std::uint64_t, 1024> bits_{};
};

}  // namespace fw
