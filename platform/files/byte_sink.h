#pragma once

// ByteSink: where a writer hands its output, piece by piece and in order, so
// that a file of megabytes never has to be whole in memory. A sink answers
// false when it cannot take a piece; the writer then stops and fails.
//
//   std::string out;
//   ByteSink sink = [&](std::span<const std::uint8_t> piece) {
//     out.append(reinterpret_cast<const char*>(piece.data()), piece.size());
//     return true;
//   };

#include <cstdint>
#include <functional>
#include <span>

namespace fw {

using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

}  // namespace fw
