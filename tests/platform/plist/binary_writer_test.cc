#include "platform/plist/binary_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/plist/binary_reader.h"

namespace fw::plist {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes write(const Value& v) {
  auto out = writeBinaryPropertyList(v);
  EXPECT_TRUE(out);
  return out ? *out : Bytes{};
}

std::u16string asciiToUtf16Test(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

Bytes header() { return {'b', 'p', 'l', 'i', 's', 't', '0', '0'}; }

Bytes trailer(std::uint8_t offsetSize, std::uint8_t refSize, std::uint8_t count, std::uint8_t table) {
  return {0, 0, 0, 0, 0, 0, offsetSize, refSize, 0, 0, 0, 0, 0, 0, 0, count,
          0, 0, 0, 0, 0, 0, 0, 0,          0,       0, 0, 0, 0, 0, 0, table};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(BinaryWriter, WritesExactBytesForSmallValues) {
  EXPECT_EQ(write(Value::integer(1)), concat({header(), {0x10, 0x01}, {0x08}, trailer(1, 1, 1, 10)}));
  Dictionary d;
  d.set(u"a", Value::string(u"b"));
  d.set(u"c", Value::string(u"b"));  // stored once
  EXPECT_EQ(write(Value::dictionary(d)),
            concat({header(), {0xD2, 1, 2, 3, 3}, {0x51, 'a'}, {0x51, 'c'}, {0x51, 'b'},
                    {0x08, 0x0D, 0x0F, 0x11}, trailer(1, 1, 4, 19)}));
}

// The encoded root object of a one-object file.
Bytes rootObject(const Value& v) {
  const Bytes out = write(v);
  const std::size_t table = out[out.size() - 1];
  return Bytes(out.begin() + 8, out.begin() + static_cast<std::ptrdiff_t>(table));
}

TEST(BinaryWriter, ChoosesTheSmallestEncoding) {
  struct Case {
    Value value;
    Bytes object;
  };
  const std::vector<Case> cases = {
      {Value::integer(0), {0x10, 0}},
      {Value::integer(255), {0x10, 0xFF}},
      {Value::integer(256), {0x11, 0x01, 0x00}},
      {Value::integer(65536), {0x12, 0, 1, 0, 0}},
      {Value::integer(4294967296), {0x13, 0, 0, 0, 1, 0, 0, 0, 0}},
      {Value::integer(-1), {0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {Value::unsignedInteger(0x8000000000000000u),
       {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}},
      {Value::real(1.5), {0x23, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}},
      {Value::date(Date{1}), {0x33, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {Value::uid(Uid{300}), {0x81, 0x01, 0x2C}},
      {Value::data(std::string_view("\x01\x02", 2)), {0x42, 1, 2}},
      {Value::string(u""), {0x50}},
      {Value::string(u"abc"), {0x53, 'a', 'b', 'c'}},
      {Value::string(u"é"), {0x61, 0x00, 0xE9}},
      {Value::string(u"\U0001F600"), {0x62, 0xD8, 0x3D, 0xDE, 0x00}},
      {Value::string(u"abcdefghijklmno"),
       {0x5F, 0x10, 0x0F, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o'}},
      {Value::boolean(true), {0x09}},
      {Value::array(), {0xA0}},
  };
  for (const Case& c : cases) EXPECT_EQ(rootObject(c.value), c.object) << int(c.object[0]);
}

TEST(BinaryWriter, StoresEqualScalarsOnceAndWidensReferencesOnlyWhenNeeded) {
  Array items;
  for (int i = 0; i < 3; ++i) {
    items.push_back(Value::string(u"same"));  // separate buffers, equal text
    items.push_back(Value::integer(7));
    items.push_back(Value::real(0.5));
  }
  // Trailer fields: offset width, reference width, low byte of the count.
  auto widths = [](const Bytes& b) {
    const std::size_t t = b.size() - 32;
    return std::vector<int>{b[t + 6], b[t + 7], b[t + 15]};
  };
  EXPECT_EQ(widths(write(Value::array(items))), (std::vector<int>{1, 1, 4}));  // array + 3 objects

  Array many;
  for (int i = 0; i < 255; ++i) many.push_back(Value::integer(i));
  // 256 objects: references 0..255 fit one byte; the array pushes offsets past 255.
  EXPECT_EQ(widths(write(Value::array(many))), (std::vector<int>{2, 1, 0}));
  many.push_back(Value::integer(1000));
  EXPECT_EQ(widths(write(Value::array(many))), (std::vector<int>{2, 2, 1}));
}

Value everyKind() {
  Dictionary inner;
  inner.set(u"z", Value::integer(-9000000000));
  inner.set(u"a", Value::unsignedInteger(UINT64_MAX));
  inner.set(u"m", Value::array());
  inner.set(u"e", Value::dictionary());
  Dictionary root;
  root.set(u"text", Value::string(u"Caf\u00e9 \U0001F3B5"));
  root.set(u"flags", Value::array({Value::boolean(true), Value::boolean(false)}));
  root.set(u"real", Value::real(-0.0));
  root.set(u"date", Value::date(Date{-1e9}));
  root.set(u"data", Value::data(std::string_view("\0\1\2", 3)));
  root.set(u"uid", Value::uid(Uid{1u << 20}));
  root.set(u"inner", Value::dictionary(inner));
  root.set(u"text again", Value::string(u"Caf\u00e9 \U0001F3B5"));
  return Value::dictionary(root);
}

TEST(BinaryWriter, ReadsBackEqualAndWritesTheSameBytesEveryTime) {
  const Value v = everyKind();
  const Bytes first = write(v);
  std::string why;
  const auto back = readBinaryPropertyList(first, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(*back, v);
  EXPECT_EQ(write(*back), first);
}

TEST(BinaryWriter, RefusesNestingItsReaderWouldRefuse) {
  Value v = Value::array();
  for (int i = 0; i < 511; ++i) v = Value::array({v});
  EXPECT_TRUE(writeBinaryPropertyList(v));  // 512 containers
  v = Value::array({v});
  std::string why;
  EXPECT_FALSE(writeBinaryPropertyList(v, &why));
  EXPECT_EQ(why, "nesting deeper than 512 containers");
}

}  // namespace
// Adds `v` to the builder the way the Value writer numbers it: depth first,
// a dictionary's keys before its values; with `runs`, a dictionary's keys
// as one run of strings.
std::uint32_t build(BinaryPropertyListBuilder& b, const Value& v, bool runs = false) {
  if (const auto* s = v.asSharedString()) return b.addString(*s);
  if (const Array* items = v.asArray()) {
    const std::uint32_t id = b.addArray(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) b.setReference(id, i, build(b, (*items)[i], runs));
    return id;
  }
  const Dictionary& dict = *v.asDictionary();
  const std::uint32_t id = b.addDictionary(dict.size());
  std::size_t i = 0;
  if (runs) {
    std::vector<const SharedString*> keys;
    for (const auto& entry : dict) keys.push_back(&entry.first);
    b.setStringReferences(id, 0, keys.data(), keys.size());
    i = keys.size();
  } else {
    for (const auto& entry : dict) b.setReference(id, i++, b.addString(entry.first));
  }
  for (const auto& entry : dict) b.setReference(id, i++, build(b, entry.second, runs));
  return id;
}

TEST(BinaryPropertyListBuilder, GivesTheValueWritersBytesForTheSameTree) {
  // Shared buffers and equal copies, keys equal to values, non-ASCII text,
  // counts past the one-byte header, and enough objects for wide references.
  const SharedString shared(u"/Users/someone/Music");
  Dictionary big;
  for (int i = 0; i < 700; ++i) {  // runs longer than the builder's chunks
    big.set(SharedString(u"name" + asciiToUtf16Test(std::to_string(i))),
            Value::string(i % 3 ? shared : SharedString(u"/Users/someone/Music")));
  }
  big.set(u"caf\u00e9", Value::string(u"name7"));
  Array list;
  for (int i = 0; i < 20; ++i) list.push_back(Value::string(i % 2 ? u"\u65e5\u672c" : u"playlists"));
  const std::vector<Value> trees = {
      Value::dictionary(),
      Value::string(u""),
      Value::array(Array{Value::string(u"a"), Value::string(u"a"), Value::dictionary()}),
      [&] {
        Dictionary root;
        root.set(u"playlists", Value::array(list));
        root.set(u"tunesToPaths", Value::dictionary());
        root.set(u"namesToParentPaths", Value::dictionary(big));
        return Value::dictionary(root);
      }(),
  };
  for (const Value& tree : trees) {
    BinaryPropertyListBuilder b;
    b.reserve(4, 4, 4);  // too small on purpose: only a hint
    ASSERT_EQ(build(b, tree), 0u);
    auto built = b.finish();
    ASSERT_TRUE(built);
    EXPECT_EQ(*built, write(tree));
    // finish() starts afresh: the same calls give the same file again, and
    // so do runs of strings.
    build(b, tree);
    EXPECT_EQ(b.finish(), built);
    build(b, tree, true);
    EXPECT_EQ(b.finish(), built);
  }
}

TEST(BinaryPropertyListBuilder, TakesTemporariesWhoseBuffersComeBack) {
  // Each temporary is freed before the next is made, so the allocator may
  // hand the same buffer back with other text; only an equal text may give
  // an equal number.
  const std::u16string texts[] = {u"a", u"a", u"b", u"a", u"c", u"c", u"d", u"b", u"e"};
  Array expected;
  for (const auto& text : texts) expected.push_back(Value::string(text));
  BinaryPropertyListBuilder b;
  const std::uint32_t list = b.addArray(std::size(texts));
  for (std::size_t i = 0; i < std::size(texts); ++i) b.setReference(list, i, b.addString(SharedString(texts[i])));
  EXPECT_EQ(b.finish(), write(Value::array(expected)));
}

TEST(BinaryPropertyListBuilder, FailsOnNothingAddedAndOnReferencesOutOfRange) {
  struct Case {
    const char* what;
    void (*calls)(BinaryPropertyListBuilder&);
  };
  const Case cases[] = {
      {"nothing added", [](BinaryPropertyListBuilder&) {}},
      {"index past the items", [](BinaryPropertyListBuilder& b) { b.setReference(b.addArray(1), 1, 0); }},
      {"index past keys and values",
       [](BinaryPropertyListBuilder& b) {
         const auto d = b.addDictionary(1);
         b.setReference(d, 0, b.addString(SharedString(u"k")));
         b.setReference(d, 2, 1);
       }},
      {"run past the keys and values",
       [](BinaryPropertyListBuilder& b) {
         const auto d = b.addDictionary(1);
         const SharedString k(u"k");
         const SharedString* run[] = {&k, &k};
         b.setStringReferences(d, 1, run, 2);
       }},
      {"run into something that is no container",
       [](BinaryPropertyListBuilder& b) {
         static const SharedString k(u"k");
         const SharedString* run[] = {&k};
         b.addString(k);
         b.setStringReferences(0, 0, run, 1);
       }},
      {"container into itself", [](BinaryPropertyListBuilder& b) { b.setReference(b.addArray(1), 0, 0); }},
      {"container into an earlier one",
       [](BinaryPropertyListBuilder& b) {
         const auto outer = b.addArray(1);
         const auto inner = b.addArray(1);
         b.setReference(outer, 0, inner);
         b.setReference(inner, 0, outer);
       }},
      {"object not yet added", [](BinaryPropertyListBuilder& b) { b.setReference(b.addArray(1), 0, 7); }},
      {"not a container",
       [](BinaryPropertyListBuilder& b) {
         b.addArray(1);
         b.setReference(b.addString(SharedString(u"s")), 0, 0);
       }},
  };
  for (const Case& c : cases) {
    BinaryPropertyListBuilder b;
    c.calls(b);
    std::string reason;
    EXPECT_FALSE(b.finish(&reason)) << c.what;
    EXPECT_FALSE(reason.empty()) << c.what;
    // A failure does not stick to the next file.
    const auto array = b.addArray(1);
    b.setReference(array, 0, b.addString(SharedString(u"x")));
    EXPECT_EQ(b.finish(), write(Value::array(Array{Value::string(u"x")}))) << c.what;
  }
}

}  // namespace fw::plist
