#include "platform/plist/binary/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/plist/binary/reader.h"
#include "platform/strings/unicode.h"

namespace fw::plist {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes write(const Value& v) {
  auto out = writeBinaryPropertyList(v);
  EXPECT_TRUE(out);
  return out ? *out : Bytes{};
}

Bytes header() { return {'b', 'p', 'l', 'i', 's', 't', '0', '0'}; }

Bytes trailer(std::uint8_t offsetSize, std::uint8_t refSize, std::uint8_t count,
              std::uint8_t table) {
  return {0, 0, 0, 0, 0, 0, offsetSize, refSize, 0, 0, 0, 0, 0, 0, 0, count,
          0, 0, 0, 0, 0, 0, 0,          0,       0, 0, 0, 0, 0, 0, 0, table};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(BinaryWriter, WritesExactBytesForSmallValues) {
  EXPECT_EQ(write(Value::integer(1)),
            concat({header(), {0x10, 0x01}, {0x08}, trailer(1, 1, 1, 10)}));
  Dictionary d;
  d.set(u"a", Value::string(u"b"));
  d.set(u"c", Value::string(u"b"));  // stored once
  EXPECT_EQ(write(Value::dictionary(d)), concat({header(),
                                                 {0xD2, 1, 2, 3, 3},
                                                 {0x51, 'a'},
                                                 {0x51, 'c'},
                                                 {0x51, 'b'},
                                                 {0x08, 0x0D, 0x0F, 0x11},
                                                 trailer(1, 1, 4, 19)}));
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
       {0x5F, 0x10, 0x0F, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n',
        'o'}},
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
  // Widths that would fit in 3 bytes take 4, which every reader accepts:
  // offsets past 65,535 with three objects, and references past 65,535.
  EXPECT_EQ(widths(write(
                Value::array({Value::string(std::u16string(70000, u'x')), Value::string(u"y")}))),
            (std::vector<int>{4, 1, 3}));
  for (int i = 255; i < 70000; ++i) many.push_back(Value::integer(i + 1000));
  const Bytes wide = write(Value::array(many));
  EXPECT_EQ(widths(wide), (std::vector<int>{4, 4, 70002 & 0xFF}));  // 70,001 integers and the array
  const auto back = readBinaryPropertyList(wide);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, Value::array(many));
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

// Items repeat inside and across containers, with nested containers
// between them and keys equal to values, and scalars of different kinds
// share their bits: each reference must be found again as the file is
// encoded, and to the object of the right kind.
TEST(BinaryWriter, FindsEveryReferenceAgainInTreesOfRepeatedItems) {
  std::mt19937 rng(7);
  const std::vector<Value> pool = {Value::string(u"a"),
                                   Value::string(u"k1"),
                                   Value::string(u"\u00e9"),
                                   Value::integer(1),
                                   Value::integer(-1),
                                   Value::unsignedInteger(UINT64_MAX),
                                   Value::real(1.0),
                                   Value::date(Date{1.0}),
                                   Value::uid(Uid{1}),
                                   Value::boolean(true),
                                   Value::data(std::string_view("a", 1))};
  std::function<Value(int)> tree = [&](int depth) {
    const unsigned r = rng() % 10;
    if (depth > 4 || r < 5) return pool[rng() % pool.size()];
    const unsigned n = rng() % 6;
    if (r < 7) {
      Array items;
      for (unsigned i = 0; i < n; ++i) items.push_back(tree(depth + 1));
      return Value::array(std::move(items));
    }
    Dictionary dict;
    for (unsigned i = 0; i < n; ++i)
      dict.set(u"k" + asciiToUtf16(std::to_string(rng() % 4)), tree(depth + 1));
    return Value::dictionary(std::move(dict));
  };
  for (int i = 0; i < 300; ++i) {
    const Value v = tree(0);
    const auto back = readBinaryPropertyList(write(v));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, v);
  }
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

using ArrayHandle = BinaryPropertyListBuilder::ArrayHandle;
using DictionaryHandle = BinaryPropertyListBuilder::DictionaryHandle;

void putString(BinaryPropertyListBuilder& b, const SharedString& s) { b.string(s); }
void putString(ArrayHandle& h, const SharedString& s) { h.add(s); }
void putString(DictionaryHandle& h, const SharedString& s) { h.value(s); }

void fill(ArrayHandle h, const Value& v, bool pairs);
void fill(DictionaryHandle h, const Value& v, bool pairs);

// Adds `v` as the next item of `parent` the way the Value writer numbers it:
// depth first, a dictionary's keys before its values. With `pairs`, a
// dictionary of strings is given as key and value pairs.
template <typename Parent>
void build(Parent& parent, const Value& v, bool pairs = false) {
  if (const auto* s = v.asSharedString()) return putString(parent, *s);
  if (const Array* items = v.asArray()) return fill(parent.array(items->size()), v, pairs);
  fill(parent.dictionary(v.asDictionary()->size()), v, pairs);
}

void fill(ArrayHandle h, const Value& v, bool pairs) {
  for (const Value& item : *v.asArray()) build(h, item, pairs);
}

void fill(DictionaryHandle h, const Value& v, bool pairs) {
  const Dictionary& dict = *v.asDictionary();
  bool strings = pairs;
  for (const auto& entry : dict) strings = strings && entry.second.is(Kind::String);
  if (strings) {
    // Half the dictionaries pair by pair, the other half all at once.
    std::vector<std::pair<SharedString, SharedString>> entries;
    for (const auto& entry : dict)
      entries.emplace_back(entry.first, *entry.second.asSharedString());
    if (dict.size() % 2 == 0) return h.add(entries);
    for (const auto& [key, value] : entries) h.add(key, value);
    return;
  }
  for (const auto& entry : dict) h.key(entry.first);
  for (const auto& entry : dict) build(h, entry.second, pairs);
}

TEST(BinaryPropertyListBuilder, GivesTheValueWritersBytesForTheSameTree) {
  // Shared buffers and equal copies, keys equal to values, non-ASCII text,
  // counts past the one-byte header, and enough objects for wide references.
  const SharedString shared(u"/Users/someone/Music");
  Dictionary big;
  for (int i = 0; i < 700; ++i) {  // runs longer than the builder's chunks
    big.set(SharedString(u"name" + asciiToUtf16(std::to_string(i))),
            Value::string(i % 3 ? shared : SharedString(u"/Users/someone/Music")));
  }
  big.set(u"caf\u00e9", Value::string(u"name7"));
  Array list;
  for (int i = 0; i < 20; ++i)
    list.push_back(Value::string(i % 2 ? u"\u65e5\u672c" : u"playlists"));
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
    build(b, tree);
    auto built = b.finish();
    ASSERT_TRUE(built);
    EXPECT_EQ(*built, write(tree));
    // finish() starts afresh: the same calls give the same file again, and
    // so do key and value pairs.
    build(b, tree);
    EXPECT_EQ(b.finish(), built);
    build(b, tree, true);
    EXPECT_EQ(b.finish(), built);
  }
}

