#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <malloc.h>
#include <unistd.h>

#include "platform/log.h"
#include "tool/fw_library_core.h"

namespace {

// Logs the uncaught exception as "<name>: <reason>" and ends with status 1.
[[noreturn]] void onTerminate() {
  if (std::current_exception()) {
    fw::logCaughtException();
  } else {
    fw::logLine("terminate called without an active exception");
  }
  std::_Exit(1);
}

// One line naming the signal, then the default action, so the exit status
// still tells which signal ended the process.
void onFatalSignal(int signal) {
  const char* name = sigabbrev_np(signal);
  std::string line = "uncaught signal SIG";
  line += name ? name : "?";
  fw::logLine(line);
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

int main() {
  // The collections grow by doubling into blocks of many megabytes. A fixed
  // threshold keeps such blocks in their own mappings, so each one given up
  // on growth goes back to the system at once instead of staying resident
  // in the heap; glibc would otherwise raise the threshold after the first.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::set_terminate(onTerminate);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, onFatalSignal);
  fw::FwLibraryCore::traverse();
}
