#pragma once

// A timer on the calling thread's run loop (see run_loop.h).
//
// A scheduled timer sends its selector to its target, with the timer itself
// as the one argument, one interval after scheduling and, if it repeats,
// every interval after that. While it is valid the run loop holds the timer
// and the timer holds its target, so neither goes away until invalidate();
// a repeating timer that nobody invalidates fires for as long as its thread
// runs its loop. A timer that does not repeat invalidates itself after it
// fires.
//
// Firings follow the schedule set at creation, not the moment of the last
// firing: when the loop falls behind, the missed firings are skipped and the
// next one lands on the schedule again.
//
// Invalidate a timer on the thread that scheduled it; from another thread
// one firing already under way may still complete.
//
//   auto timer = fw::Timer::scheduledTimerWithTimeInterval(
//       0.5, view, fw::selector(&MyView::blink), nullptr, true);
//   ...
//   timer->invalidate();   // no more firings; view is released

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/runtime/object.h"

typedef struct _GSource GSource;

namespace fw {

class Timer : public Object {
  struct Passkey {};

 public:
  // Intervals at or below zero, and NaN, become a tenth of a millisecond;
  // intervals beyond 1e9 seconds are capped there. A null target or empty
  // selector gives nullptr.
  [[nodiscard]] static std::shared_ptr<Timer> scheduledTimerWithTimeInterval(
      double interval, std::shared_ptr<Object> target, Selector selector,
      std::shared_ptr<Object> userInfo, bool repeats);

  Timer(Passkey, double interval, std::shared_ptr<Object> target, Selector selector,
        std::shared_ptr<Object> userInfo, bool repeats);
  ~Timer() override;

  // Stops the timer for good and releases its target and user info. Safe to
  // call more than once, and from inside the timer's own selector.
  void invalidate();

  [[nodiscard]] bool isValid() const;
  // The interval in seconds, after the adjustments above.
  [[nodiscard]] double timeInterval() const { return static_cast<double>(intervalUs_) / 1e6; }
  [[nodiscard]] bool repeats() const { return repeats_; }
  // What the creator passed; nullptr once the timer is invalid.
  [[nodiscard]] std::shared_ptr<Object> userInfo() const;
  [[nodiscard]] std::u16string description() const override;

 private:
  struct Source;
  friend struct Source;
  void fire();

  const std::int64_t intervalUs_;
  const bool repeats_;
  std::int64_t nextFireUs_ = 0;  // on the monotonic clock, touched by the loop's thread only
  mutable std::mutex mutex_;
  bool valid_ = true;
  std::shared_ptr<Object> target_;
  Selector selector_;
  std::shared_ptr<Object> userInfo_;
  GSource* source_ = nullptr;  // owned while valid
};

}  // namespace fw
