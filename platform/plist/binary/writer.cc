#include "platform/plist/binary/writer.h"

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

class Writer {
 public:
  explicit Writer(std::string* reason) : table_(reason) {}

  // Numbers the tree's objects; false when it cannot be written.
  bool number(const Value& root) {
    // A first walk counts nodes and references, so that nothing grows while
    // the objects are numbered.
    std::uint64_t nodes = 0;
    std::uint64_t refs = 0;
    count(root, 0, &nodes, &refs);
    if (table_.failed()) return false;
    if (nodes >= kNone || refs >= kNone) {
      table_.fail(kTooMany);
      return false;
    }
    table_.reserve(static_cast<std::size_t>(nodes), static_cast<std::size_t>(refs), 0);
    visit(root);
    return !table_.failed();
  }

  BinaryObjectTable& table() { return table_; }

 private:
  std::uint32_t visit(const Value& v) {
    if (table_.failed()) return 0;
    switch (v.kind()) {
      case Kind::Boolean: return table_.addBoolean(*v.asBoolean());
      case Kind::Integer: {
        if (v.isBigUnsigned()) return table_.addScalar(ObjectKind::BigInt, *v.asUnsigned(), 17);
        const std::int64_t i = *v.asInteger();
        const auto bits = static_cast<std::uint64_t>(i);
        return table_.addScalar(ObjectKind::Int, bits, 1 + (i < 0 ? 8 : bplist::intWidth(bits)));
      }
      case Kind::Real: return table_.addScalar(ObjectKind::Real, doubleBits(*v.asReal()), 9);
      case Kind::Date:
        return table_.addScalar(ObjectKind::Date, doubleBits(v.asDate()->seconds), 9);
      case Kind::Uid: {
        const std::uint64_t u = v.asUid()->value;
        return table_.addScalar(ObjectKind::Uid, u, 1 + bplist::intWidth(u));
      }
      case Kind::String: return table_.addString(v.asSharedString()->view());
      case Kind::Data: return table_.addData(v);
      case Kind::Array: {
        const Array& items = *v.asArray();
        const std::uint32_t id = table_.addContainer(false, items.size());
        if (table_.failed()) return 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
          const std::uint32_t item = visit(items[i]);
          table_.references(id)[i] = item;
        }
        return id;
      }
      case Kind::Dictionary: {
        const Dictionary& dict = *v.asDictionary();
        const std::uint32_t id = table_.addContainer(true, dict.size());
        if (table_.failed()) return 0;
        std::size_t i = 0;
        for (const auto& entry : dict) {
          const std::uint32_t key = table_.addString(entry.first.view());
          table_.references(id)[i++] = key;
        }
        for (const auto& entry : dict) {
          const std::uint32_t value = visit(entry.second);
          table_.references(id)[i++] = value;
        }
        return id;
      }
    }
    return 0;
  }

  void count(const Value& v, std::size_t depth, std::uint64_t* nodes, std::uint64_t* refs) {
    ++*nodes;
    if (const Array* items = v.asArray()) {
      if (depth >= bplist::kMaxDepth) return table_.fail(kTooDeep);
      *refs += items->size();
      for (const Value& item : *items) count(item, depth + 1, nodes, refs);
    } else if (const Dictionary* dict = v.asDictionary()) {
      if (depth >= bplist::kMaxDepth) return table_.fail(kTooDeep);
      *refs += dict->size() * 2;
      *nodes += dict->size();
      for (const auto& entry : *dict) count(entry.second, depth + 1, nodes, refs);
    }
  }

  BinaryObjectTable table_;
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
  return encodeBinaryObjects(writer.table());
}

bool writeBinaryPropertyList(const Value& root, const ByteSink& sink, std::string* reason) {
  Writer writer(reason);
  return writer.number(root) && encodeBinaryObjectsTo(writer.table(), sink);
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
  return finishWith<std::optional<std::vector<std::uint8_t>>>(reason, encodeBinaryObjects);
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
