#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <malloc.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/log.h"
#include "tool/command_line.h"
#include "tool/fw_library_core.h"

extern char* program_invocation_short_name;

namespace {

// Seconds east of UTC, fixed at start: the signal handler cannot ask the
// time-zone code, which takes locks.
long utcOffset = 0;

// One log line assembled in a fixed buffer and written with write(2): no
// allocation and no lock, so it is safe in a signal handler even when the
// signal interrupted malloc or another log line.
class SignalSafeLine {
 public:
  void text(const char* s) {
    while (*s != 0 && size_ < sizeof buffer_ - 1) buffer_[size_++] = *s++;
  }
  void number(unsigned long value, int width = 1) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0 && n < 24);
    while (n < width && n < 24) digits[n++] = '0';
    while (n > 0 && size_ < sizeof buffer_ - 1) buffer_[size_++] = digits[--n];
  }
  void emit() {
    buffer_[size_++] = '\n';
    const char* p = buffer_;
    std::size_t left = size_;
    while (left > 0) {
      const ssize_t w = ::write(STDERR_FILENO, p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return;
      p += w;
      left -= static_cast<std::size_t>(w);
    }
  }

 private:
  char buffer_[256];
  std::size_t size_ = 0;
};

// The log line's prefix, "YYYY-MM-DD HH:MM:SS.mmm <program>[pid:tid] ", in
// local time, from the clock alone.
void prefix(SignalSafeLine& line) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long local = static_cast<long long>(now.tv_sec) + utcOffset;
  long long days = local / 86400;
  long long seconds = local % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  line.number(static_cast<unsigned long>(year), 4);
  line.text("-");
  line.number(static_cast<unsigned long>(month), 2);
  line.text("-");
  line.number(static_cast<unsigned long>(day), 2);
  line.text(" ");
  line.number(static_cast<unsigned long>(seconds / 3600), 2);
  line.text(":");
  line.number(static_cast<unsigned long>(seconds / 60 % 60), 2);
  line.text(":");
  line.number(static_cast<unsigned long>(seconds % 60), 2);
  line.text(".");
  line.number(static_cast<unsigned long>(now.tv_nsec / 1000000), 3);
  line.text(" ");
  line.text(program_invocation_short_name);
  line.text("[");
  line.number(static_cast<unsigned long>(::getpid()));
  line.text(":");
  line.number(static_cast<unsigned long>(::syscall(SYS_gettid)));
  line.text("] ");
}

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
  const int savedErrno = errno;
  SignalSafeLine line;
  prefix(line);
  line.text("uncaught signal SIG");
  const char* name = sigabbrev_np(signal);
  line.text(name != nullptr ? name : "?");
  line.emit();
  errno = savedErrno;
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto status = fw::handleCommandLine(argc, argv)) return *status;
  // The collections grow by doubling into blocks of many megabytes. A fixed
  // threshold keeps such blocks in their own mappings, so each one given up
  // on growth goes back to the system at once instead of staying resident
  // in the heap; glibc would otherwise raise the threshold after the first.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  ::tzset();
  const time_t now = ::time(nullptr);
  tm local{};
  if (::localtime_r(&now, &local) != nullptr) utcOffset = local.tm_gmtoff;
  std::set_terminate(onTerminate);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, onFatalSignal);
  fw::FwLibraryCore::traverse();
}
