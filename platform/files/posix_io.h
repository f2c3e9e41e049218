#pragma once

// The few descriptor operations the rest of the code repeats, done once:
// each retries after EINTR and after short reads and writes.
//
//   auto file = openRegularFile("/etc/hostname", &why);
//   auto bytes = file ? readAll(file->fd.get(), file->size) : std::nullopt;

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fw {

// Owns a descriptor and closes it when it goes; -1 holds none.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) noexcept : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~ScopedFd() { reset(); }

  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  [[nodiscard]] int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

// Writes all `size` bytes; false, with errno set, when a write fails.
// Async-signal-safe.
[[nodiscard]] bool writeAll(int fd, const void* data, std::size_t size) noexcept;

// Reads until `size` bytes are in `data` or the file ends: the count read,
// or nullopt with errno set when a read fails.
[[nodiscard]] std::optional<std::size_t> readUpTo(int fd, void* data, std::size_t size) noexcept;

// Everything from the current position to the end of the file. `expected`
// sizes the first read (a file's size, say); the result is the real length
// either way. Nullopt with errno set when a read fails.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> readAll(int fd, std::size_t expected = 0);

struct RegularFile {
  ScopedFd fd;
  std::uint64_t size = 0;
};

// Opens `path` read-only and close-on-exec. The open does not block, so a
// FIFO or a device standing at the path is refused instead of holding the
// caller forever; the flag changes nothing for a regular file. Nullopt with
// the reason in `*reason`: the system's text for the error, "is a
// directory" or "not a regular file".
[[nodiscard]] std::optional<RegularFile> openRegularFile(const std::string& path,
                                                         std::string* reason = nullptr);

}  // namespace fw
