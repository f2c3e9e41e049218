#include "platform/runtime/loop/clock.h"

#include <glib.h>

namespace fw {
namespace {

std::atomic<const ManualClock*> inUse{nullptr};

}  // namespace

namespace runtime {

const ManualClock* manualClock() noexcept { return inUse.load(std::memory_order_acquire); }

std::int64_t nowMicroseconds() noexcept {
  const ManualClock* clock = manualClock();
  return clock != nullptr ? clock->now() : g_get_monotonic_time();
}

}  // namespace runtime

ScopedRunLoopClock::ScopedRunLoopClock(const ManualClock& clock) noexcept
    : previous_(inUse.exchange(&clock, std::memory_order_acq_rel)) {}

ScopedRunLoopClock::~ScopedRunLoopClock() { inUse.store(previous_, std::memory_order_release); }

}  // namespace fw
