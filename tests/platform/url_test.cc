#include "platform/url.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace fw {
namespace {

struct PathCase {
  std::u16string text;
  std::optional<std::u16string> path;
};

TEST(UrlTest, PathIsDecodedWithoutSchemeHostQueryOrFragment) {
  const PathCase cases[] = {
      {u"file://localhost/a%20b.mp3", u"/a b.mp3"},
      {u"file:///a", u"/a"},
      {u"http://host/p/x.mp3", u"/p/x.mp3"},
      {u"file://localhost/Users/x/Music/%E2%9D%A6.mp3", u"/Users/x/Music/\u2766.mp3"},
      // Decomposed accents stay decomposed: e + U+0301.
      {u"file:///Caf%65%CC%81.m4a", u"/Cafe\u0301.m4a"},
      {u"file:///a.mp3?x=1#frag", u"/a.mp3"},
      {u"file:///a%2Fb", u"/a/b"},
      {u"file:///dir/", u"/dir"},
      {u"file:///", u"/"},
      {u"file:/a/b", u"/a/b"},
      {u"relative/x%41.mp3", u"relative/xA.mp3"},
      {u"file:///a//b", u"/a//b"},
      {u"file:///%2541", u"/%41"},  // decoded once only
  };
  for (const auto& c : cases) {
    auto url = Url::parse(c.text);
    ASSERT_TRUE(url.has_value()) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(url->path(), c.path) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(UrlTest, NoPathOrUndecodablePathIsAbsent) {
  for (std::u16string text : {u"http://host", u"file://localhost", u"mailto:", u"",
                              u"file:///%FF.mp3", u"file:///%C3", u"file:///%ED%A0%80"}) {
    auto url = Url::parse(text);
    ASSERT_TRUE(url.has_value()) << std::string(text.begin(), text.end());
    EXPECT_EQ(url->path(), std::nullopt) << std::string(text.begin(), text.end());
  }
}

TEST(UrlTest, NonUriTextIsRefused) {
  const std::u16string refused[] = {
      u"file://localhost/a b.mp3",   // bare space
      u"file:///caf\u00e9.mp3",      // above U+007F
      u"file:///\U0001F3B5.mp3",     // surrogate pair
      u"file:///a%2.mp3",            // short escape
      u"file:///a%zz.mp3",           // not hex
      u"file:///a%",                 // escape cut off
      u"file:///a\"b",
      u"file:///a<b>",
      u"file:///a\\b",
      u"http://ho st/x",
      std::u16string(u"file:///a\0b", 11),
  };
  for (const auto& text : refused) {
    EXPECT_FALSE(Url::parse(text).has_value()) << std::string(text.begin(), text.end());
  }
}

}  // namespace
}  // namespace fw
