// The program's own handling of a fatal signal, seen from outside.

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"

namespace fw::test_support {
namespace {

#if defined(__linux__)
// A fatal signal is named in one log line, and the process still ends by
// that signal, wherever it comes: the handler formats and writes its line
// without allocating or locking. The signal is sent at a known point: the
// tool is blocked writing its first log line into a full log pipe, so its
// handlers are in place and it can get no further.
TEST(Main, FatalSignalIsLoggedAndEndsTheProcess) {
  TempHome home("fwkit-signal");
  int log[2];
  ASSERT_EQ(::pipe(log), 0);
  ::fcntl(log[1], F_SETPIPE_SZ, 4096);
  const int flags = ::fcntl(log[1], F_GETFL);
  ::fcntl(log[1], F_SETFL, flags | O_NONBLOCK);
  while (::write(log[1], "x", 1) > 0) {
  }
  ::fcntl(log[1], F_SETFL, flags);
  ToolOptions options;
  options.beforeExec = [&] { ::dup2(log[1], STDERR_FILENO); };
  ToolProcess tool(home, options);
  ::close(log[1]);
  // /proc/<pid>/syscall names the call a blocked process sits in, then its
  // arguments: write(2) on descriptor 2.
  const std::string syscallFile = "/proc/" + std::to_string(tool.pid()) + "/syscall";
  bool blocked = false;
  for (int attempt = 0; attempt < 20000 && !blocked; ++attempt) {
    std::ifstream in(syscallFile);
    std::string number, fd;
    in >> number >> fd;
    blocked = number == std::to_string(SYS_write) && fd == "0x2";
    if (!blocked) ::usleep(500);
  }
  ASSERT_TRUE(blocked) << "the tool never blocked on its log pipe";
  tool.kill(SIGSEGV);
  // The handler's line, too, waits for room in the pipe: drained first.
  std::string text;
  char block[4096];
  for (ssize_t n; (n = ::read(log[0], block, sizeof block)) > 0;) text.append(block, n);
  ::close(log[0]);
  const ToolResult r = tool.wait();
  EXPECT_EQ(r.signal, SIGSEGV);
  // The signal is taken when the tool next leaves the kernel: before its
  // first log line, or just after it, if the draining let that line through.
  const std::vector<std::string> messages = logMessages(text);
  const std::vector<std::string> before = {"uncaught signal SIGSEGV"};
  const std::vector<std::string> after = {"FwLibraryController: fs: 0", "uncaught signal SIGSEGV"};
  EXPECT_TRUE(messages == before || messages == after) << ::testing::PrintToString(messages);
  EXPECT_FALSE(fs::exists(home.snapshotPath()));
}
#endif

}  // namespace
}  // namespace fw::test_support
