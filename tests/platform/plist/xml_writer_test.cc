#include "platform/plist/xml_writer.h"

#include <gtest/gtest.h>

#include "platform/plist/xml_reader.h"

namespace fw::plist {
namespace {

std::optional<Value> readBack(const std::string& xml) {
  return readXmlPropertyList(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
}

TEST(XmlWriter, WritesApplesLayout) {
  Dictionary d;
  d.set(u"b", Value::integer(-3));
  d.set(u"a", Value::array({Value::boolean(true), Value::real(0.5), Value::date(Date{86401})}));
  d.set(u"e", Value::dictionary());
  d.set(u"u", Value::uid(Uid{7}));
  d.set(u"x", Value::data(std::string_view("\x00\x01\x02\xFF", 4)));
  EXPECT_EQ(writeXmlPropertyList(Value::dictionary(std::move(d))),
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

// Text that XML would alter or refuse still gives a document that reads
// back; what it cannot carry becomes U+FFFD.
TEST(XmlWriter, EscapesTextSoItReadsBack) {
  const struct {
    std::u16string in, back;
  } cases[] = {
      {u"a & <b> >", u"a & <b> >"},
      {u"line\r\nend\r", u"line\r\nend\r"},
      {u"tab\tnl\n", u"tab\tnl\n"},
      {u"\U0001F600 é", u"\U0001F600 é"},
      {std::u16string(u"nul\u0000bell\u0007", 9), u"nul\uFFFDbell\uFFFD"},
      {std::u16string(u"lone ") + char16_t(0xD800), u"lone \uFFFD"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    const auto v = readBack(writeXmlPropertyList(Value::string(c.in)));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v->asString(), c.back);
  }
}

TEST(XmlWriter, NumbersAndDatesReadBackExactly) {
  const Value values[] = {
      Value::integer(INT64_MIN), Value::unsignedInteger(UINT64_MAX), Value::real(0.1),
      Value::real(-1e300), Value::real(1.0 / 0.0), Value::date(Date{-978307200}),  // 1970
      Value::date(Date{1e9}),
  };
  for (const Value& v : values) {
    const auto back = readBack(writeXmlPropertyList(v));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, v) << writeXmlPropertyList(v);
  }
}

}  // namespace
}  // namespace fw::plist
