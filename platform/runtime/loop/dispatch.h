#pragma once

// What the run loop's queue and its timers share: how a delay in seconds
// becomes microseconds on the loop's clock, and how work they dispatch is
// kept from unwinding through the C frames of the GLib main loop.

#include <cstdint>

typedef struct _GSource GSource;

namespace fw::runtime {

// Beyond about 31 years a delay is as good as never; the cap keeps the sum
// with the monotonic clock far from overflow.
inline constexpr double kMaxDelaySeconds = 1e9;

// `seconds` in whole microseconds, rounded, capped at kMaxDelaySeconds and
// at least `floorUs`; zero, negative and NaN delays give `floorUs`.
//   delayToMicroseconds(0.25, 0) -> 250000     delayToMicroseconds(-1, 100) -> 100
[[nodiscard]] std::int64_t delayToMicroseconds(double seconds, std::int64_t floorUs) noexcept;

// Makes `source` fall due at `due` on the clock in use (clock.h); -1 never.
// Under GLib's clock that is the source's ready time; under a manual clock
// the source's prepare function, sourceIsDue(), decides on each pass.
void setDueTime(GSource* source, std::int64_t due) noexcept;
// Whether work due at `due` is due now under a manual clock; always false
// under GLib's, whose ready times decide by themselves.
[[nodiscard]] bool dueUnderManualClock(std::int64_t due) noexcept;

// Logs the exception in flight as "uncaught exception in <where>: <what()>"
// ("uncaught exception in <where>" for one that is no std::exception). Call
// only inside a catch handler.
void logUncaughtException(const char* where) noexcept;

// Runs `work`; an exception it throws is logged, never propagated.
template <typename Work>
void runGuarded(const char* where, Work&& work) noexcept {
  try {
    work();
  } catch (...) {
    logUncaughtException(where);
  }
}

}  // namespace fw::runtime
