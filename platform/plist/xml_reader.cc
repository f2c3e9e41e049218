#include "platform/plist/xml_reader.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <limits>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/plist/xml_text.h"

namespace fw::plist {
namespace {

// The longest text one element may hold; see text().
constexpr std::size_t kMaxTextBytes = std::numeric_limits<std::uint32_t>::max();

// Blocks handed to expat when streaming a file.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// Strings up to this many code units are shared through a table: a library
// repeats its kinds, genres, artists and albums thousands of times. That
// table stops growing at kInternLimit strings, so a file of unique strings
// costs no more than a bounded table. Keys of any length are shared, up to
// kKeyLimit distinct ones: a document has a few dozen field names, and the
// rest are one-off keys such as track IDs, which sharing cannot save and
// which would only spread the hot names over a larger table.
constexpr std::size_t kInternMaxUnits = 48;
constexpr std::size_t kInternLimit = 1 << 16;
constexpr std::size_t kKeyLimit = 1 << 14;

std::uint64_t hashUtf8(std::string_view s) { return hashBytes(s.data(), s.size()); }

// UTF-16 code units of well-formed UTF-8: one per lead byte, and a second
// for each four-byte sequence.
std::size_t utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80;
    units += b >= 0xF0;
  }
  return units;
}

// Shared strings looked up by the UTF-8 text expat hands over, so that a
// string seen before costs a hash and a compare, and is never decoded again.
// Open addressing over a flat array that keeps part of each hash, so a probe
// touches one cache line until the hashes agree.
class StringTable {
 public:
  explicit StringTable(std::size_t limit) : limit_(limit) {}

  // The shared copy of `utf8`. A new string is added while the table has
  // room; once it is full, new strings are decoded on their own.
  SharedString get(std::string_view utf8) {
    const auto hash = static_cast<std::uint32_t>(hashUtf8(utf8));
    if (!slots_.empty()) {
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot slot = slots_[i];
        if (slot.entry == 0) break;
        if (slot.hash != hash) continue;
        const Entry& e = entries_[slot.entry - 1];
        if (e.length == utf8.size() &&
            std::memcmp(bytes_.data() + e.offset, utf8.data(), utf8.size()) == 0) {
          return e.value;
        }
      }
    }
    SharedString value = SharedString::fromUtf8(utf8);
    if (entries_.size() < limit_) add(hash, utf8, value);
    return value;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t entry = 0;  // entry index + 1; 0 marks a free slot
  };
  // Sixteen bytes, so that many fit the cache; the hash is in the slot.
  struct Entry {
    std::uint32_t offset;  // of the UTF-8 text in bytes_
    std::uint32_t length;
    SharedString value;
  };

  void add(std::uint32_t hash, std::string_view utf8, const SharedString& value) {
    // Offsets are 32 bits: a table of texts beyond that stops growing.
    if (bytes_.size() + utf8.size() > UINT32_MAX) return;
    // At most half full, so probes stay short.
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    entries_.push_back({static_cast<std::uint32_t>(bytes_.size()),
                        static_cast<std::uint32_t>(utf8.size()), value});
    bytes_.append(utf8);
    place(hash, entries_.size() - 1);
  }

  void place(std::uint32_t hash, std::size_t index) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].entry != 0) i = (i + 1) & mask;
    slots_[i] = {hash, static_cast<std::uint32_t>(index + 1)};
  }

  void grow() {
    std::vector<Slot> old(slots_.empty() ? 256 : slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.entry != 0) place(slot.hash, slot.entry - 1);
    }
  }

  std::size_t limit_;
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  std::string bytes_;
};

enum class Leaf : std::uint8_t { None, Key, String, Integer, Real, Date, Data, True, False };
enum class Container : std::uint8_t { Plist, Array, Dict };

struct Frame {
  Container kind;
  std::uint32_t values;  // first value of this container on the value stack
  std::uint32_t keys;    // first key of this dict on the key stack
};

