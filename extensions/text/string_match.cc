#include "extensions/text/string_match.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <stdexcept>
#include <string>

#include "extensions/text/substring_search.h"

namespace fw {
namespace {

// Full default case folding of `s` (ICU), sized by a first pass.
std::u16string foldCase(std::u16string_view s) {
  if (s.empty()) return {};
  const auto* src = reinterpret_cast<const UChar*>(s.data());
  const auto length = static_cast<int32_t>(s.size());
  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = u_strFoldCase(nullptr, 0, src, length, U_FOLD_CASE_DEFAULT, &status);
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  u_strFoldCase(reinterpret_cast<UChar*>(out.data()), needed, src, length, U_FOLD_CASE_DEFAULT,
                &status);
  return out;
}

}  // namespace

bool hasSubstring(std::u16string_view s, std::optional<std::u16string_view> sub) {
  if (!sub) throw std::invalid_argument("hasSubstring: absent search string");
  if (sub->empty()) return false;
  return text_internal::SubstringFinder(*sub).find(s) != text_internal::SubstringFinder::npos;
}

bool hasSubstringCaseInsensitive(std::u16string_view s, std::optional<std::u16string_view> sub) {
  if (!sub || sub->empty()) return true;
  const std::u16string needle = foldCase(*sub);
  const std::u16string haystack = foldCase(s);
  if (needle.empty()) return true;  // defensive: folding never empties a text
  return text_internal::SubstringFinder(needle).find(haystack) !=
         text_internal::SubstringFinder::npos;
}

}  // namespace fw
