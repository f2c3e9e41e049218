#include "extensions/text/replace/string_replace.h"

#include <stdexcept>

#include "extensions/text/replace/mutable_string_replace.h"
#include "extensions/text/replace/replace_internal.h"
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
