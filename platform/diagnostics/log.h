#pragma once

// The log line: one line per call on standard error,
//   YYYY-MM-DD HH:MM:SS.mmm <program>[pid:tid] message
// in local time. Each line reaches the descriptor in one write, so lines
// from several threads never interleave.

#include <initializer_list>
#include <string_view>

namespace fw {

void logLine(std::string_view message);
void logLine(std::u16string_view message);  // unpaired surrogates become U+FFFD

// For fatal-signal handlers: the same line, assembled in a fixed buffer from
// `parts` and written with one write(2), with no allocation and no lock, so
// it is safe even when the signal interrupted malloc or another log line.
// The time is local by the UTC offset fixed by prepareSignalSafeLog(), since
// a handler may not ask the time-zone code; the line is cut at 255 bytes.
//   logLineSignalSafe({"uncaught signal SIG", "SEGV"});
void logLineSignalSafe(std::initializer_list<const char*> parts) noexcept;
// Fixes that UTC offset; call once at start, before any handler can run.
void prepareSignalSafeLog() noexcept;

}  // namespace fw
