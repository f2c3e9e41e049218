#pragma once

// Runs one of our programs as a separate process, with HOME and TMPDIR
// inside a TempHome, and reports how it ended and what it printed. Standard
// output and error go to files in the fixture's directory, so a child that
// prints a lot never blocks on a pipe the test is not reading.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_home.h"

namespace fw::test_support {

// Whether this build runs under a sanitizer, where every process is several
// times slower and repeated fault runs are cut down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif
// The snapshot program under test: FW_SNAPSHOT_PROGRAM when set (the test
// suite runs the folder tests again on the other walk back end that way),
// else library-snapshot.
inline std::string snapshotProgram() {
  const char* program = std::getenv("FW_SNAPSHOT_PROGRAM");
  return program != nullptr && *program != '\0' ? program : "library-snapshot";
}

// The walk back ends built here, each a program in FW_BIN_DIR.
inline std::vector<std::string> snapshotPrograms() {
  std::vector<std::string> programs{"library-snapshot"};
#ifdef FW_WALK_OTHER_BACKEND
  programs.push_back("library-snapshot-" FW_WALK_OTHER_BACKEND);
#endif
  return programs;
}

// The folder scan's two log lines: the count of names, then of sizes.
inline std::vector<std::string> folderScanLines(std::size_t names, std::size_t sizes) {
  return {"FwLibraryController: fs: " + std::to_string(names),
          "FwLibraryController: fs: " + std::to_string(sizes)};
}

// The start of the line a run that could not write its snapshot ends with.
inline std::string couldNotWrite(const TempHome& home) {
  return "FwLibraryCore: could not write " + home.snapshotPath().string() + ": ";
}

struct ToolOptions {
  std::string program = snapshotProgram();  // in FW_BIN_DIR, or an absolute path
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;  // set after HOME and TMPDIR
  std::vector<std::string> unset;                        // removed from the environment
  // Run as this user (and its group id alike); lets a test running as root
  // see permissions bite. The home must be open to that user.
  std::optional<uid_t> user;
  std::optional<rlim_t> openFiles;
  std::optional<rlim_t> fileSize;  // SIGXFSZ ignored, so writes fail with EFBIG
  std::string stdinText;           // empty: /dev/null
  // Runs in the child just before exec, with the output files in place (to
  // enter a namespace, say). It must not return to a test: it may only make
  // system calls, fork, and end with _exit.
  std::function<void()> beforeExec;
  std::string stdoutPath;  // empty: a file of the fixture's, read back as `out`
};

struct ToolResult {
  int status = -1;        // exit status, or -1 when the process did not exit
  int signal = 0;         // the signal that ended it, if one did
  long peakKb = 0;        // its peak resident memory in KiB (ru_maxrss)
  bool timedOut = false;  // killed by wait() for running past its limit
  std::string out, err;
  // The log lines of standard error without their timestamp and prefix.
  std::vector<std::string> messages() const { return logMessages(err); }
  // What a failed expectation should show.
  std::string describe() const {
    std::string s = timedOut ? std::string("timed out and killed")
                    : signal ? "killed by signal " + std::to_string(signal)
                             : "exit status " + std::to_string(status);
    return s + "\nstdout:\n" + out + "\nstderr:\n" + err;
  }
};

class ToolProcess {
 public:
  ToolProcess(const TempHome& home, const ToolOptions& options) : home_(home) {
    std::string bin = options.program;
    if (bin.empty() || bin[0] != '/') bin = std::string(FW_BIN_DIR) + "/" + bin;
    const fs::path in = home.root() / "stdin.txt";
    writeFile(in, options.stdinText);
    std::vector<std::string> argv{bin};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setenv("HOME", home.home().c_str(), 1);
    ::setenv("TMPDIR", home.tmp().c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    for (const auto& name : options.unset) ::unsetenv(name.c_str());
    for (const auto& [name, value] : options.env) ::setenv(name.c_str(), value.c_str(), 1);
    if (options.openFiles) {
      rlimit r{*options.openFiles, *options.openFiles};
      ::setrlimit(RLIMIT_NOFILE, &r);
    }
    if (options.fileSize) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit r{*options.fileSize, *options.fileSize};
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    const int fd0 = ::open(options.stdinText.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
    const std::string out = options.stdoutPath.empty() ? outPath().string() : options.stdoutPath;
    const int fd1 = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int fd2 = ::open(errPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd0 < 0 || fd1 < 0 || fd2 < 0) ::_exit(126);
    ::dup2(fd0, 0);
    ::dup2(fd1, 1);
    ::dup2(fd2, 2);
    if (options.beforeExec) options.beforeExec();
    if (options.user && (::setgroups(0, nullptr) != 0 || ::setgid(*options.user) != 0 ||
                         ::setuid(*options.user) != 0))
      ::_exit(125);
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(bin.c_str(), raw.data());
    ::_exit(127);
  }
  ~ToolProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  pid_t pid() const { return pid_; }
  void kill(int signal) const { ::kill(pid_, signal); }

  // Waits for the end; with a limit, a process still running when it has
  // passed is killed with SIGKILL and reported as timed out.
  ToolResult wait(std::optional<std::chrono::milliseconds> limit = std::nullopt) {
    ToolResult r;
    if (pid_ <= 0) return r;
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + limit.value_or(std::chrono::hours(1));
    for (;;) {
      const pid_t got = ::wait4(pid_, &status, limit ? WNOHANG : 0, &usage);
      if (got == pid_) break;
      if (got < 0 && errno != EINTR) break;
      if (got == 0) {
        if (std::chrono::steady_clock::now() < deadline) {
          ::usleep(2000);
          continue;
        }
        r.timedOut = true;
        ::kill(pid_, SIGKILL);
        limit.reset();
      }
    }
    pid_ = -1;
    r.peakKb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.out = readBytes(outPath());
    r.err = readBytes(errPath());
    return r;
  }

 private:
  fs::path outPath() const { return home_.root() / "stdout.txt"; }
  fs::path errPath() const { return home_.root() / "stderr.txt"; }

  const TempHome& home_;
  pid_t pid_ = -1;
};

inline ToolResult runTool(const TempHome& home, const ToolOptions& options = {}) {
  return ToolProcess(home, options).wait();
}

}  // namespace fw::test_support
