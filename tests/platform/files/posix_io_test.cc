#include "platform/files/posix_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_home.h"

namespace fw {
namespace {

std::vector<std::uint8_t> pattern(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return v;
}

// A pipe hands data over in pieces of at most its capacity (64 KiB), so
// anything longer takes several writes and several reads.
TEST(PosixIo, WritesAndReadsEverythingThroughShortTransfers) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{300000}}) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ScopedFd in(ends[0]), out(ends[1]);
    const std::vector<std::uint8_t> sent = pattern(size);
    std::thread writer([&] {
      EXPECT_TRUE(writeAll(out.get(), sent.data(), sent.size()));
      out.reset();
    });
    std::vector<std::uint8_t> head(10);
    const auto got = readUpTo(in.get(), head.data(), head.size());
    ASSERT_TRUE(got);
    ASSERT_EQ(*got, std::min<std::size_t>(size, 10)) << size;
    head.resize(*got);
    // A hint far too small still reads to the end.
    const auto rest = readAll(in.get(), 3);
    writer.join();
    ASSERT_TRUE(rest);
    head.insert(head.end(), rest->begin(), rest->end());
    EXPECT_EQ(head, sent) << size;
  }
}

TEST(PosixIo, FailuresAreReportedNotSwallowed) {
  std::uint8_t byte = 0;
  EXPECT_FALSE(writeAll(-1, &byte, 1));
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(readUpTo(-1, &byte, 1));
  EXPECT_FALSE(readAll(-1));
}

TEST(PosixIo, OpensOnlyRegularFilesAndNeverBlocks) {
  const test_support::TempHome dir;
  const std::string tmp = dir.tmp();
  test_support::writeFile(tmp + "/file", "abc");
  ASSERT_EQ(::mkfifo((tmp + "/fifo").c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* reason;  // nullptr: opened
  };
  const Case cases[] = {
      {tmp + "/file", nullptr},
      {tmp, "is a directory"},
      {tmp + "/fifo", "not a regular file"},  // with no writer: a blocking open would hang here
      {tmp + "/missing", "No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string why;
    const auto file = openRegularFile(c.path, &why);
    if (c.reason == nullptr) {
      ASSERT_TRUE(file) << why;
      EXPECT_EQ(file->size, 3u);
      const auto bytes = readAll(file->fd.get(), file->size);
      ASSERT_TRUE(bytes);
      EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "abc");
    } else {
      EXPECT_FALSE(file) << c.path;
      EXPECT_EQ(why, c.reason) << c.path;
    }
  }
}

}  // namespace
}  // namespace fw
