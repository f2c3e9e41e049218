#pragma once

// The structure of an XML property list, shared by the dedicated reader and
// the expat one so that both accept and refuse exactly the same documents.
// A reader tokenises the markup and checks that the XML is well formed; it
// tells the grammar which element opens or closes and what character data
// it met, and the grammar checks where each element may stand, reads each
// scalar's text and sends the property-list events.
//
// The root is a <plist> holding one value, or a bare value element. Refused,
// with a reason: unknown elements, a key without a value or a value without
// a key in a dict, a key outside a dict, text where none belongs, elements
// inside a scalar, an unparsable integer, real, date or data, content after
// the root, an empty <plist>, and more than kMaxXmlNesting containers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/plist_events.h"

namespace fw::plist {

inline constexpr std::size_t kMaxXmlNesting = 512;

namespace xml {

enum class Element : std::uint8_t {
  Plist,
  Array,
  Dict,
  Key,
  String,
  Integer,
  Real,
  Date,
  Data,
  True,
  False
};

// The element a tag names, compared exactly: "dict" -> Dict, "Dict" -> nullopt.
[[nodiscard]] std::optional<Element> elementNamed(std::string_view name) noexcept;
[[nodiscard]] std::string_view elementName(Element element) noexcept;
// Whether the element holds character data: the scalars but true and false.
[[nodiscard]] constexpr bool hasText(Element e) noexcept {
  return e != Element::True && e != Element::False && e != Element::Plist && e != Element::Array &&
         e != Element::Dict;
}

class Grammar {
 public:
  explicit Grammar(PropertyListEvents& events);

  // Each returns false once the document is refused; failure() says why.
  bool open(Element element);
  // A start tag of a name that is no property-list element: always false.
  bool openUnknown(std::string_view name);
  // Closes the innermost open element; the reader has matched the tags.
  bool close();
  // Character data of the innermost element, or between elements. With
  // `stable`, the bytes stay where they are until that element closes, and
  // text that arrives in one piece is never copied.
  bool text(std::string_view utf8, bool stable);
  // At the end of the document.
  bool finish();
  // Forgets the document read so far.
  void reset();

  [[nodiscard]] bool failed() const noexcept { return failed_; }
  [[nodiscard]] const std::string& failure() const noexcept { return failure_; }
  [[nodiscard]] bool rootDone() const noexcept { return rootDone_; }
  bool fail(std::string reason);

 private:
  enum class Frame : std::uint8_t { Plist, Array, Dict };
  struct Open {
    Frame frame;
    bool pending;  // dict: a key waits for its value; plist: its value has come
  };

  bool valueMayStart(Element element);
  bool closeLeaf();
  std::string_view leafText() const noexcept { return copied_ ? std::string_view(copy_) : held_; }

  PropertyListEvents& events_;
  std::vector<Open> open_;
  std::string_view held_;  // the leaf's text while it is one stable piece
  std::string copy_;       // otherwise, its text gathered here
  std::vector<std::uint8_t> bytes_;
  std::string failure_;
  std::size_t depth_ = 0;
  std::optional<Element> leaf_;
  bool copied_ = false;
  bool rootDone_ = false;
  bool failed_ = false;
};

}  // namespace xml
}  // namespace fw::plist
