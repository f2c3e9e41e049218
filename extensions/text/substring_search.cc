#include "extensions/text/substring_search.h"

namespace fw::text_internal {

SubstringFinder::SubstringFinder(std::u16string_view needle) : needle_(needle) {
  if (needle_.size() < 2) return;
  failure_.assign(needle_.size(), 0);
  std::uint32_t k = 0;
  for (std::size_t i = 1; i < needle_.size(); ++i) {
    while (k > 0 && needle_[i] != needle_[k]) k = failure_[k - 1];
    if (needle_[i] == needle_[k]) ++k;
    failure_[i] = k;
  }
}

std::size_t SubstringFinder::find(std::u16string_view haystack, std::size_t from) const {
  const std::size_t m = needle_.size();
  const std::size_t n = haystack.size();
  if (m == 0 || from > n || n - from < m) return npos;
  if (m == 1) return haystack.find(needle_[0], from);
  std::size_t matched = 0;
  for (std::size_t i = from; i < n; ++i) {
    if (matched == 0) {
      // Skip straight to the next candidate start.
      i = haystack.find(needle_[0], i);
      if (i == npos || n - i < m) return npos;
      matched = 1;
      continue;
    }
    while (matched > 0 && haystack[i] != needle_[matched]) matched = failure_[matched - 1];
    if (haystack[i] == needle_[matched]) ++matched;
    if (matched == m) return i + 1 - m;
  }
  return npos;
}

}  // namespace fw::text_internal
