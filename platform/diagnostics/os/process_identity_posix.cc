// BSD and macOS: getprogname(), and the main thread as the one that ran
// the static initialisers.

#include <pthread.h>
#include <stdlib.h>

#include <cstdint>

#include "platform/diagnostics/process_identity.h"

namespace fw {
namespace {

const pthread_t mainThread = ::pthread_self();

}  // namespace

const char* programShortName() noexcept { return ::getprogname(); }

long currentThreadId() noexcept {
  return static_cast<long>(reinterpret_cast<std::uintptr_t>(::pthread_self()));
}

bool isMainThread() noexcept { return ::pthread_equal(::pthread_self(), mainThread) != 0; }

}  // namespace fw
