#include "platform/plist/binary/writer.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/plist/binary/format.h"
#include "platform/plist/binary/object_table.h"

namespace fw::plist {
namespace {

constexpr std::uint32_t kNone = BinaryObjectTable::kNone;
constexpr const char* kTooDeep = "nesting deeper than 512 containers";
constexpr const char* kTooMany = "more objects than the writer can number";

std::uint64_t doubleBits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return bits;
}

// The Value writer numbers the tree in one walk, then finds each
// container's references again while the file is encoded, so that the
// references, the largest part of a file of many small dictionaries, are
// never held. A nested container's number comes from the list of containers
// kept in the first walk. An item that was new where it stands took the
// next number after those already given inside the container, so that
// number is tried first; the table's lookups answer for the others, the
// items stored earlier, and a run of one shared string is answered once.
class Writer final : public BinaryReferenceSource {
 public:
  explicit Writer(std::string* reason) : table_(reason) {}

  // Numbers the tree's objects; false when it cannot be written.
  bool number(const Value& root) {
    // A first walk counts nodes and containers, so that nothing grows while
    // the objects are numbered.
    std::uint64_t nodes = 0;
    std::uint64_t containers = 0;
    count(root, 0, &nodes, &containers);
    if (table_.failed()) return false;
    if (nodes >= kNone) {
      table_.fail(kTooMany);
      return false;
    }
    table_.reserve(static_cast<std::size_t>(nodes), 0, 0);
    containers_.reserve(static_cast<std::size_t>(containers));
    visit(root);
    return !table_.failed();
  }

  BinaryObjectTable& table() { return table_; }

  const std::uint32_t* referencesOf(const BinaryObject& o) override {
    if (next_ >= containers_.size()) {
      table_.fail("a container the writer did not number");
      return nullptr;
    }
    const std::size_t at = next_++;
    std::size_t child = at + 1;  // the next nested container's place in containers_
    std::uint32_t expected = containers_[at].id + 1;  // the number a new item took
    std::u16string_view lastText;
    std::uint32_t lastId = kNone;
    auto idOfString = [&](std::u16string_view text) {
      if (lastId != kNone && text.data() == lastText.data() && text.size() == lastText.size())
        return lastId;
      const std::uint32_t id = expected < table_.objects().size() && table_.isString(expected, text)
                                   ? expected
                                   : table_.stringId(text);
      lastText = text;
      lastId = id;
      return id;
    };
    // Past a nested container, `expected` catches up at the next new item.
    auto seen = [&](std::uint32_t id) {
      if (id != kNone && id >= expected) expected = id + 1;
      return id;
    };
    auto idOf = [&](const Value& item) {
      if (item.asArray() || item.asDictionary()) {
        if (child >= containers_.size()) return kNone;
        const std::uint32_t id = containers_[child].id;
        child = containers_[child].end;
        return seen(id);
      }
      if (const SharedString* text = item.asSharedString()) return seen(idOfString(text->view()));
      return seen(idOfLeaf(item, expected));
    };
    refs_.clear();
    refs_.reserve(o.references());
    const Value& v = *static_cast<const Value*>(o.pointer());
    if (const Array* items = v.asArray()) {
      for (const Value& item : *items) refs_.push_back(idOf(item));
    } else if (const Dictionary* dict = v.asDictionary()) {
      for (const auto& entry : *dict) refs_.push_back(seen(idOfString(entry.first.view())));
      for (const auto& entry : *dict) refs_.push_back(idOf(entry.second));
    }
    // Every reference found again, and the nested containers used up.
    const bool found = std::find(refs_.begin(), refs_.end(), kNone) == refs_.end();
    if (!found || refs_.size() != o.references() || child != containers_[at].end) {
      table_.fail("a reference the writer cannot find again");
      return nullptr;
    }
    return refs_.data();
  }

