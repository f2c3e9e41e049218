#pragma once

// Everything written to standard error while `run` runs, read on another
// thread so that a full pipe never stalls the writers.

#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace fw::test_support {

inline std::string captureStderr(const std::function<void()>& run) {
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

}  // namespace fw::test_support
