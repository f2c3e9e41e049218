#include "extensions/text/markup/soft_hyphens.h"

namespace fw {

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