 private:
  struct Scalar {
    ObjectKind kind;
    std::uint64_t bits;
    std::uint64_t bytes;  // its size in the file
  };
  static Scalar scalarOf(const Value& v) {
    switch (v.kind()) {
      case Kind::Integer: {
        if (v.isBigUnsigned()) return {ObjectKind::BigInt, *v.asUnsigned(), 17};
        const std::int64_t i = *v.asInteger();
        const auto bits = static_cast<std::uint64_t>(i);
        return {ObjectKind::Int, bits, 1 + (i < 0 ? 8 : bplist::intWidth(bits))};
      }
      case Kind::Real: return {ObjectKind::Real, doubleBits(*v.asReal()), 9};
      case Kind::Date: return {ObjectKind::Date, doubleBits(v.asDate()->seconds), 9};
      default: {
        const std::uint64_t u = v.asUid()->value;
        return {ObjectKind::Uid, u, 1 + bplist::intWidth(u)};
      }
    }
  }

  // The number visit() gave a boolean, scalar or data: `expected` when that
  // object is it.
  std::uint32_t idOfLeaf(const Value& v, std::uint32_t expected) const {
    const bool numbered = expected < table_.objects().size();
    switch (v.kind()) {
      case Kind::Boolean: return table_.booleanId(*v.asBoolean());
      case Kind::Data:
        return numbered && table_.isData(expected, *v.asData()) ? expected : table_.dataId(v);
      default: {
        const Scalar s = scalarOf(v);
        return numbered && table_.isScalar(expected, s.kind, s.bits)
                   ? expected
                   : table_.scalarId(s.kind, s.bits);
      }
    }
  }

  std::uint32_t visit(const Value& v) {
    if (table_.failed()) return 0;
    switch (v.kind()) {
      case Kind::Boolean: return table_.addBoolean(*v.asBoolean());
      case Kind::String: return table_.addString(v.asSharedString()->view());
      case Kind::Data: return table_.addData(v);
      case Kind::Array: {
        const Array& items = *v.asArray();
        const std::size_t at = enter(false, items.size(), v);
        for (const Value& item : items) visit(item);
        return leave(at);
      }
      case Kind::Dictionary: {
        const Dictionary& dict = *v.asDictionary();
        const std::size_t at = enter(true, dict.size(), v);
        // The keys a run at a time, each one's slot fetched ahead.
        table_.addStrings(
            dict.size(),
            [&](std::size_t i) -> const SharedString& { return dict.begin()[i].first; },
            [](std::size_t, std::uint32_t, const SharedString&) {}, false);
        for (const auto& entry : dict) visit(entry.second);
        return leave(at);
      }
      default: {
        const Scalar s = scalarOf(v);
        return table_.addScalar(s.kind, s.bits, s.bytes);
      }
    }
  }

  // A new container's place in containers_.
  std::size_t enter(bool dictionary, std::size_t count, const Value& v) {
    containers_.push_back({table_.addUnstoredContainer(dictionary, count, &v), 0});
    return containers_.size() - 1;
  }
  // Marks where the nested containers of the one at `at` end; its number.
  std::uint32_t leave(std::size_t at) {
    containers_[at].end = static_cast<std::uint32_t>(containers_.size());
    return containers_[at].id;
  }

  void count(const Value& v, std::size_t depth, std::uint64_t* nodes, std::uint64_t* containers) {
    ++*nodes;
    if (const Array* items = v.asArray()) {
      if (depth >= bplist::kMaxDepth) return table_.fail(kTooDeep);
      ++*containers;
      for (const Value& item : *items) count(item, depth + 1, nodes, containers);
    } else if (const Dictionary* dict = v.asDictionary()) {
      if (depth >= bplist::kMaxDepth) return table_.fail(kTooDeep);
      ++*containers;
      *nodes += dict->size();
      for (const auto& entry : *dict) count(entry.second, depth + 1, nodes, containers);
    }
  }

