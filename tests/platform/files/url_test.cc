#include "platform/files/url.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/table.h"

namespace fw {
namespace {

// The decoded path of a URL, "(none)" for one with no path or an
// undecodable one, and "(refused)" for text that is no URI.
std::u16string pathOf(std::u16string_view text) {
  const auto url = Url::parse(text);
  if (!url) return u"(refused)";
  return url->path().value_or(u"(none)");
}

TEST(UrlTest, PathIsDecodedWithoutSchemeHostQueryOrFragment) {
  const std::u16string withNul(u"file:///a\0b", 11);
  test_support::expectRows(
      pathOf, test_support::TextRows{
                  {u"file://localhost/a%20b.mp3", u"/a b.mp3"},
                  {u"file:///a", u"/a"},
                  {u"http://host/p/x.mp3", u"/p/x.mp3"},
                  {u"file://localhost/Users/x/Music/%E2%9D%A6.mp3", u"/Users/x/Music/\u2766.mp3"},
                  {u"file:///Caf%65%CC%81.m4a", u"/Cafe\u0301.m4a"},  // decomposed accents stay so
                  {u"file:///a.mp3?x=1#frag", u"/a.mp3"},
                  {u"file:///a%2Fb", u"/a/b"},
                  {u"file:///dir/", u"/dir"},
                  {u"file:///", u"/"},
                  {u"file:/a/b", u"/a/b"},
                  {u"relative/x%41.mp3", u"relative/xA.mp3"},
                  {u"file:///a//b", u"/a//b"},
                  {u"file:///%2541", u"/%41"},  // decoded once only
                  // No path, or one that does not decode to UTF-8.
                  {u"http://host", u"(none)"},
                  {u"file://localhost", u"(none)"},
                  {u"mailto:", u"(none)"},
                  {u"", u"(none)"},
                  {u"file:///%FF.mp3", u"(none)"},
                  {u"file:///%C3", u"(none)"},
                  {u"file:///%ED%A0%80", u"(none)"},
                  // Not URI text at all.
                  {u"file://localhost/a b.mp3", u"(refused)"},  // bare space
                  {u"file:///caf\u00e9.mp3", u"(refused)"},     // above U+007F
                  {u"file:///\U0001F3B5.mp3", u"(refused)"},    // surrogate pair
                  {u"file:///a%2.mp3", u"(refused)"},           // short escape
                  {u"file:///a%zz.mp3", u"(refused)"},          // not hex
                  {u"file:///a%", u"(refused)"},                // escape cut off
                  {u"file:///a\"b", u"(refused)"},
                  {u"file:///a<b>", u"(refused)"},
                  {u"file:///a\\b", u"(refused)"},
                  {u"http://ho st/x", u"(refused)"},
                  {withNul, u"(refused)"},
              });
}

}  // namespace
}  // namespace fw
