#include "platform/plist/property_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/plist/binary_reader.h"
#include "platform/plist/xml_reader.h"

namespace fw::plist {
namespace {

std::optional<Value> refuse(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
  return std::nullopt;
}

// Reads until `size` bytes are in `out` or the file ends; false on error.
bool readFully(int fd, std::uint8_t* out, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, out + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::optional<Value> readPropertyList(std::span<const std::uint8_t> bytes, std::string* reason) {
  if (looksLikeBinaryPropertyList(bytes)) return readBinaryPropertyList(bytes, reason);
  return readXmlPropertyList(bytes, reason);
}

std::optional<Value> readPropertyListFile(const std::string& utf8Path, std::string* reason) {
  // Non-blocking, so a FIFO or a device standing at the path is refused by the
  // fstat below instead of holding the caller forever in open; the flag
  // changes nothing for the regular files that are read.
  Fd fd(::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return refuse(reason, utf8Path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return refuse(reason, utf8Path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return refuse(reason, utf8Path + ": is a directory");
  if (!S_ISREG(st.st_mode)) return refuse(reason, utf8Path + ": not a regular file");

  std::uint8_t head[bplist::kHeaderSize];
  std::size_t got = 0;
  if (!readFully(fd.get(), head, sizeof head, got)) {
    return refuse(reason, utf8Path + ": " + std::strerror(errno));
  }
  if (looksLikeBinaryPropertyList({head, got})) {
    // The whole file, sized from fstat but read to its real end.
    std::vector<std::uint8_t> bytes(head, head + got);
    const auto expected = static_cast<std::size_t>(st.st_size);
    bytes.resize(expected > got ? expected : got);
    std::size_t more = 0;
    if (!readFully(fd.get(), bytes.data() + got, bytes.size() - got, more)) {
      return refuse(reason, utf8Path + ": " + std::strerror(errno));
    }
    bytes.resize(got + more);
    return readBinaryPropertyList(bytes, reason);
  }
  if (::lseek(fd.get(), 0, SEEK_SET) != 0) {
    return refuse(reason, utf8Path + ": " + std::strerror(errno));
  }
  auto value = readXmlPropertyListFromFd(fd.get(), reason);
  if (!value && reason) *reason = utf8Path + ": " + *reason;
  return value;
}

}  // namespace fw::plist
