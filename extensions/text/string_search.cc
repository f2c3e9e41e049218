// Substring tests and replacement.

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <stdexcept>

#include "extensions/text/mutable_string_replace.h"
#include "extensions/text/replace_internal.h"
#include "extensions/text/string_extensions.h"
#include "extensions/text/substring_search.h"

namespace fw {
namespace text_internal {

std::uint32_t replaceAll(std::u16string_view s, std::u16string_view target,
                         std::u16string_view replacement, std::u16string& out) {
  if (target.empty() || target.size() > s.size()) return 0;
  const SubstringFinder finder(target);
  std::size_t count = 0;
  for (std::size_t at = finder.find(s); at != SubstringFinder::npos;
       at = finder.find(s, at + target.size())) {
    ++count;
  }
  if (count == 0) return 0;
  std::u16string result;
  result.reserve(s.size() - count * target.size() + count * replacement.size());
  std::size_t copied = 0;
  for (std::size_t at = finder.find(s); at != SubstringFinder::npos;
       at = finder.find(s, at + target.size())) {
    result.append(s.substr(copied, at - copied));
    result.append(replacement);
    copied = at + target.size();
  }
  result.append(s.substr(copied));
  out = std::move(result);
  return static_cast<std::uint32_t>(count);
}

}  // namespace text_internal

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

std::u16string stringByReplacingString(std::u16string_view s,
                                       std::optional<std::u16string_view> target,
                                       std::optional<std::u16string_view> replacement) {
  if (!target || !replacement) {
    throw std::invalid_argument("stringByReplacingString: absent target or replacement");
  }
  std::u16string out;
  if (text_internal::replaceAll(s, *target, *replacement, out) == 0) out.assign(s);
  return out;
}

void appendStringA(std::u16string& s, std::optional<std::u16string_view> tail) {
  if (tail && !tail->empty()) s.append(*tail);
}

std::uint32_t replaceOccurrencesOfString(std::u16string& s,
                                         std::optional<std::u16string_view> target,
                                         std::optional<std::u16string_view> replacement) {
  if (!target || !replacement) return 0;
  std::u16string out;
  const std::uint32_t count = text_internal::replaceAll(s, *target, *replacement, out);
  if (count > 0) s = std::move(out);
  return count;
}

}  // namespace fw
