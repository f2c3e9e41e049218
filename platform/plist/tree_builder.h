#pragma once

// Builds a value tree from property-list events: the tree reader behind
// readXmlPropertyList. Keys, and strings of up to 48 code units, are shared
// through tables looked up by their UTF-8 text, so a library that repeats
// its kinds, genres and field names thousands of times holds each once and
// decodes it once. Containers are built at their final size when they end.

#include <memory>
#include <optional>
#include <vector>

#include "platform/plist/plist_events.h"

namespace fw::plist {

class TreeBuilder final : public PropertyListEvents {
 public:
  TreeBuilder();
  ~TreeBuilder() override;
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  void beginDictionary() override;
  void endDictionary() override;
  void beginArray() override;
  void endArray() override;
  void key(EventText text) override;
  void string(EventText text) override;
  void scalar(const Value& value) override;
  void data(std::span<const std::uint8_t> bytes) override;
  void restart() override;

  // The root, once the events are complete; nullopt before.
  [[nodiscard]] std::optional<Value> take();

 private:
  struct Frame {
    std::uint32_t values;  // first value of this container on the value stack
    std::uint32_t keys;    // first key of this dictionary on the key stack
  };
  class StringTable;

  void emit(Value v);

  std::vector<Frame> frames_;
  std::vector<Value> values_;
  std::vector<SharedString> keys_;
  std::unique_ptr<StringTable> keyTable_;
  std::unique_ptr<StringTable> stringTable_;
  std::optional<Value> root_;
  std::uint32_t lastKey_ = UINT32_MAX;  // the key table's entry of the last key
};

}  // namespace fw::plist
