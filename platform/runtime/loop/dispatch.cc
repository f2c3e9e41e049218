#include "platform/runtime/loop/dispatch.h"

#include <cmath>
#include <exception>
#include <string>

#include <glib.h>

#include "platform/diagnostics/log.h"
#include "platform/runtime/loop/clock.h"

namespace fw::runtime {

std::int64_t delayToMicroseconds(double seconds, std::int64_t floorUs) noexcept {
  if (!(seconds > 0.0)) return floorUs;  // zero, negative and NaN
  if (seconds > kMaxDelaySeconds) seconds = kMaxDelaySeconds;
  const auto us = static_cast<std::int64_t>(std::llround(seconds * 1e6));
  return us < floorUs ? floorUs : us;
}

void setDueTime(GSource* source, std::int64_t due) noexcept {
  g_source_set_ready_time(source, manualClock() != nullptr ? -1 : due);
}

bool dueUnderManualClock(std::int64_t due) noexcept {
  const ManualClock* clock = manualClock();
  return clock != nullptr && due >= 0 && due <= clock->now();
}

void logUncaughtException(const char* where) noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      logLine(std::string("uncaught exception in ") + where + ": " + e.what());
    } catch (...) {
      logLine(std::string("uncaught exception in ") + where);
    }
  } catch (...) {
    // Out of memory while logging: nothing more can be said.
  }
}

}  // namespace fw::runtime
