#include "platform/files/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fw {

void ScopedFd::reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

bool writeAll(int fd, const void* data, std::size_t size) noexcept {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::size_t> readUpTo(int fd, void* data, std::size_t size) noexcept {
  auto* p = static_cast<char*>(data);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, p + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

std::optional<std::vector<std::uint8_t>> readAll(int fd, std::size_t expected) {
  // One byte past the expected size, so a file of that size ends in the
  // first read and one that grew is read on.
  std::vector<std::uint8_t> bytes(expected + 1);
  std::size_t got = 0;
  for (;;) {
    const auto n = readUpTo(fd, bytes.data() + got, bytes.size() - got);
    if (!n) return std::nullopt;
    got += *n;
    if (got < bytes.size()) break;
    bytes.resize(bytes.size() * 2);
  }
  bytes.resize(got);
  return bytes;
}

std::optional<RegularFile> openRegularFile(const std::string& path, std::string* reason) {
  auto refuse = [&](const char* why) -> std::optional<RegularFile> {
    if (reason) *reason = why;
    return std::nullopt;
  };
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return refuse(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return refuse(std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return refuse("is a directory");
  if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
  return RegularFile{std::move(fd), static_cast<std::uint64_t>(st.st_size)};
}

}  // namespace fw
