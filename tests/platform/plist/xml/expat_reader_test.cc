#include "platform/plist/xml/expat_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/plist/json/writer.h"
#include "platform/plist/xml/writer.h"
#include "tests/support/plist_bytes.h"

namespace fw::plist {
namespace {

std::optional<Value> read(std::string_view xml) {
  return readXmlPropertyList(test_support::bytesOf(xml));
}

std::string wrap(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">" +
         std::string(body) + "</plist>";
}

// Each accepted document, with its JSON view (exact), through both readers.
TEST(XmlReader, AcceptsWhatApplesToolsWrite) {
  const struct {
    std::string xml;
    std::string json;
  } cases[] = {
      {wrap("<true/>"), "true\n"},
      {wrap(" <!-- c --> <false /> "), "false\n"},
      {wrap("<integer>-9223372036854775808</integer>"), "-9223372036854775808\n"},
      {wrap("<integer>18446744073709551615</integer>"), "18446744073709551615\n"},
      {wrap("<integer>0x1F</integer>"), "31\n"},
      {wrap("<real>2</real>"), "2.0\n"},
      {wrap("<real>-1.5e3</real>"), "-1500.0\n"},
      {wrap("<real>nan</real>"), "{\"$real\": \"nan\"}\n"},
      {wrap("<real>-inf</real>"), "{\"$real\": \"-inf\"}\n"},
      {wrap("<date>2001-01-02T00:00:01Z</date>"), "{\"$date\": 86401.0}\n"},
      {wrap("<date>2000-12-31T23:59:59Z</date>"), "{\"$date\": -1.0}\n"},
      {wrap("<data>\n\tAAEC\n\t/w==\n</data>"), "{\"$data\": \"AAEC/w==\"}\n"},
      {wrap("<string>a &amp; &lt;b&gt; &#233;&#x1F600; <![CDATA[<x>]]></string>"),
       "\"a & <b> é😀 <x>\"\n"},
      {wrap("<string></string>"), "\"\"\n"},
      {wrap("<array/>"), "[]\n"},
      {wrap("<dict><key>b</key><integer>1</integer><key>a</key><array><string>x</string>"
            "</array></dict>"),
       "{\n  \"b\": 1,\n  \"a\": [\n    \"x\"\n  ]\n}\n"},
      // A repeated key keeps its first position and takes the last value.
      {wrap("<dict><key>k</key><integer>1</integer><key>j</key><true/>"
            "<key>k</key><integer>2</integer></dict>"),
       "{\n  \"k\": 2,\n  \"j\": true\n}\n"},
      {"<string>bare root</string>", "\"bare root\"\n"},
      {"\r\n<plist>\r\n<string>a\r\nb</string>\r\n</plist>\r\n", "\"a\\nb\"\n"},
  };
  for (const auto& c : cases) {
    const auto both = test_support::readBoth(c.xml);
    ASSERT_TRUE(both.fast.has_value()) << c.xml << ": " << both.fastWhy;
    ASSERT_TRUE(both.expat.has_value()) << c.xml << ": " << both.expatWhy;
    EXPECT_EQ(writeJson(*both.fast), c.json) << c.xml;
    EXPECT_EQ(writeJson(*both.expat), c.json) << c.xml;
  }
}

TEST(XmlReader, ReadsUtf16Documents) {
  std::string utf16 = "\xFF\xFE";  // little-endian byte order mark
  for (char16_t unit : std::u16string_view(u"<plist><string>\u00E9</string></plist>")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  const auto v = read(utf16);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(*v->asString(), u"\u00E9");
}

// Each refused document, with the start of its reason from either reader.
TEST(XmlReader, RefusesWithAReason) {
  const struct {
    std::string xml;
    std::string reason;
  } cases[] = {
      {"", "malformed XML"},
      {wrap("<string>a</strin>"), "malformed XML"},
      {wrap("<foo/>"), "unknown element <foo>"},
      {wrap("<dict><key>a</key></dict>"), "key without a value"},
      {wrap("<dict><key>a</key><key>b</key><true/></dict>"), "key without a value"},
      {wrap("<dict><string>v</string></dict>"), "value without a key"},
      {wrap("<array><key>a</key></array>"), "key outside a dict"},
      {wrap("<array>text</array>"), "text where none belongs"},
      {wrap("<true>yes</true>"), "text inside <true>"},
      {wrap("<string><true/></string>"), "element <true> inside <string>"},
      {wrap("<integer>12a</integer>"), "unparsable integer"},
      {wrap("<integer></integer>"), "unparsable integer"},
      {wrap("<integer>18446744073709551616</integer>"), "unparsable integer"},
      {wrap("<integer>-9223372036854775809</integer>"), "unparsable integer"},
      {wrap("<real>1.5x</real>"), "unparsable real"},
      {wrap("<date>2001-02-29T00:00:00Z</date>"), "unparsable date"},
      {wrap("<date>2001-01-01T00:00:00</date>"), "unparsable date"},
      {wrap("<data>AB$C</data>"), "unparsable base64"},
      {wrap("<data>A</data>"), "unparsable base64"},
      {wrap("<true/><false/>"), "content after the root"},
      {wrap(""), "empty <plist>"},
      {wrap("<plist><true/></plist>"), "unexpected <plist>"},
      {"<!DOCTYPE p [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>",
       "entity declarations are not allowed"},
      {wrap("<string>&nope;</string>"), "undefined entity &nope;"},
  };
  for (const auto& c : cases) {
    const auto both = test_support::readBoth(c.xml);
    EXPECT_FALSE(both.fast.has_value()) << c.xml;
    EXPECT_FALSE(both.expat.has_value()) << c.xml;
    EXPECT_EQ(both.fastWhy.substr(0, c.reason.size()), c.reason) << c.xml << " -> " << both.fastWhy;
    EXPECT_EQ(both.expatWhy.substr(0, c.reason.size()), c.reason)
        << c.xml << " -> " << both.expatWhy;
  }
}

TEST(XmlReader, LimitsNestingTo512Containers) {
  auto nested = [](std::size_t n) {
    std::string body;
    for (std::size_t i = 0; i < n; ++i) body += "<array>";
    for (std::size_t i = 0; i < n; ++i) body += "</array>";
    return wrap(body);
  };
  EXPECT_TRUE(test_support::readBoth(nested(kMaxXmlNesting)).fast.has_value());
  EXPECT_TRUE(test_support::readBoth(nested(kMaxXmlNesting)).expat.has_value());
  const auto deep = test_support::readBoth(nested(kMaxXmlNesting + 1));
  EXPECT_EQ(deep.fastWhy.substr(0, 30), "more than 512 nested container");
  EXPECT_EQ(deep.expatWhy.substr(0, 30), "more than 512 nested container");
}

TEST(XmlReader, SharesRepeatedKeys) {
  const auto v =
      read(wrap("<array><dict><key>Name</key><string>a</string></dict>"
                "<dict><key>Name</key><string>b</string></dict></array>"));
  ASSERT_TRUE(v.has_value());
  const Array& a = *v->asArray();
  EXPECT_EQ(a[0].asDictionary()->begin()->first.identity(),
            a[1].asDictionary()->begin()->first.identity());
}

// Strings come from shared tables by their UTF-8 text: every one must still
// read back as its own text, whether it is new, seen before, non-ASCII, too
// long to share, or arrives once the table of strings is full.
TEST(XmlReader, SharedStringsReadBackExactly) {
  const std::string texts[] = {
      "Rock", "Rocks", "rock", "Roc", "", "caf\xC3\xA9", "cafe\xCC\x81", "\xE6\x97\xA5\xE6\x9C\xAC",
      "\xF0\x9F\x98\x80x", "x\xF0\x9F\x98\x80", std::string(48, 'a'), std::string(49, 'a'),
      // 16 three-byte characters: 48 bytes, 16 units; 17 of them, 51 bytes.
      [] {
        std::string s;
        for (int i = 0; i < 17; ++i) s += "\xE2\x82\xAC";
        return s;
      }()};
  const std::u16string wide[] = {u"Rock",
                                 u"Rocks",
                                 u"rock",
                                 u"Roc",
                                 u"",
                                 u"caf\u00E9",
                                 u"cafe\u0301",
                                 u"\u65E5\u672C",
                                 u"\U0001F600x",
                                 u"x\U0001F600",
                                 std::u16string(48, u'a'),
                                 std::u16string(49, u'a'),
                                 std::u16string(17, u'\u20AC')};
  std::string body = "<array>";
  // Twice over, and as keys too, so the second round finds what the first
  // one added.
  for (int round = 0; round < 2; ++round) {
    for (const auto& t : texts) body += "<string>" + t + "</string>";
    body += "<dict>";
    for (const auto& t : texts) body += "<key>" + t + "</key><true/>";
    body += "</dict>";
  }
  body += "</array>";
  const auto v = read(wrap(body));
  ASSERT_TRUE(v.has_value());
  const Array& a = *v->asArray();
  const std::size_t n = std::size(texts);
  ASSERT_EQ(a.size(), 2 * (n + 1));
  for (std::size_t round = 0; round < 2; ++round) {
    const std::size_t base = round * (n + 1);
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(*a[base + i].asString(), wide[i]) << texts[i];
      // Repeats of the same text share one buffer unless too long to share.
      if (round == 1 && !wide[i].empty() && wide[i].size() <= 48) {
        EXPECT_EQ(a[base + i].asSharedString()->identity(), a[i].asSharedString()->identity())
            << texts[i];
      }
    }
    const Dictionary& d = *a[base + n].asDictionary();
    ASSERT_EQ(d.size(), n);
    std::size_t i = 0;
    for (const auto& [key, value] : d) EXPECT_EQ(key.view(), wide[i++]);
  }
}

// Enough distinct strings and keys to grow the tables many times and to fill
// the table of strings; then the early ones once more.
TEST(XmlReader, ManyDistinctStringsAndKeys) {
  constexpr int kCount = 70000;
  std::string body = "<array>";
  for (int i = 0; i < kCount; ++i) body += "<string>s" + std::to_string(i) + "</string>";
  body += "<dict>";
  for (int i = 0; i < kCount; ++i)
    body += "<key>" + std::to_string(i) + "</key><integer>" + std::to_string(i) + "</integer>";
  body += "</dict>";
  for (int i = 0; i < 100; ++i) body += "<string>s" + std::to_string(i) + "</string>";
  body += "<string>s69999</string></array>";
  const auto v = read(wrap(body));
  ASSERT_TRUE(v.has_value());
  const Array& a = *v->asArray();
  ASSERT_EQ(a.size(), static_cast<std::size_t>(kCount + 102));
  for (int i = 0; i < kCount; ++i) {
    const std::string want = std::string("s").append(std::to_string(i));
    ASSERT_EQ(*a[i].asString(), std::u16string(want.begin(), want.end()));
  }
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(a[kCount + 1 + i].asSharedString()->identity(), a[i].asSharedString()->identity());
  }
  EXPECT_EQ(*a.back().asString(), u"s69999");
  const Dictionary& d = *a[kCount].asDictionary();
  ASSERT_EQ(d.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; i += 997) {
    const std::string k = std::to_string(i);
    ASSERT_NE(d.find(std::u16string(k.begin(), k.end())), nullptr) << i;
    EXPECT_EQ(d.find(std::u16string(k.begin(), k.end()))->asInteger(), i);
  }
  EXPECT_EQ(d.find(u"70000"), nullptr);
}

// Large dictionaries are indexed as they are read; a repeated key, wherever
// it falls, keeps its first position and takes the last value.
TEST(XmlReader, LargeDictionariesWithRepeatedKeys) {
  // Key names in file order; each value is its position in the file.
  const std::vector<int> cases[] = {
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 17},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
      {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5},
  };
  for (const auto& keys : cases) {
    std::string body = "<dict>";
    for (std::size_t i = 0; i < keys.size(); ++i) {
      body +=
          "<key>k" + std::to_string(keys[i]) + "</key><integer>" + std::to_string(i) + "</integer>";
    }
    body += "</dict>";
    const auto v = read(wrap(body));
    ASSERT_TRUE(v.has_value());
    // Expected: first positions, last values.
    std::vector<std::pair<int, std::size_t>> want;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      auto it =
          std::find_if(want.begin(), want.end(), [&](const auto& p) { return p.first == keys[i]; });
      if (it == want.end()) {
        want.emplace_back(keys[i], i);
      } else {
        it->second = i;
      }
    }
    const Dictionary& d = *v->asDictionary();
    ASSERT_EQ(d.size(), want.size());
    std::size_t i = 0;
    for (const auto& [key, value] : d) {
      const std::string k = std::string("k").append(std::to_string(want[i].first));
      EXPECT_EQ(key.view(), std::u16string(k.begin(), k.end()));
      EXPECT_EQ(value.asInteger(), static_cast<std::int64_t>(want[i].second));
      EXPECT_EQ(d.find(key.view()), &value);
      ++i;
    }
    EXPECT_EQ(d.find(u"k99"), nullptr);
  }
}

}  // namespace
}  // namespace fw::plist
