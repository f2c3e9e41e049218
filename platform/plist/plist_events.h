#pragma once

// A property list as a stream of events: the begin and end of each
// container, each dictionary key followed by its value, and the scalars.
// The XML readers send them as they read, so a consumer that needs a few
// fields of a large document keeps only those; the tree reader is one such
// consumer, and replaying a tree gives the same events back.
//
// What a reader promises: the events form exactly one well-nested value,
// every key is followed by exactly one value, and keys occur only directly
// in dictionaries. Refused documents end the stream early, so a consumer
// must not act on what it has seen until the reader reports success.
//
//   <dict><key>a</key><array><true/></array></dict>
//     -> beginDictionary, key "a", beginArray, scalar true, endArray,
//        endDictionary

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "platform/plist/value.h"

namespace fw::plist {

// The text of a key or a string, valid only during the call that hands it
// over: well-formed UTF-8 from the XML readers, UTF-16 when a tree is
// replayed (a binary list may hold unpaired surrogates, which UTF-8 cannot).
class EventText {
 public:
  constexpr EventText(std::string_view utf8) : utf8_(utf8) {}
  constexpr EventText(std::u16string_view utf16) : utf16_(utf16), wide_(true) {}

  [[nodiscard]] bool isWide() const noexcept { return wide_; }
  [[nodiscard]] std::string_view utf8() const noexcept { return utf8_; }
  [[nodiscard]] std::u16string_view utf16() const noexcept { return utf16_; }
  [[nodiscard]] bool empty() const noexcept { return wide_ ? utf16_.empty() : utf8_.empty(); }

  // Exact comparison with ASCII text: EventText("Name") == "Name".
  [[nodiscard]] bool equalsAscii(std::string_view ascii) const noexcept {
    if (!wide_)
      return utf8_.size() == ascii.size() &&
             std::memcmp(utf8_.data(), ascii.data(), ascii.size()) == 0;
    if (utf16_.size() != ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
      if (utf16_[i] != static_cast<unsigned char>(ascii[i])) return false;
    }
    return true;
  }
  // The raw bytes of whichever form it holds; equal texts from one source
  // have equal bytes.
  [[nodiscard]] std::string_view bytes() const noexcept {
    if (!wide_) return utf8_;
    return {reinterpret_cast<const char*>(utf16_.data()), utf16_.size() * sizeof(char16_t)};
  }
  [[nodiscard]] std::u16string toUtf16() const;
  [[nodiscard]] SharedString toShared() const;

 private:
  std::string_view utf8_;
  std::u16string_view utf16_;
  bool wide_ = false;
};

class PropertyListEvents {
 public:
  virtual ~PropertyListEvents() = default;

  virtual void beginDictionary() = 0;
  virtual void endDictionary() = 0;
  virtual void beginArray() = 0;
  virtual void endArray() = 0;
  // A key of the innermost dictionary; its value's events follow.
  virtual void key(EventText text) = 0;
  virtual void string(EventText text) = 0;
  // A boolean, integer, real, date or UID.
  virtual void scalar(const Value& value) = 0;
  // Valid only during the call.
  virtual void data(std::span<const std::uint8_t> bytes) = 0;
  // Everything sent so far is void: the document is being read again from
  // its first byte (the dedicated XML reader hands what lies outside its
  // dialect to the general one).
  virtual void restart() = 0;
};

// Sends the events of a value already read: replaying a tree read from a
// binary list lets one consumer serve both formats.
void replayEvents(const Value& value, PropertyListEvents& events);

}  // namespace fw::plist