TEST(BinaryPropertyListBuilder, StreamsTheSameFileInPiecesAndStopsWhenTheSinkRefuses) {
  // A string and a container each larger than a piece, around small ones.
  std::u16string longText(200000, u'\u00e9');
  Array many;
  for (int i = 0; i < 100000; ++i) many.push_back(Value::string(asciiToUtf16(std::to_string(i))));
  many.push_back(Value::string(longText));
  Dictionary root;
  root.set(u"many", Value::array(many));
  root.set(u"after", Value::string(u"x"));
  const Value tree = Value::dictionary(root);
  const std::vector<std::uint8_t> expected = write(tree);

  BinaryPropertyListBuilder b(BinaryPropertyListBuilder::StringLifetime::borrowed);
  std::vector<std::uint8_t> streamed;
  std::size_t pieces = 0;
  std::size_t largest = 0;
  const ByteSink collect = [&](std::span<const std::uint8_t> piece) {
    streamed.insert(streamed.end(), piece.begin(), piece.end());
    largest = std::max(largest, piece.size());
    return ++pieces > 0;
  };
  build(b, tree);
  ASSERT_TRUE(b.finishTo(collect));
  EXPECT_EQ(streamed, expected);
  EXPECT_GT(pieces, 3u);
  EXPECT_LE(largest, std::size_t{256} << 10);  // the long string too comes in pieces

  // The Value writer streams the same bytes.
  streamed.clear();
  ASSERT_TRUE(writeBinaryPropertyList(tree, collect));
  EXPECT_EQ(streamed, expected);

  std::string reason = "untouched";
  build(b, tree);
  EXPECT_FALSE(b.finishTo([&](std::span<const std::uint8_t>) { return false; }, &reason));
  EXPECT_EQ(reason, "untouched");
  // A builder that failed hands the sink nothing.
  b.array(2).add(SharedString(u"x"));
  pieces = 0;
  EXPECT_FALSE(b.finishTo(collect, &reason));
  EXPECT_EQ(pieces, 0u);
  EXPECT_NE(reason, "untouched");
}

