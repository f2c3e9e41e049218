#pragma once

// A mount namespace of the calling process's own, for tests that mount a
// file system where the real one must stay untouched. Call it in a forked,
// single-threaded child.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace fw::test_support {

inline bool writeProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// Enters a private mount namespace (as root directly, otherwise inside a new
// user namespace that maps this user), from which no mount propagates back.
// "" on success, otherwise why it was refused.
inline std::string enterPrivateMounts() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWNS) != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return std::string("unshare: ") + std::strerror(errno);
    }
    (void)writeProcFile("/proc/self/setgroups", "deny");
    const std::string uids = std::to_string(uid) + " " + std::to_string(uid) + " 1";
    const std::string gids = std::to_string(gid) + " " + std::to_string(gid) + " 1";
    if (!writeProcFile("/proc/self/uid_map", uids) || !writeProcFile("/proc/self/gid_map", gids)) {
      return "no user id map";
    }
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return std::string("making / private: ") + std::strerror(errno);
  }
  return "";
}

}  // namespace fw::test_support
