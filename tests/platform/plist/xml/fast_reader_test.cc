// The dedicated XML reader against expat: the same documents read alike,
// refused alike, or handed over; every corpus file agrees; and streaming
// from a descriptor gives what reading the whole buffer gives, wherever
// the buffer boundaries fall.

#include "platform/plist/xml/fast_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/plist/json/writer.h"
#include "platform/plist/tree_builder.h"
#include "platform/plist/xml/expat_reader.h"
#include "tests/support/plist_bytes.h"
#include "tests/support/temp_home.h"

namespace fw::plist {
namespace {

using test_support::bytesOf;
using test_support::readBoth;

std::string plist(const std::string& body) { return "<plist version=\"1.0\">" + body + "</plist>"; }

// Accepted by the dedicated reader itself, with the JSON view both give.
TEST(XmlFastReader, ReadsTheDialectAsExpatDoes) {
  const struct {
    std::string xml, json;
  } cases[] = {
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes' ?>" + plist("<true/>"),
       "true\n"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"file:///x.dtd\">" + plist("<false />"),
       "false\n"},
      {"<!DOCTYPE plist>\n<plist><array  ></array ></plist >\n\n", "[]\n"},
      {plist("<string>&#x1F600;&#128512;&#9;&lt;&gt;&amp;&quot;&apos;</string>"),
       "\"\U0001F600\U0001F600\\u0009<>&\\\"'\"\n"},
      // Line ends normalise; a reference to CR keeps it.
      {plist("<string>a\r\nb\rc&#13;&#10;d</string>"), "\"a\\nb\\nc\\u000d\\nd\"\n"},
      {plist("<string>a]]b ]> x>y</string>"), "\"a]]b ]> x>y\"\n"},
      {plist("<string>\xC3\xA9 \xE6\x9D\xB1 \xEF\xB7\x90 \xEF\xBF\xBD \xF4\x8F\xBF\xBF "
             "\xC2\x85</string>"),
       "\"\u00e9 \u6771 \ufdd0 \ufffd \U0010FFFF \u0085\"\n"},
      // Whitespace written as references is whitespace too.
      {plist("<array>&#32;&#x9;&#13;<key/></array>"), ""},
      {plist("<dict a='1' b=\"2\"><key/><string x='&gt;'/></dict>"), ""},
      {plist("<dict><key>k</key><data>AA\r\nEC</data><key>d</key><date> 2001-01-01T00:00:00Z "
             "</date></dict>"),
       "{\n  \"k\": {\"$data\": \"AAEC\"},\n  \"d\": {\"$date\": 0.0}\n}\n"},
  };
  for (const auto& c : cases) {
    const auto both = readBoth(c.xml);
    EXPECT_TRUE(both.agree()) << c.xml << "\n" << both.fastWhy << "\n" << both.expatWhy;
    if (c.json.empty()) continue;  // these only need to agree (refused or read alike)
    ASSERT_TRUE(both.fast.has_value()) << c.xml << ": " << both.fastWhy;
    EXPECT_EQ(both.used, XmlReaderUsed::Dedicated) << c.xml;
    EXPECT_EQ(writeJson(*both.fast), c.json) << c.xml;
  }
}

// Refused by the dedicated reader itself, with its reason and byte offset;
// expat refuses each as well.
TEST(XmlFastReader, RefusesMalformedXmlWithAnOffset) {
  const struct {
    std::string xml, reason;
  } cases[] = {
      {"<plist><string>\xC3(</string></plist>", "invalid UTF-8 or an illegal character (byte 15)"},
      {"<plist><string>\xC0\xAF</string></plist>",
       "invalid UTF-8 or an illegal character (byte 15)"},
      {"<plist><string>\xED\xA0\x80</string></plist>",
       "invalid UTF-8 or an illegal character (byte 15)"},
      {"<plist><string>\xEF\xBF\xBE</string></plist>",
       "invalid UTF-8 or an illegal character (byte 15)"},
      {"<plist><string>\xF4\x90\x80\x80</string></plist>",
       "invalid UTF-8 or an illegal character (byte 15)"},
      {"<plist><string>ab\xE2\x82</string></plist>",
       "invalid UTF-8 or an illegal character (byte 17)"},
      {"<plist><string>a\x01</string></plist>", "malformed XML: an illegal character (byte 16)"},
      {std::string("<plist><string>a\0</string></plist>", 34),
       "malformed XML: an illegal character (byte 16)"},
      {"<plist><string>a]]>b</string></plist>", "malformed XML: \"]]>\" in text (byte 16)"},
      {"<plist><string>&#0;</string></plist>",
       "malformed XML: a reference to an invalid character (byte 15)"},
      {"<plist><string>&#xD800;</string></plist>",
       "malformed XML: a reference to an invalid character"},
      {"<plist><string>&#xFFFE;</string></plist>",
       "malformed XML: a reference to an invalid character"},
      {"<plist><string>&#x110000;</string></plist>",
       "malformed XML: a reference to an invalid character"},
      {"<plist><string>&#X41;</string></plist>", "malformed XML: a malformed character reference"},
      {"<plist><string>&#;</string></plist>", "malformed XML: a malformed character reference"},
      {"<plist><string>&amp</string></plist>", "malformed XML: a malformed reference (byte 15)"},
      {"<plist><string>& x;</string></plist>", "malformed XML: a malformed reference"},
      {"<plist><string>&nope;</string></plist>", "undefined entity &nope; (byte 15)"},
      {"<plist><string>a</key></plist>", "malformed XML: mismatched tag (byte 16)"},
      {"<plist><dict></array></plist>", "malformed XML: mismatched tag (byte 13)"},
      {"<plist><dict></dictx></plist>", "malformed XML: mismatched tag"},
      {"<plist><array>", "malformed XML: unclosed element (byte 14)"},
      {"<plist><string>abc", "malformed XML: unexpected end of document (byte 18)"},
      {"<plist><true/></plist><true/>", "malformed XML: content after the root element (byte 22)"},
      {"<plist><true/></plist>x", "malformed XML: text after the root element (byte 22)"},
      {"x<plist><true/></plist>", "malformed XML: text before the root element (byte 0)"},
      {"   ", "malformed XML: no element found (byte 3)"},
      {"<plist a=\"1\" a=\"2\"><true/></plist>", "malformed XML: duplicate attribute (byte 13)"},
      {"<plist a=\"1\"b=\"2\"><true/></plist>", "malformed XML: not well-formed (byte 12)"},
      {"<plist a=1><true/></plist>", "malformed XML: not well-formed (byte 9)"},
      {"<plist a=\"<\"><true/></plist>", "malformed XML: not well-formed (byte 10)"},
      {"<plist><true / ></plist>", "malformed XML: not well-formed (byte 13)"},
      {"</plist>", "malformed XML: an end tag with no element open (byte 0)"},
      {"< plist></plist>", "malformed XML: not well-formed (byte 0)"},
      {"<plist><foo/></plist>", "unknown element <foo> (byte 7)"},
      {"<plist><dict><string>v</string></dict></plist>", "value without a key: <string> (byte 13)"},
  };
  for (const auto& c : cases) {
    std::string why;
    TreeBuilder tree;
    EXPECT_EQ(readXmlEventsFast(bytesOf(c.xml), tree, &why), FastXmlResult::Refused) << c.xml;
    EXPECT_EQ(why.substr(0, c.reason.size()), c.reason) << c.xml;
    std::string expatWhy;
    EXPECT_FALSE(readXmlPropertyListWithExpat(bytesOf(c.xml), &expatWhy).has_value()) << c.xml;
  }
}

// Outside the dialect: handed to expat, which then answers as it alone does.
TEST(XmlFastReader, HandsOverWhatLiesOutsideTheDialect) {
  std::string utf16le = "\xFF\xFE";
  std::string utf16raw;
  for (const char c : plist("<string>x</string>")) {
    utf16le += c;
    utf16le += '\0';
    utf16raw += c;
    utf16raw += '\0';
  }
  std::string utf16be = "\xFE\xFF";
  for (const char c : plist("<true/>")) {
    utf16be += '\0';
    utf16be += c;
  }
  const struct {
    std::string xml, what;
  } cases[] = {
      {utf16le, "UTF-16"},
      {utf16be, "UTF-16"},
      {utf16raw, "UTF-16"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + plist("<string>caf\xE9</string>"),
       "an encoding other than UTF-8"},
      {"<?xml version=\"1.1\"?>" + plist("<true/>"), "an XML declaration of another version"},
      {"<!-- c -->" + plist("<true/>"), "a comment (byte 0)"},
      {plist("<dict><!-- c --><key>a</key><true/></dict>"), "a comment (byte 27)"},
      {plist("<true/>") + "<!-- c -->", "a comment"},
      {plist("<string>a<!-- c -->b</string>"), "a comment (byte 30)"},
      {"<?xml-stylesheet href=\"a\"?>" + plist("<true/>"), "a processing instruction (byte 0)"},
      {plist("<array><?pi x?></array>"), "a processing instruction"},
      {plist("<string><![CDATA[<x>]]></string>"), "a CDATA section (byte 29)"},
      {"<!DOCTYPE plist [<!ELEMENT plist ANY>]>" + plist("<true/>"),
       "a DOCTYPE with an internal subset"},
      {"<!DOCTYPE plist [<!ENTITY e \"x\">]>" + plist("<string>&e;</string>"),
       "a DOCTYPE with an internal subset"},
      {"<plist version=\"&amp;\"><true/></plist>", "a reference in an attribute"},
      {"<plist \xC3\xA9=\"1\"><true/></plist>", "a non-ASCII attribute name"},
      {"<plist v=\"\xC3\xA9\"><true/></plist>", "non-ASCII text in an attribute"},
  };
  for (const auto& c : cases) {
    std::string why;
    TreeBuilder tree;
    EXPECT_EQ(readXmlEventsFast(bytesOf(c.xml), tree, &why), FastXmlResult::HandedOver) << c.xml;
    EXPECT_EQ(why.substr(0, c.what.size()), c.what) << c.xml;
    const auto both = readBoth(c.xml);
    EXPECT_EQ(both.used, XmlReaderUsed::Expat) << c.xml;
    EXPECT_TRUE(both.agree()) << c.xml << "\n" << both.fastWhy << "\n" << both.expatWhy;
  }
  // What expat made of some of them.
  EXPECT_EQ(*readBoth(cases[3].xml).fast->asString(), u"caf\u00e9");
  EXPECT_EQ(*readBoth(cases[8].xml).fast->asString(), u"ab");
  EXPECT_EQ(*readBoth(cases[11].xml).fast->asString(), u"<x>");
  EXPECT_EQ(readBoth(cases[13].xml).fastWhy.substr(0, 35), "entity declarations are not allowed");
}

// Every file of the corpus gives the same answer through both readers.
TEST(XmlFastReader, EveryCorpusFileAgrees) {
  std::size_t xmlFiles = 0;
  for (const auto& path : test_support::corpusFiles()) {
    const std::string bytes = test_support::readBytes(path);
    if (bytes.rfind("bplist", 0) == 0) continue;
    ++xmlFiles;
    const auto both = readBoth(bytes);
    EXPECT_TRUE(both.agree()) << path << "\n" << both.fastWhy << "\n" << both.expatWhy;
    if (both.used == XmlReaderUsed::Expat) {
      std::string why;
      TreeBuilder tree;
      (void)readXmlEventsFast(bytesOf(bytes), tree, &why);
      std::printf("handed to expat: %s (%s)\n", path.c_str(), why.c_str());
    }
  }
  EXPECT_GT(xmlFiles, 50u);
}

// Streaming through the descriptor's buffer gives what the whole buffer
// gives, wherever a block boundary falls inside a token, and for one text
// longer than the buffer.
TEST(XmlFastReader, BlockBoundariesAnywhere) {
  const std::string unit =
      "<dict><key>Caf\xC3\xA9 &amp; co</key><string>a\r\nb &#x1F600; \xF0\x9F\x98\x80</string>"
      "<key>n</key><integer> 42 </integer><key>d</key><date>2004-02-29T13:05:09Z</date>"
      "<key>x</key><data>AAEC/w==</data><key>t</key><true /><key>e</key><string/></dict>\n";
  const test_support::TempHome dir("fw-fast-reader");
  constexpr std::size_t kBlock = 256 << 10;
  for (std::size_t shift = 0; shift < unit.size() + 8; shift += 1) {
    std::string xml =
        "<plist><array>" + std::string(kBlock - 14 - unit.size() - shift % unit.size(), ' ');
    while (xml.size() < kBlock + 2 * unit.size()) xml += unit;
    if (shift >= unit.size())
      xml += "<string>" + std::string(3 * kBlock + shift, 'z') + "</string>";
    xml += "</array></plist>";
    const auto whole = readXmlPropertyList(bytesOf(xml));
    ASSERT_TRUE(whole.has_value()) << shift;
    const auto file = dir.tmp() / "doc.plist";
    test_support::writeFile(file, xml);
    const int fd = ::open(file.c_str(), O_RDONLY);
    TreeBuilder tree;
    std::string why;
    EXPECT_EQ(readXmlEventsFastFromFd(fd, tree, &why), FastXmlResult::Read) << shift << why;
    ::close(fd);
    const auto streamed = tree.take();
    ASSERT_TRUE(streamed.has_value()) << shift;
    EXPECT_TRUE(*streamed == *whole) << shift;
  }
}

}  // namespace
}  // namespace fw::plist
