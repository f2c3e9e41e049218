// The temporary directory full: the tool runs with it on a tiny tmpfs,
// mounted in a private mount namespace, and writes a snapshot that cannot fit.

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/private_mounts.h"
#include "tests/support/run_tool.h"

namespace fw {
namespace {

using namespace test_support;

// A tmpfs of `size` on `dir`, in a mount namespace of this process's own.
bool mountTinyTmpfs(const char* dir, const char* size) {
  return enterPrivateMounts().empty() &&
         ::mount("tmpfs", dir, "tmpfs", MS_NOSUID | MS_NODEV, size) == 0;
}

bool mountingPermitted(const fs::path& dir) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(mountTinyTmpfs(dir.c_str(), "size=64k") ? 0 : 1);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(NoSpace, ExitsOneAndKeepsTheEarlierSnapshotWhole) {
  TempHome home("fwkit-nospace");
  if (!mountingPermitted(home.tmp())) {
    GTEST_SKIP() << "mounting a tmpfs in a private namespace is not permitted here";
  }
  ToolResult r = runTool(home);
  ASSERT_EQ(r.status, 0) << r.describe();
  const std::string earlier = readBytes(home.snapshotPath());
  home.library(trackLibrary(1000, "full"));

  // In the child: the tmpfs goes over the temporary directory, the earlier
  // snapshot into it, and the tool runs in a grandchild; once it ends, the
  // child copies what the tmpfs holds out beside it, for the checks below,
  // before the namespace and its tmpfs vanish.
  const fs::path out = home.root() / "after";
  fs::create_directory(out);
  ToolOptions options;
  options.beforeExec = [&] {
    if (!mountTinyTmpfs(home.tmp().c_str(), "size=64k")) ::_exit(125);
    const int fd = ::open(home.snapshotPath().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0 || ::write(fd, earlier.data(), earlier.size()) != ssize_t(earlier.size())) {
      ::_exit(125);
    }
    ::close(fd);
    const pid_t tool = ::fork();
    if (tool == 0) return;
    int status = 0;
    ::waitpid(tool, &status, 0);
    if (DIR* dir = ::opendir(home.tmp().c_str())) {
      while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        fs::copy_file(home.tmp() / name, out / name);
      }
      ::closedir(dir);
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  };
  r = runTool(home, options);
  ASSERT_NE(r.status, 125) << "could not set up the tmpfs";
  EXPECT_EQ(r.status, 1) << r.describe();
  const std::vector<std::string> lines = r.messages();
  const std::string expected = couldNotWrite(home);
  ASSERT_FALSE(lines.empty()) << r.describe();
  EXPECT_EQ(lines.back().substr(0, expected.size()), expected) << r.describe();
  EXPECT_NE(lines.back().find("No space left on device"), std::string::npos) << r.describe();
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"FwLibraryCore.plist"});
  EXPECT_EQ(readBytes(out / "FwLibraryCore.plist"), earlier);
}

}  // namespace
}  // namespace fw
