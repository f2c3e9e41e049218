#include "platform/strings/shared_string.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/containers/large_block.h"
#include "platform/strings/unicode.h"

namespace fw {

namespace {

std::uint64_t load64(const unsigned char* p) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

std::uint64_t load32(const unsigned char* p) noexcept {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

// The 128-bit product of `a` and `b`, its halves folded together.
std::uint64_t foldedProduct(std::uint64_t a, std::uint64_t b) noexcept {
  const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(r) ^ static_cast<std::uint64_t>(r >> 64);
}

constexpr std::uint64_t kMix0 = 0x9e3779b97f4a7c15ull;
constexpr std::uint64_t kMix1 = 0xbf58476d1ce4e5b9ull;
constexpr std::uint64_t kMix2 = 0x94d049bb133111ebull;

}  // namespace

// Sixteen bytes a step, one multiplication each. The last step reads the
// input's last sixteen bytes, overlapping the step before; a short input is
// read as overlapping words. Nothing outside the input is read.
std::uint64_t hashBytes(const void* data, std::size_t size) noexcept {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint64_t state = kMix0 ^ size;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  if (size > 16) {
    std::size_t n = size;
    for (; n > 16; p += 16, n -= 16)
      state = foldedProduct(load64(p) ^ kMix1, load64(p + 8) ^ state);
    a = load64(p + n - 16);
    b = load64(p + n - 8);
  } else if (size >= 4) {
    const std::size_t q = (size >> 3) << 2;
    a = (load32(p) << 32) | load32(p + q);
    b = (load32(p + size - 4) << 32) | load32(p + size - 4 - q);
  } else if (size > 0) {
    a = (std::uint64_t{p[0]} << 16) | (std::uint64_t{p[size >> 1]} << 8) | p[size - 1];
  }
  return foldedProduct(kMix2 ^ size, foldedProduct(a ^ kMix1, b ^ state));
}

namespace {

// An arena block starts with the count of its live buffers, which is kept
// above zero by kUnretired until the arena moves past the block; the
// buffers follow.
struct ArenaBlock {
  std::atomic<std::uint64_t> live;
};
constexpr std::uint64_t kUnretired = std::uint64_t{1} << 62;
constexpr std::size_t kArenaHeader = 8;
static_assert(sizeof(ArenaBlock) <= kArenaHeader);
// Longer buffers come from the heap: a block holds many of them or none.
constexpr std::size_t kLargestArenaBuffer = kLargeBlockBytes / 16;

ArenaBlock* blockOf(const void* buffer) {
  return reinterpret_cast<ArenaBlock*>(reinterpret_cast<std::uintptr_t>(buffer) &
                                       ~(std::uintptr_t{kLargeBlockBytes} - 1));
}

// Drops `n` of the block's count; the last one gives the block back.
void dropArenaCount(ArenaBlock* block, std::uint64_t n) noexcept {
  if (block->live.fetch_sub(n, std::memory_order_acq_rel) == n) {
    block->~ArenaBlock();
    freeLargeBlock(block, kLargeBlockBytes);
  }
}

}  // namespace

SharedStringArena::~SharedStringArena() { retire(); }

void* SharedStringArena::allocate(std::size_t bytes) {
  if (bytes > kLargestArenaBuffer) return nullptr;
  if (block_ == nullptr || used_ + bytes > kLargeBlockBytes) {
    char* block = static_cast<char*>(allocateLargeBlock(kLargeBlockBytes));
    retire();
    new (block) ArenaBlock{{kUnretired}};
    block_ = block;
    used_ = kArenaHeader;
  }
  void* buffer = block_ + used_;
  used_ += bytes;
  ++given_;
  return buffer;
}

void SharedStringArena::retire() noexcept {
  if (block_ == nullptr) return;
  // What remains is the count of the block's buffers still alive.
  dropArenaCount(reinterpret_cast<ArenaBlock*>(block_), kUnretired - given_);
  block_ = nullptr;
  given_ = 0;
}

SharedString::SharedString() : rep_(nullptr) {}

SharedString::Rep* SharedString::allocate(std::size_t length, SharedStringArena* arena) {
  if (length > Rep::kLengthMask) throw std::length_error("SharedString: text too long");
  const auto units = static_cast<std::uint32_t>(length);
  const std::size_t bytes = sizeof(Rep) + length * sizeof(char16_t);
  if (arena != nullptr) {
    // Buffers are packed as tightly as their counts' alignment allows.
    constexpr std::size_t kAlign = alignof(Rep);
    if (void* raw = arena->allocate((bytes + kAlign - 1) & ~(kAlign - 1)))
      return new (raw) Rep{{1}, units | Rep::kFromArena};
  }
  void* raw = ::operator new(bytes);
  return new (raw) Rep{{1}, units};
}

SharedString::SharedString(std::u16string_view text) : SharedString(text, nullptr) {}

SharedString::SharedString(std::u16string_view text, SharedStringArena* arena) : rep_(nullptr) {
  if (text.empty()) return;
  rep_ = allocate(text.size(), arena);
  std::memcpy(rep_->text(), text.data(), text.size() * sizeof(char16_t));
}

SharedString SharedString::fromUtf8(std::string_view utf8) { return fromUtf8(utf8, nullptr); }

SharedString SharedString::fromUtf8(std::string_view utf8, SharedStringArena* arena) {
  SharedString out;
  if (utf8.empty()) return out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  // Most text is ASCII: checked eight bytes at a time, then widened in one
  // pass straight into the shared buffer.
  if (isAscii(utf8)) {
    out.rep_ = allocate(n, arena);
    char16_t* o = out.rep_->text();
    for (std::size_t k = 0; k < n; ++k) o[k] = bytes[k];
    return out;
  }
  // Well-formed input (all that expat hands over) is counted, then decoded
  // in place; anything else takes the lossy path and one extra copy.
  if (!isValidUtf8(utf8)) {
    const std::u16string wide = utf8ToUtf16Lossy(utf8);
    return SharedString(std::u16string_view(wide), arena);
  }
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80;  // one unit per lead byte
    units += b >= 0xF0;           // a second one for a surrogate pair
  }
  out.rep_ = allocate(units, arena);
  char16_t* o = out.rep_->text();
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* e = p + utf8.size();
  while (p < e) {
    const unsigned char b = *p;
    if (b < 0x80) {
      *o++ = b;
      ++p;
    } else if (b < 0xE0) {
      *o++ = static_cast<char16_t>(((b & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else if (b < 0xF0) {
      *o++ = static_cast<char16_t>(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      p += 3;
    } else {
      const char32_t cp =
          ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
      *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      p += 4;
    }
  }
  return out;
}

void SharedString::release(Rep* rep) noexcept {
  const bool fromArena = (rep->length & Rep::kFromArena) != 0;
  rep->~Rep();
  if (fromArena) {
    dropArenaCount(blockOf(rep), 1);
  } else {
    ::operator delete(rep);
  }
}

std::size_t SharedStringHash::operator()(std::u16string_view s) const noexcept {
  // Four code units at a time, each word folded in with a multiply and a
  // shift; keys are short, so the loop runs a few times at most.
  return static_cast<std::size_t>(hashBytes(s.data(), s.size() * sizeof(char16_t)));
}

}  // namespace fw
