#include "apps/plist-dump/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fw::plist_dump {
namespace {

bool fail(std::string* reason, const std::string& what, const std::string& path, int error) {
  *reason = what + " " + path + ": " + std::strerror(error);
  return false;
}

}  // namespace

OutputFile::~OutputFile() { drop(); }

void OutputFile::drop() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
  fd_ = -1;
  temp_.clear();
}

bool OutputFile::open(const std::string& path, std::string* reason) {
  drop();
  if (path.empty() || path.back() == '/') {
    *reason = "not a file path: " + path;
    return false;
  }
  const std::size_t slash = path.find_last_of('/');
  std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                     "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(reason, "create", temp, errno);
  path_ = path;
  temp_ = temp;
  fd_ = fd;
  return true;
}

bool OutputFile::write(std::string_view bytes, std::string* reason) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      const std::string temp = temp_;
      drop();
      return fail(reason, "write", temp, error);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool OutputFile::commit(std::string* reason) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const char* what = nullptr;
  if (::fchmod(fd_, 0666 & ~mask) != 0) {
    what = "chmod";
  } else if (::fsync(fd_) != 0) {
    what = "fsync";
  } else if (::close(fd_) != 0) {
    fd_ = -1;
    what = "close";
  }
  if (what != nullptr) {
    const int error = errno;
    const std::string temp = temp_;
    drop();
    return fail(reason, what, temp, error);
  }
  fd_ = -1;
  // rename replaces a symbolic link at the target itself, never its target.
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    drop();
    return fail(reason, "rename to", path_, error);
  }
  temp_.clear();
  return true;
}

}  // namespace fw::plist_dump
