#include "extensions/text/delimited_substrings.h"

#include "extensions/text/substring_search.h"

namespace fw {
namespace {

using text_internal::SubstringFinder;

constexpr Range kNothing{NSNotFound, 0};

std::size_t findFirst(std::u16string_view s, std::u16string_view needle, std::size_t from) {
  if (needle.empty()) return SubstringFinder::npos;
  return SubstringFinder(needle).find(s, from);
}

}  // namespace

Range rangeBetween(std::u16string_view s, std::optional<std::u16string_view> first,
                   std::optional<std::u16string_view> second) {
  const std::size_t length = s.size();
  if (length == 0) return kNothing;
  std::size_t p = 0;
  if (first) {
    if (first->size() >= length) return kNothing;
    const std::size_t at = findFirst(s, *first, 0);
    if (at == SubstringFinder::npos) return kNothing;
    p = at + first->size();
  }
  const auto L = static_cast<std::uint32_t>(length);
  const auto start = static_cast<std::uint32_t>(p);
  if (p == length) return {L, 0};
  std::size_t end = length - 1;
  if (second) {
    const std::size_t at = findFirst(s, *second, p);
    if (at == SubstringFinder::npos) return {start, L - start};
    end = at;
  }
  return {start, static_cast<std::uint32_t>(end - p)};
}

std::optional<std::u16string> substringBetween(std::u16string_view s,
                                               std::optional<std::u16string_view> first,
                                               std::optional<std::u16string_view> second) {
  const Range range = rangeBetween(s, first, second);
  if (range.location == NSNotFound) return std::nullopt;
  return std::u16string(s.substr(range.location, range.length));
}

std::optional<std::u16string> substringBetweenTags(std::u16string_view s, std::u16string_view tag) {
  std::u16string open;
  open.reserve(tag.size() + 2);
  open.append(u"<").append(tag).append(u">");
  std::u16string close;
  close.reserve(tag.size() + 3);
  close.append(u"</").append(tag).append(u">");
  return substringBetween(s, open, close);
}

std::u16string stringByRemovingPrefix(std::u16string_view s,
                                      std::optional<std::u16string_view> prefix) {
  if (prefix && !prefix->empty() && s.starts_with(*prefix)) {
    return std::u16string(s.substr(prefix->size()));
  }
  return std::u16string(s);
}

std::u16string stringByRemovingSuffix(std::u16string_view s,
                                      std::optional<std::u16string_view> suffix) {
  if (suffix && !suffix->empty() && s.ends_with(*suffix)) {
    return std::u16string(s.substr(0, s.size() - suffix->size()));
  }
  return std::u16string(s);
}

}  // namespace fw
