#pragma once

// Internal: exact code-unit substring search in linear time, shared by the
// text operations. Not installed for outside use.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace fw::text_internal {

// Finds occurrences of one needle, in O(haystack + needle) per scan
// (Knuth-Morris-Pratt, with a fast skip to the needle's first unit).
class SubstringFinder {
 public:
  // `needle` must outlive the finder and must not be empty.
  explicit SubstringFinder(std::u16string_view needle);

  // The index of the first occurrence at or after `from`, or npos.
  [[nodiscard]] std::size_t find(std::u16string_view haystack, std::size_t from = 0) const;

  [[nodiscard]] std::size_t size() const { return needle_.size(); }

  static constexpr std::size_t npos = std::u16string_view::npos;

 private:
  std::u16string_view needle_;
  std::vector<std::uint32_t> failure_;
};

}  // namespace fw::text_internal
