#include "platform/log.h"

#include <errno.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/unicode.h"

extern char* program_invocation_short_name;

namespace fw {

void logLine(std::string_view message) {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char prefix[128];
  const int n = std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d.%03d %s[%d:%ld] ",
                              local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec, static_cast<int>(now.tv_usec / 1000),
                              program_invocation_short_name, static_cast<int>(getpid()),
                              static_cast<long>(syscall(SYS_gettid)));
  std::string line;
  line.reserve(static_cast<std::size_t>(n > 0 ? n : 0) + message.size() + 1);
  if (n > 0) line.append(prefix, static_cast<std::size_t>(n) < sizeof prefix ? n : sizeof prefix - 1);
  line.append(message);
  line.push_back('\n');
  const char* p = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t w = ::write(STDERR_FILENO, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
}

void logLine(std::u16string_view message) { logLine(utf16ToUtf8Lossy(message)); }

}  // namespace fw
