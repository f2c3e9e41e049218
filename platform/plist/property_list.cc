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

constexpr std::string_view kBinaryMagic = "bplist00";

bool isBinary(std::span<const std::uint8_t> head) {
  return head.size() >= kBinaryMagic.size() &&
         std::memcmp(head.data(), kBinaryMagic.data(), kBinaryMagic.size()) == 0;
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
  if (isBinary(bytes)) return readBinaryPropertyList(bytes, reason);
  return readXmlPropertyList(bytes, reason);
}

namespace {

// Opens `utf8Path` for reading and hands the descriptor to `xml` or the
// whole file to `binary`, whichever its first bytes call for.
template <class Result, class Xml, class Binary>
Result readFile(const std::string& utf8Path, std::string* reason, Result refused, Xml xml,
                Binary binary) {
  auto refuse = [&](std::string text) {
    if (reason) *reason = std::move(text);
    return refused;
  };
  // Non-blocking, so a FIFO or a device standing at the path is refused by the
  // fstat below instead of holding the caller forever in open; the flag
  // changes nothing for the regular files that are read.
  Fd fd(::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return refuse(utf8Path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return refuse(utf8Path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return refuse(utf8Path + ": is a directory");
  if (!S_ISREG(st.st_mode)) return refuse(utf8Path + ": not a regular file");

  std::uint8_t head[8];
  std::size_t got = 0;
  if (!readFully(fd.get(), head, sizeof head, got)) {
    return refuse(utf8Path + ": " + std::strerror(errno));
  }
  if (isBinary({head, got})) {
    // The whole file, sized from fstat but read to its real end.
    std::vector<std::uint8_t> bytes(head, head + got);
    const auto expected = static_cast<std::size_t>(st.st_size);
    bytes.resize(expected > got ? expected : got);
    std::size_t more = 0;
    if (!readFully(fd.get(), bytes.data() + got, bytes.size() - got, more)) {
      return refuse(utf8Path + ": " + std::strerror(errno));
    }
    bytes.resize(got + more);
    return binary(bytes);
  }
  if (::lseek(fd.get(), 0, SEEK_SET) != 0) return refuse(utf8Path + ": " + std::strerror(errno));
  Result result = xml(fd.get());
  if (!result && reason) *reason = utf8Path + ": " + *reason;
  return result;
}

}  // namespace

std::optional<Value> readPropertyListFile(const std::string& utf8Path, std::string* reason) {
  return readFile<std::optional<Value>>(
      utf8Path, reason, std::nullopt,
      [&](int fd) { return readXmlPropertyListFromFd(fd, reason); },
      [&](std::span<const std::uint8_t> bytes) { return readBinaryPropertyList(bytes, reason); });
}

bool readPropertyListFileEvents(const std::string& utf8Path, PropertyListEvents& events,
                                std::string* reason) {
  return readFile<bool>(
      utf8Path, reason, false, [&](int fd) { return readXmlEventsFromFd(fd, events, reason); },
      [&](std::span<const std::uint8_t> bytes) {
        const std::optional<Value> tree = readBinaryPropertyList(bytes, reason);
        if (!tree) return false;
        replayEvents(*tree, events);
        return true;
      });
}

}  // namespace fw::plist
