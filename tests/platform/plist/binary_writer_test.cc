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
}  // namespace fw::plist
