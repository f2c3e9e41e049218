#include "platform/plist/binary/reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fw::plist {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putBigEndian(Bytes& out, std::uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * (width - 1 - i))));
}

// Assembles a file from encoded objects (references inside them must already
// use `refSize` bytes); object 0 is the root.
Bytes assemble(const std::vector<Bytes>& objects, std::size_t offsetSize = 1,
               std::size_t refSize = 1) {
  Bytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::uint64_t> offsets;
  for (const Bytes& o : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), o.begin(), o.end());
  }
  const std::uint64_t table = out.size();
  for (std::uint64_t off : offsets) putBigEndian(out, off, offsetSize);
  out.insert(out.end(), 6, 0);
  out.push_back(static_cast<std::uint8_t>(offsetSize));
  out.push_back(static_cast<std::uint8_t>(refSize));
  putBigEndian(out, objects.size(), 8);
  putBigEndian(out, 0, 8);
  putBigEndian(out, table, 8);
  return out;
}

std::optional<Value> read(const Bytes& b, std::string* why = nullptr) {
  return readBinaryPropertyList(b, why);
}

TEST(BinaryReader, ReadsEveryScalarKind) {
  struct Case {
    Bytes object;
    Value expected;
  };
  const std::vector<Case> cases = {
      {{0x08}, Value::boolean(false)},
      {{0x09}, Value::boolean(true)},
      {{0x10, 0xFF}, Value::integer(255)},  // 1 to 4 bytes are unsigned
      {{0x11, 0xFF, 0xFF}, Value::integer(65535)},
      {{0x12, 0xFF, 0xFF, 0xFF, 0xFF}, Value::integer(4294967295)},
      {{0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, Value::integer(-2)},
      {{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       Value::unsignedInteger(UINT64_MAX)},
      {{0x14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFB},
       Value::integer(-5)},
      {{0x22, 0x3F, 0xC0, 0, 0}, Value::real(1.5)},
      {{0x23, 0x40, 0x04, 0, 0, 0, 0, 0, 0}, Value::real(2.5)},
      {{0x33, 0x41, 0xC0, 0, 0, 0, 0, 0, 0}, Value::date(Date{536870912})},
      {{0x42, 0x00, 0xFF}, Value::data(std::string_view("\x00\xFF", 2))},
      {{0x82, 0x01, 0x02, 0x03}, Value::uid(Uid{0x010203})},
      {{0x53, 'a', 'b', 'c'}, Value::string(u"abc")},
      {{0x62, 0xD8, 0x3D, 0xDE, 0x00}, Value::string(u"\U0001F600")},
      {{0x72, 0xC3, 0xA9}, Value::string(u"é")},  // UTF-8 string type
      // "ASCII" strings holding 8-bit text: UTF-8 when valid, Latin-1 otherwise.
      {{0x55, 'c', 'a', 'f', 0xC3, 0xA9}, Value::string(u"café")},
      {{0x54, 'c', 'a', 'f', 0xE9}, Value::string(u"café")},
      // A length of 15 or more follows the marker as an integer object.
      {{0x5F, 0x10, 0x0F, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n',
        'o'},
       Value::string(u"abcdefghijklmno")},
  };
  for (const Case& c : cases) {
    std::string why;
    const auto v = read(assemble({c.object}), &why);
    ASSERT_TRUE(v) << "marker " << int(c.object[0]) << ": " << why;
    EXPECT_EQ(*v, c.expected) << "marker " << int(c.object[0]);
  }
}

TEST(BinaryReader, ReadsContainersInFileOrderAndSetsAsArrays) {
  // {"b": [1, "a"], "a": set{1}}; a repeated key keeps its first place.
  const auto v = read(assemble({{0xD3, 1, 2, 1, 3, 4, 6},
                                {0x51, 'b'},
                                {0x51, 'a'},
                                {0xA2, 5, 2},
                                {0xC1, 5},
                                {0x10, 1},
                                {0x10, 2}}));
  ASSERT_TRUE(v);
  Dictionary expected;
  expected.set(u"b", Value::integer(2));
  expected.set(u"a", Value::array({Value::integer(1)}));
  EXPECT_EQ(*v, Value::dictionary(expected));
}

TEST(BinaryReader, ReadsEveryOffsetAndReferenceWidth) {
  for (std::size_t offsetSize = 1; offsetSize <= 8; ++offsetSize) {
    for (std::size_t refSize = 1; refSize <= 8; ++refSize) {
      Bytes array = {0xA2};
      putBigEndian(array, 1, refSize);
      putBigEndian(array, 1, refSize);
      const auto v = read(assemble({array, {0x10, 7}}, offsetSize, refSize));
      ASSERT_TRUE(v) << offsetSize << " " << refSize;
      EXPECT_EQ(*v, Value::array({Value::integer(7), Value::integer(7)}));
    }
  }
}

Bytes nested(std::size_t depth) {
  std::vector<Bytes> objects;
  for (std::size_t i = 0; i < depth; ++i) {
    Bytes o = {0xA1};
    putBigEndian(o, i + 1, 2);
    objects.push_back(o);
  }
  objects.push_back({0xA0});
  return assemble(objects, 2, 2);
}

TEST(BinaryReader, LimitsNestingTo512Containers) {
  EXPECT_TRUE(read(nested(511)));  // 512 containers
  std::string why;
  EXPECT_FALSE(read(nested(512), &why));
  EXPECT_EQ(why, "nesting deeper than 512 containers at object 512");
}

TEST(BinaryReader, RefusesMalformedFilesWithAReason) {
  Bytes good = assemble({{0xA1, 1}, {0x10, 1}});
  auto patched = [&](std::size_t at, std::uint8_t byte) {
    Bytes b = good;
    b[at] = byte;
    return b;
  };
  const std::size_t trailer = good.size() - 32;
  // Two ever-doubling arrays: 40 levels reach 2^40 objects from 41.
  std::vector<Bytes> laughs;
  for (std::uint8_t i = 0; i < 40; ++i)
    laughs.push_back({0xA2, std::uint8_t(i + 1), std::uint8_t(i + 1)});
  laughs.push_back({0x10, 0});
  struct Case {
    const char* name;
    Bytes file;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "not a binary property list (no bplist00 header)"},
      {"header only", {'b', 'p', 'l', 'i', 's', 't', '0', '0'}, "file too short for a trailer"},
      {"offset size 0", patched(trailer + 6, 0), "offset size 0 not in 1..8"},
      {"reference size 9", patched(trailer + 7, 9), "reference size 9 not in 1..8"},
      {"top object past count", patched(trailer + 23, 2), "top object 2 out of range"},
      {"table past trailer", patched(trailer + 31, 0xF0), "offset table at 240 out of bounds"},
      {"huge count", patched(trailer + 8, 0x80),
       "offset table of 9223372036854775810 entries overruns the file"},
      {"offset into header", patched(good.size() - 34, 3), "object 0 offset 3 out of bounds"},
      {"missing reference", patched(9, 5), "object 0 refers to missing object 5"},
      {"self reference", patched(9, 0), "reference cycle at object 0"},
      {"count past the area", patched(8, 0xA9), "object 0 overruns the object area"},
      {"negative length", assemble({{0x5F, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}),
       "object 0 has a negative length"},
      {"length not an integer", assemble({{0x4F, 0x22, 0, 0, 0, 0}}),
       "object 0 has a malformed length"},
      {"truncated integer", assemble({{0x13, 0, 0}}), "object 0 is truncated"},
      {"integer beyond 64 bits", assemble({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}),
       "object 0 is an integer outside 64 bits"},
      {"null", assemble({{0x00}}), "object 0 is null, which has no value"},
      {"invalid UTF-8 string", assemble({{0x71, 0xFF}}), "object 0 is not valid UTF-8"},
      {"key not a string", assemble({{0xD1, 1, 1}, {0x10, 1}}),
       "object 0 has a key that is not a string (object 1)"},
      {"exponential sharing", assemble(laughs),
       "shared references expand to more than 16 times the object count"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(read(c.file, &why)) << c.name;
    EXPECT_EQ(why, c.reason) << c.name;
  }
}

}  // namespace
}  // namespace fw::plist
