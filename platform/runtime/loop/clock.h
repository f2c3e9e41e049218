#pragma once

// The clock the run loop's delayed messages and the timers count on:
// microseconds on GLib's monotonic clock, unless a test sets a manual clock,
// which stands still until it is advanced. Under a manual clock, work falls
// due only when the clock passes its time and the loop next runs, so a test
// of a ten-second delay takes no time at all:
//
//   fw::ManualClock clock;
//   fw::ScopedRunLoopClock use(clock);
//   fw::performSelector(view, message, 10.0);
//   clock.advance(10'000'000);
//   fw::RunLoop::runPending();           // sends message

#include <atomic>
#include <cstdint>

namespace fw {

class ManualClock {
 public:
  [[nodiscard]] std::int64_t now() const noexcept { return now_.load(std::memory_order_acquire); }
  void advance(std::int64_t microseconds) noexcept {
    now_.fetch_add(microseconds, std::memory_order_acq_rel);
  }

 private:
  std::atomic<std::int64_t> now_{1'000'000};
};

namespace runtime {

// The manual clock in use, or nullptr for GLib's monotonic clock.
[[nodiscard]] const ManualClock* manualClock() noexcept;
// Now on the clock in use.
[[nodiscard]] std::int64_t nowMicroseconds() noexcept;

}  // namespace runtime

// Puts `clock` in use for every thread's run loop while it lives. Set it
// before queueing the work it is to govern, and let it end only once that
// work is sent, cancelled or invalidated.
class ScopedRunLoopClock {
 public:
  explicit ScopedRunLoopClock(const ManualClock& clock) noexcept;
  ~ScopedRunLoopClock();
  ScopedRunLoopClock(const ScopedRunLoopClock&) = delete;
  ScopedRunLoopClock& operator=(const ScopedRunLoopClock&) = delete;

 private:
  const ManualClock* previous_;
};

}  // namespace fw
