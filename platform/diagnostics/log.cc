#include "platform/diagnostics/log.h"

#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/diagnostics/civil_time.h"
#include "platform/diagnostics/process_identity.h"
#include "platform/files/posix_io.h"
#include "platform/strings/unicode.h"

namespace fw {

void logLine(std::string_view message) {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const CivilTime t = civilFromSeconds(static_cast<std::int64_t>(now.tv_sec) + local.tm_gmtoff);
  char prefix[128];
  const int n =
      std::snprintf(prefix, sizeof prefix, "%04d-%02u-%02u %02u:%02u:%02u.%03d %s[%d:%ld] ",
                    static_cast<int>(t.year), t.month, t.day, t.hour, t.minute, t.second,
                    static_cast<int>(now.tv_usec / 1000), programShortName(),
                    static_cast<int>(getpid()), currentThreadId());
  std::string line;
  line.reserve(static_cast<std::size_t>(n > 0 ? n : 0) + message.size() + 1);
  if (n > 0)
    line.append(prefix, static_cast<std::size_t>(n) < sizeof prefix ? n : sizeof prefix - 1);
  line.append(message);
  line.push_back('\n');
  // A failed write has nowhere to be reported.
  (void)writeAll(STDERR_FILENO, line.data(), line.size());
}

void logLine(std::u16string_view message) { logLine(utf16ToUtf8Lossy(message)); }

}  // namespace fw
