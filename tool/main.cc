#include <csignal>
#include <cstdlib>
#include <exception>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/diagnostics/exception.h"
#include "platform/diagnostics/log.h"
#include "tool/command_line.h"
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

const char* signalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SEGV";
    case SIGBUS: return "BUS";
    case SIGFPE: return "FPE";
    case SIGILL: return "ILL";
    case SIGABRT: return "ABRT";
    default: return "?";
  }
}

// One line naming the signal, then the default action, so the exit status
// still tells which signal ended the process.
void onFatalSignal(int signal) {
  fw::logLineSignalSafe({"uncaught signal SIG", signalName(signal)});
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto status = fw::handleCommandLine(argc, argv)) return *status;
    // The collections grow by doubling into blocks of many megabytes. A fixed
    // threshold keeps such blocks in their own mappings, so each one given up
    // on growth goes back to the system at once instead of staying resident.
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  fw::prepareSignalSafeLog();
  std::set_terminate(onTerminate);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, onFatalSignal);
  fw::FwLibraryCore::traverse();
}
