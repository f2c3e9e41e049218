#pragma once

// The log line: one line per call on standard error,
//   YYYY-MM-DD HH:MM:SS.mmm <program>[pid:tid] message
// in local time. Each line reaches the descriptor in one write, so lines
// from several threads never interleave.

#include <string_view>

namespace fw {

void logLine(std::string_view message);
void logLine(std::u16string_view message);  // unpaired surrogates become U+FFFD

}  // namespace fw
