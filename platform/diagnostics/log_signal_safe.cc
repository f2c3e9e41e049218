#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/diagnostics/civil_time.h"
#include "platform/diagnostics/log.h"
#include "platform/diagnostics/process_identity.h"
#include "platform/files/posix_io.h"

namespace fw {
namespace {

// Seconds east of UTC, fixed at start.
long utcOffset = 0;

class FixedLine {
 public:
  void text(const char* s) {
    while (s != nullptr && *s != 0 && size_ < sizeof buffer_ - 1) buffer_[size_++] = *s++;
  }
  void number(std::uint64_t value, int width = 1) {
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
    (void)writeAll(STDERR_FILENO, buffer_, size_);
  }

 private:
  char buffer_[256];
  std::size_t size_ = 0;
};

}  // namespace

void prepareSignalSafeLog() noexcept {
  ::tzset();
  const time_t now = ::time(nullptr);
  tm local{};
  if (::localtime_r(&now, &local) != nullptr) utcOffset = local.tm_gmtoff;
}

void logLineSignalSafe(std::initializer_list<const char*> parts) noexcept {
  const int savedErrno = errno;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const CivilTime t = civilFromSeconds(static_cast<std::int64_t>(now.tv_sec) + utcOffset);
  FixedLine line;
  line.number(static_cast<std::uint64_t>(t.year), 4);
  line.text("-");
  line.number(t.month, 2);
  line.text("-");
  line.number(t.day, 2);
  line.text(" ");
  line.number(t.hour, 2);
  line.text(":");
  line.number(t.minute, 2);
  line.text(":");
  line.number(t.second, 2);
  line.text(".");
  line.number(static_cast<std::uint64_t>(now.tv_nsec / 1000000), 3);
  line.text(" ");
  line.text(programShortName());
  line.text("[");
  line.number(static_cast<std::uint64_t>(::getpid()));
  line.text(":");
  line.number(static_cast<std::uint64_t>(currentThreadId()));
  line.text("] ");
  for (const char* part : parts) line.text(part);
  line.emit();
  errno = savedErrno;
}

}  // namespace fw