const char* leafName(Leaf leaf) {
  switch (leaf) {
    case Leaf::Key: return "key";
    case Leaf::String: return "string";
    case Leaf::Integer: return "integer";
    case Leaf::Real: return "real";
    case Leaf::Date: return "date";
    case Leaf::Data: return "data";
    case Leaf::True: return "true";
    case Leaf::False: return "false";
    case Leaf::None: break;
  }
  return "";
}

// Whether the element name is `literal`, compared inline: element names
// are short and every element is checked. Reads `name` no further than its
// first difference, so never past its end.
template <std::size_t N>
bool named(const char* name, const char (&literal)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (name[i] != literal[i]) return false;
  }
  return true;
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

class Reader {
 public:
  Reader() : parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) return;
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Reader::onStart, &Reader::onEnd);
    XML_SetCharacterDataHandler(parser_, &Reader::onText);
    XML_SetEntityDeclHandler(parser_, &Reader::onEntityDecl);
    XML_SetSkippedEntityHandler(parser_, &Reader::onSkippedEntity);
  }
  ~Reader() {
    if (parser_) XML_ParserFree(parser_);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Feeds one piece of the document; `last` marks the end. False once the
  // document is refused.
  bool feed(const char* bytes, std::size_t size, bool last) {
    if (!parser_) return fail("out of memory"), false;
    if (XML_Parse(parser_, bytes, static_cast<int>(size), last) != XML_STATUS_OK) {
      noteExpatError();
      return false;
    }
    return !failed_;
  }

  // Reads into expat's own buffer, so no byte is copied twice.
  bool feedFromFd(int fd) {
    if (!parser_) return fail("out of memory"), false;
    for (;;) {
      void* buffer = XML_GetBuffer(parser_, static_cast<int>(kBlockSize));
      if (!buffer) return fail("out of memory"), false;
      ssize_t n;
      do {
        n = ::read(fd, buffer, kBlockSize);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return fail(std::string("read failed: ") + std::strerror(errno)), false;
      if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
        noteExpatError();
        return false;
      }
      if (failed_) return false;
      if (n == 0) return true;
    }
  }

  std::optional<Value> finish(std::string* reason) {
    if (!failed_ && !root_) fail("no property list value");
    if (failed_) {
      if (reason) *reason = error_;
      return std::nullopt;
    }
    return std::move(root_);
  }

 private:
  static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char**) {
    static_cast<Reader*>(self)->start(name);
  }
  static void XMLCALL onEnd(void* self, const XML_Char*) { static_cast<Reader*>(self)->end(); }
  static void XMLCALL onText(void* self, const XML_Char* s, int len) {
    static_cast<Reader*>(self)->text(s, static_cast<std::size_t>(len));
  }
  static void XMLCALL onEntityDecl(void* self, const XML_Char*, int, const XML_Char*, int,
                                   const XML_Char*, const XML_Char*, const XML_Char*,
                                   const XML_Char*) {
    // Entity declarations serve no property list and open the door to
    // expansion attacks, so a document that declares one is refused.
    static_cast<Reader*>(self)->fail("entity declarations are not allowed");
  }
  static void XMLCALL onSkippedEntity(void* self, const XML_Char* name, int) {
    static_cast<Reader*>(self)->fail(std::string("undefined entity &") + name + ";");
  }

  bool fail(std::string message) {
    if (failed_) return false;
    failed_ = true;
    error_ = std::move(message);
    if (parser_) {
      error_ += " (line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ")";
      XML_StopParser(parser_, XML_FALSE);
    }
    return false;
  }

  void noteExpatError() {
    if (failed_) return;  // our own refusal stopped the parser
    failed_ = true;
    const XML_Error code = XML_GetErrorCode(parser_);
    error_ = std::string("malformed XML: ") + XML_ErrorString(code) + " (line " +
             std::to_string(XML_GetCurrentLineNumber(parser_)) + ", column " +
             std::to_string(XML_GetCurrentColumnNumber(parser_)) + ")";
  }

  [[nodiscard]] bool inDict() const {
    return !frames_.empty() && frames_.back().kind == Container::Dict;
  }
  [[nodiscard]] bool keyPending() const {
    const Frame& f = frames_.back();
    return keys_.size() - f.keys > values_.size() - f.values;
  }

  // Checks that a value may begin here.
  bool valueMayStart(const char* name) {
    if (rootDone_) return fail(std::string("content after the root: <") + name + ">");
    if (frames_.empty()) return true;
    const Frame& f = frames_.back();
    if (f.kind == Container::Plist && values_.size() > f.values) {
      return fail(std::string("content after the root: <") + name + ">");
    }
    if (f.kind == Container::Dict && !keyPending()) {
      return fail(std::string("value without a key: <") + name + ">");
    }
    return true;
  }

  void start(const char* name) {
    if (failed_) return;
    if (leaf_ != Leaf::None) {
      fail(std::string("element <") + name + "> inside <" + leafName(leaf_) + ">");
      return;
    }
    Leaf leaf = Leaf::None;
    switch (name[0]) {
      case 'a':
        if (named(name, "array")) return openContainer(Container::Array, name);
        break;
      case 'd':
        if (named(name, "dict")) return openContainer(Container::Dict, name);
        if (named(name, "data")) leaf = Leaf::Data;
        if (named(name, "date")) leaf = Leaf::Date;
        break;
      case 'f':
        if (named(name, "false")) leaf = Leaf::False;
        break;
      case 'i':
        if (named(name, "integer")) leaf = Leaf::Integer;
        break;
      case 'k':
        if (named(name, "key")) {
          if (!inDict()) {
            fail("key outside a dict");
          } else if (keyPending()) {
            fail("key without a value");
          } else {
            leaf_ = Leaf::Key;
            text_.clear();
          }
          return;
        }
        break;
      case 'p':
        if (named(name, "plist")) {
          if (!frames_.empty() || rootDone_) {
            fail("unexpected <plist>");
          } else {
            frames_.push_back({Container::Plist, 0, 0});
          }
          return;
        }
        break;
      case 'r':
        if (named(name, "real")) leaf = Leaf::Real;
        break;
      case 's':
        if (named(name, "string")) leaf = Leaf::String;
        break;
      case 't':
        if (named(name, "true")) leaf = Leaf::True;
        break;
      default: break;
    }
    if (leaf == Leaf::None) {
      fail(std::string("unknown element <") + name + ">");
      return;
    }
    if (!valueMayStart(name)) return;
    leaf_ = leaf;
    text_.clear();
  }

  void openContainer(Container kind, const char* name) {
    if (!valueMayStart(name)) return;
    if (depth_ == kMaxXmlNesting) {
      fail("more than " + std::to_string(kMaxXmlNesting) + " nested containers");
      return;
    }
    ++depth_;
    frames_.push_back({kind, static_cast<std::uint32_t>(values_.size()),
                       static_cast<std::uint32_t>(keys_.size())});
  }

  void end() {
    if (failed_) return;
    if (leaf_ != Leaf::None) {
      const Leaf leaf = leaf_;
      leaf_ = Leaf::None;
      closeLeaf(leaf);
      return;
    }
    const Frame f = frames_.back();
    frames_.pop_back();
    switch (f.kind) {
      case Container::Plist:
        if (values_.size() == f.values) {
          fail("empty <plist>");
          return;
        }
        root_ = std::move(values_.back());
        values_.pop_back();
        rootDone_ = true;
        return;
      case Container::Array: {
        --depth_;
        // Built at its final size: no growth slack stays behind.
        const auto first = values_.begin() + f.values;
        Array items(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
        values_.erase(first, values_.end());
        emit(Value::array(std::move(items)));
        return;
      }
      case Container::Dict: {
        --depth_;
        if (keys_.size() - f.keys > values_.size() - f.values) {
          fail("key without a value");
          return;
        }
        const std::size_t n = values_.size() - f.values;
        std::vector<Dictionary::Entry> entries;
        entries.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
          entries.emplace_back(std::move(keys_[f.keys + i]), std::move(values_[f.values + i]));
        }
        keys_.resize(f.keys);
        values_.resize(f.values);
        emit(Value::dictionary(Dictionary(std::move(entries))));
        return;
      }
    }
  }

  void emit(Value v) {
    if (frames_.empty()) {
      root_ = std::move(v);
      rootDone_ = true;
    } else {
      values_.push_back(std::move(v));
    }
  }

  void text(const char* s, std::size_t len) {
    if (failed_) return;
    switch (leaf_) {
      case Leaf::Key:
      case Leaf::String:
      case Leaf::Integer:
      case Leaf::Real:
      case Leaf::Date:
      case Leaf::Data:
        // Strings keep a 32-bit length; UTF-16 never needs more units than
        // UTF-8 has bytes, so bounding the bytes bounds the string.
        if (len > kMaxTextBytes - text_.size()) {
          fail("text longer than " + std::to_string(kMaxTextBytes) + " bytes");
          return;
        }
        text_.append(s, len);
        return;
      default: break;
    }
    for (std::size_t i = 0; i < len; ++i) {
      if (!isXmlSpace(s[i])) {
        fail(leaf_ == Leaf::None ? std::string("text where none belongs")
                                 : std::string("text inside <") + leafName(leaf_) + ">");
        return;
      }
    }
  }

  // Decodes the collected text once, straight into its shared buffer;
  // keys and short strings come from the tables.
  SharedString makeString(bool isKey) {
    if (text_.empty()) return SharedString();
    const std::string_view utf8(text_);
    if (isKey) return keyTable_.get(utf8);
    // A string of more than kInternMaxUnits units has more bytes than that;
    // one of more than three bytes a unit has fewer.
    if (utf8.size() <= kInternMaxUnits ||
        (utf8.size() <= kInternMaxUnits * 3 && utf16Units(utf8) <= kInternMaxUnits)) {
      return stringTable_.get(utf8);
    }
    return SharedString::fromUtf8(utf8);
  }

  void closeLeaf(Leaf leaf) {
    switch (leaf) {
      case Leaf::Key: keys_.push_back(makeString(true)); return;
      case Leaf::String: emit(Value::string(makeString(false))); return;
      case Leaf::True: emit(Value::boolean(true)); return;
      case Leaf::False: emit(Value::boolean(false)); return;
      case Leaf::Integer: {
        if (auto v = parseXmlInteger(text_)) return emit(std::move(*v));
        fail("unparsable integer \"" + clip(text_) + "\"");
        return;
      }
      case Leaf::Real: {
        if (auto d = parseXmlReal(text_)) return emit(Value::real(*d));
        fail("unparsable real \"" + clip(text_) + "\"");
        return;
      }
      case Leaf::Date: {
        if (auto d = parseXmlDate(text_)) return emit(Value::date(*d));
        fail("unparsable date \"" + clip(text_) + "\"");
        return;
      }
      case Leaf::Data: {
        if (auto bytes = decodeBase64(text_)) return emit(Value::data(std::move(*bytes)));
        fail("unparsable base64 data");
        return;
      }
      case Leaf::None: return;
    }
  }

  static std::string clip(const std::string& s) { return s.size() > 40 ? s.substr(0, 40) + "..." : s; }

  XML_Parser parser_;
  std::vector<Frame> frames_;
  std::vector<Value> values_;
  std::vector<SharedString> keys_;
  StringTable keyTable_{kKeyLimit};
  StringTable stringTable_{kInternLimit};
  std::string text_;
  std::optional<Value> root_;
  std::string error_;
  std::size_t depth_ = 0;
  Leaf leaf_ = Leaf::None;
  bool rootDone_ = false;
  bool failed_ = false;
};

}  // namespace

std::optional<Value> readXmlPropertyList(std::span<const std::uint8_t> bytes, std::string* reason) {
  Reader reader;
  const char* p = reinterpret_cast<const char*>(bytes.data());
  std::size_t left = bytes.size();
  // expat takes an int length, so a huge buffer goes in pieces.
  constexpr std::size_t kPiece = std::size_t{1} << 28;
  do {
    const std::size_t n = left < kPiece ? left : kPiece;
    left -= n;
    if (!reader.feed(p, n, left == 0)) break;
    p += n;
  } while (left > 0);
  return reader.finish(reason);
}

std::optional<Value> readXmlPropertyListFromFd(int fd, std::string* reason) {
  Reader reader;
  (void)reader.feedFromFd(fd);
  return reader.finish(reason);
}

}  // namespace fw::plist
