#pragma once

// A span of a string: a location and a length, both counted in UTF-16 code
// units. A location of NSNotFound means that nothing was found, for example
// {NSNotFound, 0} from a search that failed.

#include <cstdint>

namespace fw {

inline constexpr std::uint32_t NSNotFound = 2147483647;

struct Range {
  std::uint32_t location = 0;
  std::uint32_t length = 0;

  friend bool operator==(const Range&, const Range&) = default;
};

}  // namespace fw
