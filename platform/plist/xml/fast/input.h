#pragma once

// The bytes the dedicated XML reader (plist/xml/fast_reader.h) works on: a
// caller's buffer, or blocks read from a descriptor into one of its own.
// The reader keeps [cur_, end_) and moves cur_ on as it reads; refill()
// keeps the bytes from cur_ on and reads more after them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace fw::plist::xml {

class FastXmlInput {
 protected:
  explicit FastXmlInput(std::span<const std::uint8_t> bytes)
      : buf_(reinterpret_cast<const char*>(bytes.data())),
        cur_(buf_),
        end_(buf_ + bytes.size()),
        eof_(true) {}
  explicit FastXmlInput(int fd) : fd_(fd), eof_(false) {}

  // Where p is, counted from the start of the input.
  [[nodiscard]] std::uint64_t offset(const char* p) const {
    return base_ + static_cast<std::uint64_t>(p - buf_);
  }

  // False at the end of the input, or on a read error, which sets
  // readError_. The buffer doubles only when the bytes kept take more than
  // half of it, so reading stays linear in the document.
  bool refill();

  int fd_ = -1;
  std::unique_ptr<char[]> owned_;
  std::size_t capacity_ = 0;
  const char* buf_ = nullptr;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  std::uint64_t base_ = 0;  // the offset of buf_
  std::string readError_;
  bool eof_;
};

}  // namespace fw::plist::xml