  // A container's number, and the end of its nested containers' run in
  // containers_ (which lists them in the order they are numbered).
  struct Container {
    std::uint32_t id;
    std::uint32_t end;
  };
  BinaryObjectTable table_;
  std::vector<Container> containers_;
  std::size_t next_ = 0;
  std::vector<std::uint32_t> refs_;
};

// A new container, with room made for what it will number: its references,
// and at most one object and one distinct string for each.
std::uint32_t addContainer(BinaryObjectTable& table, bool dictionary, std::size_t count) {
  const std::size_t refs = dictionary ? 2 * count : count;
  table.reserve(1 + refs, refs, count);
  return table.addContainer(dictionary, count);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(const Value& root,
                                                                 std::string* reason) {
  Writer writer(reason);
  if (!writer.number(root)) return std::nullopt;
  return encodeBinaryObjects(writer.table(), writer);
}

bool writeBinaryPropertyList(const Value& root, const ByteSink& sink, std::string* reason) {
  Writer writer(reason);
  return writer.number(root) && encodeBinaryObjectsTo(writer.table(), writer, sink);
}

using ArrayHandle = BinaryPropertyListBuilder::ArrayHandle;
using DictionaryHandle = BinaryPropertyListBuilder::DictionaryHandle;

BinaryPropertyListBuilder::BinaryPropertyListBuilder(StringLifetime strings)
    : strings_(strings),
      table_(std::make_unique<BinaryObjectTable>(&reason_, strings == StringLifetime::held)) {}
BinaryPropertyListBuilder::~BinaryPropertyListBuilder() = default;

void BinaryPropertyListBuilder::reserve(std::size_t objects, std::size_t references,
                                        std::size_t strings) {
  if (!table_->failed()) table_->reserve(objects, references, strings);
}

bool BinaryPropertyListBuilder::takeRoot() {
  if (!table_->objects().empty()) table_->fail("a second root");
  return !table_->failed();
}

void BinaryPropertyListBuilder::string(const SharedString& text) {
  if (takeRoot()) table_->addString(text.view(), &text);
}

ArrayHandle BinaryPropertyListBuilder::array(std::size_t count) {
  const std::uint32_t id = takeRoot() ? addContainer(*table_, false, count) : 0;
  return ArrayHandle(table_.get(), id, count);
}

DictionaryHandle BinaryPropertyListBuilder::dictionary(std::size_t count) {
  const std::uint32_t id = takeRoot() ? addContainer(*table_, true, count) : 0;
  return DictionaryHandle(table_.get(), id, count);
}

template <typename Handle>
Handle BinaryPropertyListBuilder::nested(BinaryObjectTable* table, std::uint32_t parent,
                                         std::optional<std::size_t> at, std::size_t count) {
  constexpr bool dictionary = std::is_same_v<Handle, DictionaryHandle>;
  const std::uint32_t id = at ? addContainer(*table, dictionary, count) : 0;
  if (at) table->setReference(parent, *at, id);
  return Handle(table, id, count);
}

template <typename Result, typename Encode>
Result BinaryPropertyListBuilder::finishWith(std::string* reason, Encode encode) {
  if (!table_->failed() && table_->referencesSet() != table_->allReferences().size()) {
    table_->fail("a container given fewer items than its count");
  }
  Result out = encode(*table_);
  if (!out && reason && table_->failed()) *reason = reason_;
  table_ = std::make_unique<BinaryObjectTable>(&reason_, strings_ == StringLifetime::held);
  return out;
}

std::optional<std::vector<std::uint8_t>> BinaryPropertyListBuilder::finish(std::string* reason) {
  return finishWith<std::optional<std::vector<std::uint8_t>>>(
      reason, [](BinaryObjectTable& table) { return encodeBinaryObjects(table); });
}

std::optional<LargeByteVector> BinaryPropertyListBuilder::finishInLargeBlocks(std::string* reason) {
  return finishWith<std::optional<LargeByteVector>>(reason, encodeBinaryObjectsInLargeBlocks);
}

bool BinaryPropertyListBuilder::finishTo(const ByteSink& sink, std::string* reason) {
  return finishWith<bool>(
      reason, [&](BinaryObjectTable& table) { return encodeBinaryObjectsTo(table, sink); });
}

ArrayHandle::ArrayHandle(BinaryObjectTable* table, std::uint32_t id, std::size_t count)
    : table_(table), id_(id), count_(count) {}

std::optional<std::size_t> ArrayHandle::next() {
  if (table_->failed()) return std::nullopt;
  if (added_ == count_) {
    table_->fail("an array given more items than its count");
    return std::nullopt;
  }
  return added_++;
}

void ArrayHandle::add(const SharedString& item) {
  if (const auto at = next()) table_->setReference(id_, *at, table_->addString(item.view(), &item));
}

ArrayHandle ArrayHandle::array(std::size_t count) {
  return nested<ArrayHandle>(table_, id_, next(), count);
}

DictionaryHandle ArrayHandle::dictionary(std::size_t count) {
  return nested<DictionaryHandle>(table_, id_, next(), count);
}

DictionaryHandle::DictionaryHandle(BinaryObjectTable* table, std::uint32_t id, std::size_t count)
    : table_(table), id_(id), count_(count) {}

// Keys are numbered a run at a time, so the table can fetch ahead; the run
// ends at the last key, and then add()'s values follow, in order.
void DictionaryHandle::key(const SharedString& key) {
  if (table_->failed()) return;
  if (keys_ + keyRun_.size() == count_)
    return table_->fail("a dictionary given more keys than its count");
  if (!waiting_.empty())
    return table_->fail("a dictionary key without a value after keys with values");
  keyRun_.push_back(key);
  if (keyRun_.size() == 256 || keys_ + keyRun_.size() == count_) flushKeys();
}

void DictionaryHandle::add(const SharedString& key, const SharedString& value) {
  if (table_->failed()) return;
  if (waiting_.size() != keys_ + keyRun_.size()) {
    return table_->fail("a dictionary key with a value after keys without values");
  }
  if (keys_ + keyRun_.size() == count_)
    return table_->fail("a dictionary given more keys than its count");
  waiting_.reserve(count_);
  waiting_.push_back(value);
  keyRun_.push_back(key);
  if (keyRun_.size() == 256 || keys_ + keyRun_.size() == count_) flushKeys();
}

void DictionaryHandle::flushKeys() {
  table_->addStringReferences(id_, keys_, keyRun_.size(),
                              [&](std::size_t i) -> const SharedString& { return keyRun_[i]; });
  keys_ += keyRun_.size();
  keyRun_.clear();
  if (keys_ == count_) {
    if (keyRun_.capacity() > 0) std::vector<SharedString>().swap(keyRun_);
    if (!waiting_.empty()) {
      table_->addStringReferences(
          id_, count_, waiting_.size(),
          [&](std::size_t i) -> const SharedString& { return waiting_[i]; });
      values_ = waiting_.size();
      std::vector<SharedString>().swap(waiting_);
    }
  }
}

void DictionaryHandle::add(std::span<const std::pair<SharedString, SharedString>> entries) {
  if (table_->failed()) return;
  if (keys_ + keyRun_.size() != 0 || entries.size() != count_) {
    return table_->fail("a dictionary given its entries at once and in part");
  }
  table_->addStringReferences(
      id_, 0, count_, [&](std::size_t i) -> const SharedString& { return entries[i].first; });
  table_->addStringReferences(
      id_, count_, count_, [&](std::size_t i) -> const SharedString& { return entries[i].second; });
  keys_ = values_ = count_;
}

std::optional<std::size_t> DictionaryHandle::nextValue() {
  if (table_->failed()) return std::nullopt;
  if (keys_ < count_) {
    table_->fail("a dictionary value before all of its keys");
    return std::nullopt;
  }
  if (values_ == count_) {
    table_->fail("a dictionary given more values than its count");
    return std::nullopt;
  }
  return count_ + values_++;
}

void DictionaryHandle::value(const SharedString& value) {
  if (const auto at = nextValue())
    table_->setReference(id_, *at, table_->addString(value.view(), &value));
}

ArrayHandle DictionaryHandle::array(std::size_t count) {
  return nested<ArrayHandle>(table_, id_, nextValue(), count);
}

DictionaryHandle DictionaryHandle::dictionary(std::size_t count) {
  return nested<DictionaryHandle>(table_, id_, nextValue(), count);
}

}  // namespace fw::plist
