#include "platform/plist/tree_builder.h"

#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "platform/containers/open_addressing_index.h"

namespace fw::plist {
namespace {

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

}  // namespace

// Shared strings looked up by their UTF-8 text, so that a string seen
// before costs a hash and a compare, and is never decoded again.
class TreeBuilder::StringTable {
 public:
  explicit StringTable(std::size_t limit) : limit_(limit) {}

  // The shared copy of key `utf8` that followed the key with entry index
  // `previous` (or kNone): records repeat their keys in the same order, so
  // the key that came after it last time is tried first, with one compare
  // and no hashing. `previous` becomes this key's entry.
  SharedString getAfter(std::uint32_t& previous, std::string_view utf8) {
    if (previous != kNone) {
      const std::uint32_t guess = next_[previous];
      if (guess != kNone) {
        const Entry& e = entries_[guess];
        if (e.length == utf8.size() &&
            std::memcmp(bytes_.data() + e.offset, utf8.data(), utf8.size()) == 0) {
          previous = guess;
          return e.value;
        }
      }
    }
    std::uint32_t found = kNone;
    SharedString value = get(utf8, &found);
    if (previous != kNone && found != kNone) next_[previous] = found;
    previous = found;
    return value;
  }

  // The shared copy of `utf8`. A new string is added while the table has
  // room; once it is full, new strings are decoded on their own. `entry`
  // is set to its index in the table, or kNone.
  SharedString get(std::string_view utf8, std::uint32_t* entry = nullptr) {
    const auto hash = static_cast<std::uint32_t>(hashBytes(utf8.data(), utf8.size()));
    const std::uint32_t id = index_.find(hash, [&](std::uint32_t candidate) {
      const Entry& e = entries_[candidate];
      return e.length == utf8.size() &&
             std::memcmp(bytes_.data() + e.offset, utf8.data(), utf8.size()) == 0;
    });
    if (id != Index::kAbsent) {
      if (entry) *entry = id;
      return entries_[id].value;
    }
    SharedString value = SharedString::fromUtf8(utf8);
    if (entries_.size() < limit_ && add(hash, utf8, value) && entry) {
      *entry = static_cast<std::uint32_t>(entries_.size() - 1);
    }
    return value;
  }

  static constexpr std::uint32_t kNone = UINT32_MAX;

 private:
  using Index = OpenAddressingIndex<std::uint32_t, 256>;  // entry indices by hash
  // Sixteen bytes, so that many fit the cache; the hash is in the slot.
  struct Entry {
    std::uint32_t offset;  // of the UTF-8 text in bytes_
    std::uint32_t length;
    SharedString value;
  };

  bool add(std::uint32_t hash, std::string_view utf8, const SharedString& value) {
    // Offsets are 32 bits: a table of texts beyond that stops growing.
    if (bytes_.size() + utf8.size() > UINT32_MAX) return false;
    entries_.push_back({static_cast<std::uint32_t>(bytes_.size()),
                        static_cast<std::uint32_t>(utf8.size()), value});
    next_.push_back(kNone);
    bytes_.append(utf8);
    index_.insert(hash, static_cast<std::uint32_t>(entries_.size() - 1));
    return true;
  }

  std::size_t limit_;
  Index index_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> next_;  // per entry: the key seen after it last
  std::string bytes_;
};

TreeBuilder::TreeBuilder()
    : keyTable_(std::make_unique<StringTable>(kKeyLimit)),
      stringTable_(std::make_unique<StringTable>(kInternLimit)) {}

TreeBuilder::~TreeBuilder() = default;

void TreeBuilder::restart() {
  lastKey_ = StringTable::kNone;
  frames_.clear();
  values_.clear();
  keys_.clear();
  root_.reset();
}

std::optional<Value> TreeBuilder::take() {
  if (!frames_.empty()) return std::nullopt;
  return std::move(root_);
}

void TreeBuilder::emit(Value v) {
  if (frames_.empty()) {
    root_ = std::move(v);
  } else {
    values_.push_back(std::move(v));
  }
}

void TreeBuilder::beginDictionary() {
  frames_.push_back(
      {static_cast<std::uint32_t>(values_.size()), static_cast<std::uint32_t>(keys_.size())});
}
void TreeBuilder::beginArray() { beginDictionary(); }

void TreeBuilder::endArray() {
  const Frame f = frames_.back();
  frames_.pop_back();
  // Built at its final size: no growth slack stays behind.
  const auto first = values_.begin() + f.values;
  Array items(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
  values_.erase(first, values_.end());
  emit(Value::array(std::move(items)));
}

void TreeBuilder::endDictionary() {
  const Frame f = frames_.back();
  frames_.pop_back();
  const std::size_t n = values_.size() - f.values;
  std::vector<Dictionary::Entry> entries;
  entries.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    entries.emplace_back(std::move(keys_[f.keys + i]), std::move(values_[f.values + i]));
  }
  keys_.resize(f.keys);
  values_.resize(f.values);
  emit(Value::dictionary(Dictionary(std::move(entries))));
}

void TreeBuilder::key(EventText text) {
  if (text.empty()) {
    keys_.emplace_back();
  } else if (text.isWide()) {
    keys_.push_back(text.toShared());
  } else {
    keys_.push_back(keyTable_->getAfter(lastKey_, text.utf8()));
  }
}

void TreeBuilder::string(EventText text) {
  if (text.empty()) return emit(Value::string(SharedString()));
  if (text.isWide()) return emit(Value::string(text.toShared()));
  const std::string_view utf8 = text.utf8();
  // A string of more than kInternMaxUnits units has more bytes than that;
  // one of more than three bytes a unit has fewer.
  if (utf8.size() <= kInternMaxUnits ||
      (utf8.size() <= kInternMaxUnits * 3 && utf16Units(utf8) <= kInternMaxUnits)) {
    return emit(Value::string(stringTable_->get(utf8)));
  }
  emit(Value::string(SharedString::fromUtf8(utf8)));
}

void TreeBuilder::scalar(const Value& value) { emit(value); }

void TreeBuilder::data(std::span<const std::uint8_t> bytes) { emit(Value::data(bytes)); }

}  // namespace fw::plist
