#include "platform/plist/xml/fast/input.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace fw::plist::xml {
namespace {

// Blocks read from a descriptor.
constexpr std::size_t kBlockSize = std::size_t{256} << 10;

}  // namespace

bool FastXmlInput::refill() {
  if (eof_) return false;
  const std::size_t keep = static_cast<std::size_t>(end_ - cur_);
  if (keep * 2 > capacity_ || !owned_) {
    const std::size_t grown = capacity_ == 0 ? kBlockSize : capacity_ * 2;
    std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown]);
    if (!bigger) {
      readError_ = "out of memory";
      return false;
    }
    if (keep) std::memcpy(bigger.get(), cur_, keep);
    owned_ = std::move(bigger);
    capacity_ = grown;
  } else if (keep) {
    std::memmove(owned_.get(), cur_, keep);
  }
  base_ += static_cast<std::uint64_t>(cur_ - buf_);
  buf_ = owned_.get();
  cur_ = buf_;
  end_ = buf_ + keep;
  std::size_t got = 0;
  while (keep + got < capacity_) {
    const ssize_t n = ::read(fd_, owned_.get() + keep + got, capacity_ - keep - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      readError_ = std::string("read failed: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) {
      eof_ = true;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  end_ += got;
  return got > 0;
}

}  // namespace fw::plist::xml