TEST(BinaryPropertyListBuilder, TakesTemporariesWhoseBuffersComeBack) {
  // Each temporary is freed before the next is made, so the allocator may
  // hand the same buffer back with other text; only an equal text may give
  // an equal number.
  const std::u16string texts[] = {u"a", u"a", u"b", u"a", u"c", u"c", u"d", u"b", u"e"};
  Array expected;
  Dictionary pairs;
  for (const auto& text : texts) expected.push_back(Value::string(text));
  for (std::size_t i = 0; i + 1 < std::size(texts); i += 2)
    pairs.set(texts[i] + u"k", Value::string(texts[i + 1]));
  BinaryPropertyListBuilder b;
  auto list = b.array(std::size(texts));
  for (const auto& text : texts) list.add(SharedString(text));
  EXPECT_EQ(b.finish(), write(Value::array(expected)));
  auto dict = b.dictionary(pairs.size());
  for (std::size_t i = 0; i + 1 < std::size(texts); i += 2) {
    dict.add(SharedString(texts[i] + u"k"), SharedString(texts[i + 1]));
  }
  EXPECT_EQ(b.finish(), write(Value::dictionary(pairs)));
}

TEST(BinaryPropertyListBuilder, FailsOnCallsThatBreakTheShapeItWasGiven) {
  static const SharedString k(u"k"), v(u"v");
  struct Case {
    const char* what;
    void (*calls)(BinaryPropertyListBuilder&);
  };
  const Case cases[] = {
      {"nothing added", [](BinaryPropertyListBuilder&) {}},
      {"a second root", [](BinaryPropertyListBuilder& b) { b.string(k), b.string(v); }},
      {"an item past the count",
       [](BinaryPropertyListBuilder& b) {
         auto a = b.array(1);
         a.add(k), a.add(v);
       }},
      // A reference left unset would point at object 0, the root: a cycle.
      {"an array left short", [](BinaryPropertyListBuilder& b) { b.array(2).add(k); }},
      {"a dictionary left without values",
       [](BinaryPropertyListBuilder& b) { b.dictionary(1).key(k); }},
      {"a key past the count",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(1);
         d.key(k), d.key(v);
       }},
      {"a value before the last key",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(2);
         d.key(k), d.value(v);
       }},
      {"a value past the count",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(1);
         d.key(k), d.value(v), d.value(v);
       }},
      {"a pair after a lone key",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(2);
         d.key(k), d.add(v, v);
       }},
      {"entries at once after a key",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(1);
         d.key(k);
         const std::pair<SharedString, SharedString> entries[] = {{k, v}};
         d.add(entries);
       }},
      {"a lone key after a pair",
       [](BinaryPropertyListBuilder& b) {
         auto d = b.dictionary(2);
         d.add(k, k), d.key(v);
       }},
  };
  for (const Case& c : cases) {
    BinaryPropertyListBuilder b;
    c.calls(b);
    std::string reason;
    EXPECT_FALSE(b.finish(&reason)) << c.what;
    EXPECT_FALSE(reason.empty()) << c.what;
    // A failure does not stick to the next file.
    b.array(1).add(SharedString(u"x"));
    EXPECT_EQ(b.finish(), write(Value::array(Array{Value::string(u"x")}))) << c.what;
  }
}

}  // namespace
}  // namespace fw::plist
