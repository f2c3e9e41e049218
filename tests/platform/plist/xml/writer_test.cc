#include "platform/plist/xml/writer.h"

#include <gtest/gtest.h>

#include "platform/plist/xml/expat_reader.h"
#include "tests/support/plist_bytes.h"

namespace fw::plist {
namespace {

std::optional<Value> readBack(const std::optional<std::string>& xml) {
  if (!xml) return std::nullopt;
  return readXmlPropertyList(test_support::bytesOf(*xml));
}

// The document handed over piece by piece, and how many pieces it took.
std::pair<std::string, int> streamed(const Value& v, int stopAfter = -1) {
  std::string text;
  int pieces = 0;
  std::string reason = "unset";
  const bool ok = writeXmlPropertyList(
      v,
      [&](std::string_view piece) {
        EXPECT_LE(piece.size(), kTextSinkPiece + 4096);
        text += piece;
        return ++pieces != stopAfter;
      },
      &reason);
  EXPECT_EQ(ok, stopAfter < 0);
  if (!ok) {
    EXPECT_EQ(reason, "");
  }
  return {text, pieces};
}

TEST(XmlWriter, WritesApplesLayout) {
  Dictionary d;
  d.set(u"b", Value::integer(-3));
  d.set(u"a", Value::array({Value::boolean(true), Value::real(0.5), Value::date(Date{86401})}));
  d.set(u"e", Value::dictionary());
  d.set(u"u", Value::uid(Uid{7}));
  d.set(u"x", Value::data(std::string_view("\x00\x01\x02\xFF", 4)));
  EXPECT_EQ(writeXmlPropertyList(Value::dictionary(std::move(d))).value_or("refused"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>b</key>\n"
            "\t<integer>-3</integer>\n"
            "\t<key>a</key>\n"
            "\t<array>\n"
            "\t\t<true/>\n"
            "\t\t<real>0.5</real>\n"
            "\t\t<date>2001-01-02T00:00:01Z</date>\n"
            "\t</array>\n"
            "\t<key>e</key>\n"
            "\t<dict/>\n"
            "\t<key>u</key>\n"
            "\t<dict>\n"
            "\t\t<key>CF$UID</key>\n"
            "\t\t<integer>7</integer>\n"
            "\t</dict>\n"
            "\t<key>x</key>\n"
            "\t<data>\n"
            "\tAAEC/w==\n"
            "\t</data>\n"
            "</dict>\n"
            "</plist>\n");
}

// Text that XML would alter, numbers and dates: each reads back exactly.
TEST(XmlWriter, ScalarsReadBackExactly) {
  const Value values[] = {
      Value::string(u"a & <b> >"),
      Value::string(u"line\r\nend\r"),
      Value::string(u"tab\tnl\n"),
      Value::string(u"\U0001F600 \u00E9"),
      Value::string(u""),
      Value::string(u"\u007F\uFFFD\U0010FFFF\U0001FFFE"),
      Value::integer(INT64_MIN),
      Value::unsignedInteger(UINT64_MAX),
      Value::real(0.1),
      Value::real(-1e300),
      Value::real(1.0 / 0.0),
      Value::date(Date{-978307200}),  // 1970
      Value::date(Date{1e9}),
  };
  for (const Value& v : values) {
    const auto back = readBack(writeXmlPropertyList(v));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, v) << writeXmlPropertyList(v).value_or("");
  }
}

// What XML 1.0 cannot carry is refused, never replaced, and the reason names
// the first such character in document order and the keys that lead to it.
TEST(XmlWriter, RefusesWhatXmlCannotCarryAndSaysWhere) {
  const auto at = [](std::u16string_view k, Value v) {
    Dictionary d;
    d.set(k, std::move(v));
    return Value::dictionary(std::move(d));
  };
  const struct {
    Value value;
    const char* reason;
  } cases[] = {
      {Value::string(std::u16string(u"a\0b", 3)), "U+0000 in the root string"},
      {at(u"keys", at(u"Quit\x1b@q", Value::string(u"x"))),
       "U+001B at [\"keys\"][\"Quit\\u001b@q\"]"},
      {at(u"list", Value::array({Value::string(u"ok"), Value::string(u"\x1f")})),
       "U+001F at [\"list\"][1]"},
      {at(u"\"q\"\\", Value::string(std::u16string(1, char16_t(0xDC00)))),
       "U+DC00 at [\"\\\"q\\\"\\\\\"]"},
      {Value::array(
           {Value::string(std::u16string(u"hi ") + char16_t(0xD83C)), Value::string(u"\x01")}),
       "U+D83C at [0]"},
      {at(u"\U0001F3B5", Value::string(u"\uFFFE")), "U+FFFE at [\"\U0001F3B5\"]"},
      {Value::string(u"\uFFFF"), "U+FFFF in the root string"},
  };
  for (const auto& c : cases) {
    const std::string expected = std::string(c.reason) + " cannot be written in XML 1.0";
    std::string reason;
    EXPECT_FALSE(writeXmlPropertyList(c.value, &reason).has_value()) << expected;
    EXPECT_EQ(reason, expected);
    int pieces = 0;
    reason.clear();
    EXPECT_FALSE(writeXmlPropertyList(
        c.value, [&](std::string_view) { return ++pieces > 0; }, &reason));
    EXPECT_EQ(pieces, 0) << expected;
    EXPECT_EQ(reason, expected);
  }
}

// Streaming gives the very same bytes in bounded pieces, and a sink that
// stops the writer is handed nothing more.
TEST(XmlWriter, StreamsTheSameDocumentInPieces) {
  Array tracks;
  for (int i = 0; i < 20000; ++i) {
    Dictionary d;
    d.set(u"Name", Value::string(u"Track & <more> \r"));
    d.set(u"Track ID", Value::integer(i));
    tracks.push_back(Value::dictionary(std::move(d)));
  }
  const Value big = Value::array(std::move(tracks));
  const auto whole = writeXmlPropertyList(big);
  ASSERT_TRUE(whole.has_value());
  const auto [text, pieces] = streamed(big);
  EXPECT_EQ(text, *whole);
  EXPECT_GT(pieces, 10);
  EXPECT_EQ(streamed(big, 2).second, 2);
  EXPECT_EQ(streamed(Value::integer(7)).first, *writeXmlPropertyList(Value::integer(7)));
}

}  // namespace
}  // namespace fw::plist
