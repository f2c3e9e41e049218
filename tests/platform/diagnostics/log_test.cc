#include "platform/diagnostics/log.h"

#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/diagnostics/process_identity.h"
#include "tests/support/capture_stderr.h"

namespace fw {
namespace {

using test_support::captureStderr;

TEST(LogLine, OneLineWithTimestampProgramAndIds) {
  const std::string out = captureStderr([] {
    logLine("FwLibraryController: fs: 12");
    logLine(u"caf\u00e9 \xD800!");
  });
  const std::string prefix =
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} test_platform_diagnostics\[)" +
      std::to_string(::getpid()) + ":" + std::to_string(currentThreadId()) + "\\] ";
  const std::regex expected(prefix + "FwLibraryController: fs: 12\n" + prefix +
                            "caf\xC3\xA9 \xEF\xBF\xBD!\n");
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
