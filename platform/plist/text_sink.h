#pragma once

// Where a writer's text goes when it is not built up whole: the writer
// hands over one piece at a time, each about kTextSinkPiece bytes, in order.
// A sink answers false to stop the writer; it is then handed nothing more.

#include <cstddef>
#include <functional>
#include <string_view>

namespace fw::plist {

using TextSink = std::function<bool(std::string_view piece)>;

inline constexpr std::size_t kTextSinkPiece = 64 * 1024;

}  // namespace fw::plist
