#pragma once

// SharedString: an immutable UTF-16 string whose copies share one buffer, the
// string of property-list values and of the tool's collections, with the
// hash and equality its tables use.
//
//   SharedString a(u"x"), b = a;   a.identity() == b.identity()
//   SharedString::fromUtf8("caf\xC3\xA9").view() == u"café"
//
//   SharedStringArena arena;      // for a run of many strings on one thread
//   SharedString n = SharedString::fromUtf8("a.mp3", &arena);

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace fw {

// A fast hash of raw bytes (64-bit multiply and shift, eight bytes a step),
// shared by the string tables so that UTF-8 and UTF-16 lookups mix alike.
[[nodiscard]] std::uint64_t hashBytes(const void* data, std::size_t size) noexcept;

class SharedString;

// Buffers for a long run of strings made on one thread (a folder walk's
// names), cut one after another from blocks of kLargeBlockBytes instead of
// one heap allocation each, so that a string costs no allocator header and
// no allocator call. The strings are like any other: they may outlive
// the arena and be shared with other threads. A block goes back to the
// system once the arena has moved past it and its last string is gone, so
// a run that drops most of its strings keeps no more than it holds. The
// arena itself is used by one thread at a time.
class SharedStringArena {
 public:
  SharedStringArena() = default;
  ~SharedStringArena();
  SharedStringArena(const SharedStringArena&) = delete;
  SharedStringArena& operator=(const SharedStringArena&) = delete;

 private:
  friend class SharedString;
  // Room for `bytes` (a multiple of 8) in the current block, or null when
  // that is too large for a block.
  void* allocate(std::size_t bytes);
  void retire() noexcept;

  char* block_ = nullptr;
  std::size_t used_ = 0;
  std::uint64_t given_ = 0;  // buffers cut from the current block
};

// An immutable UTF-16 string whose copies share one buffer.
class SharedString {
 public:
  SharedString();
  explicit SharedString(std::u16string_view text);
  // Decodes UTF-8 straight into the shared buffer, sized exactly; each
  // invalid sequence becomes U+FFFD. fromUtf8("caf\xC3\xA9") -> u"café".
  [[nodiscard]] static SharedString fromUtf8(std::string_view utf8);
  // The same, with the buffer from `arena`, or from the heap when it is null.
  SharedString(std::u16string_view text, SharedStringArena* arena);
  [[nodiscard]] static SharedString fromUtf8(std::string_view utf8, SharedStringArena* arena);
  // A string written straight into its buffer, for text too long to build
  // elsewhere first: `fill(char16_t* units)` writes at most `capacity` units
  // and returns how many it wrote.
  //   withUnits(3, [](char16_t* u) { u[0] = u'a'; return std::size_t{1}; }).view() == u"a"
  template <class Fill>
  [[nodiscard]] static SharedString withUnits(std::size_t capacity, Fill&& fill) {
    SharedString out;
    if (capacity == 0) return out;
    out.rep_ = allocate(capacity);
    const std::size_t written = fill(out.rep_->text());
    if (written == 0) return SharedString();
    out.rep_->length = static_cast<std::uint32_t>(written < capacity ? written : capacity);
    return out;
  }
  // Copies and moves are inline: readers copy shared keys millions of times.
  SharedString(const SharedString& other) noexcept : rep_(other.rep_) {
    if (rep_) rep_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  SharedString(SharedString&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
  SharedString& operator=(const SharedString& other) noexcept {
    SharedString copy(other);
    std::swap(rep_, copy.rep_);
    return *this;
  }
  SharedString& operator=(SharedString&& other) noexcept {
    std::swap(rep_, other.rep_);
    return *this;
  }
  ~SharedString() {
    if (rep_ && rep_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) release(rep_);
  }

  [[nodiscard]] std::u16string_view view() const noexcept {
    if (!rep_) return {};
    return {rep_->text(), rep_->length & Rep::kLengthMask};
  }
  [[nodiscard]] std::size_t size() const noexcept { return view().size(); }
  // Identity of the buffer: equal pointers mean equal text.
  [[nodiscard]] const void* identity() const noexcept { return rep_; }

  friend bool operator==(const SharedString& a, const SharedString& b) noexcept {
    return a.rep_ == b.rep_ || a.view() == b.view();
  }

 private:
  friend class SharedStringArena;
  // One allocation holds the count, the length and the text. The length's
  // top bit marks a buffer cut from an arena block.
  struct Rep {
    static constexpr std::uint32_t kLengthMask = 0x7FFFFFFF;
    static constexpr std::uint32_t kFromArena = 0x80000000;
    std::atomic<std::uint32_t> refs;
    std::uint32_t length;
    char16_t* text() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
    const char16_t* text() const noexcept { return reinterpret_cast<const char16_t*>(this + 1); }
  };
  // Throws std::length_error beyond kLengthMask units.
  static Rep* allocate(std::size_t length, SharedStringArena* arena = nullptr);
  static void release(Rep* rep) noexcept;
  Rep* rep_;
};

struct SharedStringHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view s) const noexcept;
  std::size_t operator()(const SharedString& s) const noexcept { return (*this)(s.view()); }
};
struct SharedStringEqual {
  using is_transparent = void;
  bool operator()(const SharedString& a, const SharedString& b) const noexcept { return a == b; }
  bool operator()(const SharedString& a, std::u16string_view b) const noexcept {
    return a.view() == b;
  }
  bool operator()(std::u16string_view a, const SharedString& b) const noexcept {
    return a == b.view();
  }
};

}  // namespace fw
