#include "platform/log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace fw {
namespace {

// Everything written to standard error while `run` runs, read on another
// thread so that a full pipe never stalls the writers.
std::string captureStderr(const std::function<void()>& run) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(fds[1], STDERR_FILENO);
  ::close(fds[1]);
  std::string captured;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) captured.append(buffer, n);
  });
  run();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  reader.join();
  ::close(fds[0]);
  return captured;
}

TEST(LogLine, OneLineWithTimestampProgramAndIds) {
  const std::string out = captureStderr([] {
    logLine("FwLibraryController: fs: 12");
    logLine(u"caf\u00e9 \xD800!");
  });
  const std::string ids = "\\[" + std::to_string(::getpid()) + ":" +
                          std::to_string(static_cast<long>(::syscall(SYS_gettid))) + "\\] ";
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  const std::regex expected(stamp + program_invocation_short_name + ids +
                            "FwLibraryController: fs: 12\n" + stamp +
                            program_invocation_short_name + ids + "caf\xC3\xA9 \xEF\xBF\xBD!\n");
  EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

TEST(LogLine, LinesFromSeveralThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  const std::string out = captureStderr([] {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t] {
        const std::string body(3000, static_cast<char>('a' + t));
        for (int i = 0; i < kLines; ++i) logLine(body);
      });
    }
    for (auto& thread : threads) thread.join();
  });
  std::istringstream lines(out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    const std::size_t body = line.find("] ");
    ASSERT_NE(body, std::string::npos);
    const std::string text = line.substr(body + 2);
    ASSERT_EQ(text.size(), 3000u);
    EXPECT_EQ(text, std::string(3000, text[0]));
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace fw
