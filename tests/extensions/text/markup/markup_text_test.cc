#include "extensions/text/markup/markup_text.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/strings/unicode.h"
#include "tests/support/table.h"

namespace fw {
namespace {

using test_support::expectRows;
using test_support::show;
using test_support::TextRows;
using EntityRows = test_support::Rows<std::optional<std::u16string_view>, std::u16string>;

TEST(HtmlEntities, NamesAndNumbers) {
  expectRows(stringForHTMLEntity, EntityRows{{u"eacute", u"\u00E9"},
                                             {u"Eacute", u"\u00C9"},
                                             {u"nbsp", u"\u00A0"},
                                             {u"copy", u"\u00A9"},
                                             {u"shy", u"\u00AD"},
                                             {u"Agrave", u"\u00C0"},
                                             {u"times", u"\u00D7"},
                                             {u"szlig", u"\u00DF"},
                                             {u"agrave", u"\u00E0"},
                                             {u"divide", u"\u00F7"},
                                             {u"yuml", u"\u00FF"},
                                             {u"quot", u"\""},
                                             {u"amp", u"&"},
                                             {u"#65", u"A"},
                                             {u"#65601", u"A"},
                                             {u"#128512", u"\uF600"},
                                             {u"# 38", u"&"},
                                             {u"#-1", u"\uFFFF"},
                                             {u"#x41", std::u16string(1, u'\0')},
                                             {u"#", std::u16string(1, u'\0')},
                                             {u"lt", u""},
                                             {u"gt", u""},
                                             {u"apos", u""},
                                             {u"AMP", u""},
                                             {u"", u""},
                                             {std::nullopt, u""},
                                             {u"nbspx", u""},
                                             {u"frac12", u"\u00BD"},
                                             {u"thorn", u"\u00FE"}});
}

TEST(HtmlEntities, RemovingDecodesInOnePass) {
  expectRows(stringByRemovingHTMLEntities, TextRows{{u"Fish &amp; Chips", u"Fish & Chips"},
                                                    {u"caf&eacute;", u"caf\u00E9"},
                                                    {u"a & b", u"a & b"},
                                                    {u"AT&T", u"AT&T"},
                                                    {u"a&", u"a&"},
                                                    {u"&", u"&"},
                                                    {u"a&;b", u"a;b"},
                                                    {u"x&foo;y", u"xy"},
                                                    {u"&lt;b&gt;", u"b"},
                                                    {u"&amp;amp;", u"&amp;"},
                                                    {u"&#38;", u"&"},
                                                    {u"Tom&Jerry; Bob", u"Tom Bob"},
                                                    {u"a&&b;", u"a"},
                                                    {u"&&", u"&&"},
                                                    {u"&quot;&nbsp;&yuml;", u"\"\u00A0\u00FF"},
                                                    {u"", u""},
                                                    {u"\U0001F600&amp;", u"\U0001F600&"}});
}

TEST(HtmlTags, RemovingReplacesTagsWithASpace) {
  expectRows(stringByRemovingHTMLTags, TextRows{{u"a<b>c</b>d", u"a c d"},
                                                {u"x < y", u"x "},
                                                {u"a > b", u"a > b"},
                                                {u"say \"hi\"", u"say \"hi\""},
                                                {u"<i>say</i> \"hi\"", u" say  &quot;hi&quot;"},
                                                {u"<a title=\"x>y\">z", u" y&quot;>z"},
                                                {u"<<b>>", u" >"},
                                                {u"", u""}});
}

// Parses `<r>` + text + `</r>` with expat and returns the character data.
std::optional<std::u16string> decodeWithExpat(std::u16string_view text) {
  const std::optional<std::string> utf8 = utf16ToUtf8(text);
  if (!utf8) return std::nullopt;
  const std::string doc = "<r>" + *utf8 + "</r>";
  std::string content;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &content);
  XML_SetCharacterDataHandler(parser, [](void* user, const XML_Char* s, int len) {
    static_cast<std::string*>(user)->append(s, static_cast<std::size_t>(len));
  });
  const bool ok = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) return std::nullopt;
  return utf8ToUtf16(content);
}

TEST(XmlEscaping, EscapesTheFiveSpecialsOnce) {
  const TextRows cases = {
      {u"a<b & c>", u"a&lt;b &amp; c&gt;"},
      {u"'", u"&apos;"},
      {u"\"", u"&quot;"},
      {u"&lt;", u"&amp;lt;"},
      {u"", u""},
      {u"\U0001F600\t\n", u"\U0001F600\t\n"},
      // Runs of specials, specials at both ends, and plain runs between them.
      {u"&&<>''\"\"", u"&amp;&amp;&lt;&gt;&apos;&apos;&quot;&quot;"},
      {u"<a href='x'>T&amp;C</a>", u"&lt;a href=&apos;x&apos;&gt;T&amp;amp;C&lt;/a&gt;"},
      {u"plain text", u"plain text"},
      {u"x&", u"x&amp;"},
      {u"\u00E9&\u00E9", u"\u00E9&amp;\u00E9"},
  };
  expectRows(xmlEscapedString, cases);
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(decodeWithExpat(xmlEscapedString(in)), std::u16string(in)) << show(in);
  }
}

std::u16string repeated(std::u16string_view piece, std::size_t times) {
  std::u16string out;
  for (std::size_t i = 0; i < times; ++i) out.append(piece);
  return out;
}

TEST(XmlEscaping, LongTextsComeOutWhole) {
  // Long enough to cross every internal block boundary, with a special
  // character right at the end.
  constexpr std::u16string_view kPiece = u"<a href='x'>T&C \u00E9\"</a>";
  constexpr std::u16string_view kEscaped =
      u"&lt;a href=&apos;x&apos;&gt;T&amp;C \u00E9&quot;&lt;/a&gt;";
  EXPECT_EQ(xmlEscapedString(repeated(kPiece, 9000)), repeated(kEscaped, 9000));
  EXPECT_EQ(xmlEscapedString(repeated(u"&", 70000)), repeated(u"&amp;", 70000));
  const std::u16string plain = repeated(u"plain \u00E9 text ", 8000);
  EXPECT_EQ(xmlEscapedString(plain), plain);
}

TEST(UrlEscaping, EscapeAndUnescape) {
  struct Case {
    std::u16string_view in;
    std::optional<std::u16string_view> out;
  };
  const Case escapes[] = {
      {u"a b&c", u"a%20b%26c"},
      {u"AZaz09-_.!~*'();/?:@=+$,#", u"AZaz09-_.!~*'();/?:@=+$,#"},
      {u"\"<>%[\\]^`{|}", u"%22%3C%3E%25%5B%5C%5D%5E%60%7B%7C%7D"},
      {u"\x01\x7F", u"%01%7F"},
      {u"\u00E9\u20AC\U0001F600", u"%C3%A9%E2%82%AC%F0%9F%98%80"},
      {u"", u""},
      {u"a\xD800", std::nullopt},
      {u"\xDC00", std::nullopt},
      {u"\xDE00\xD83D", std::nullopt},  // a pair in the wrong order
      {u"\U0001F600\xD800", std::nullopt},
      // Every width of UTF-8 side by side with kept and escaped ASCII; the
      // exact length shows that the output is filled to its last unit.
      {u"a\u00E9 b\U0001F600&\u20ACz~", u"a%C3%A9%20b%F0%9F%98%80%26%E2%82%ACz~"},
      {u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF",
       u"%7F%C2%80%DF%BF%E0%A0%80%EF%BF%BF%F0%90%80%80%F4%8F%BF%BF"},
      {std::u16string_view(u"\0a\0", 3), u"%00a%00"},
      {u"&&", u"%26%26"},
  };
  for (const Case& c : escapes) {
    const auto got = escapedString(c.in);
    ASSERT_EQ(got.has_value(), c.out.has_value()) << show(c.in);
    if (got) {
      EXPECT_EQ(*got, *c.out) << show(c.in);
      EXPECT_EQ(unescapedString(*got), std::u16string(c.in)) << show(c.in);
    }
  }
  const Case unescapes[] = {
      {u"a%20b%26c", u"a b&c"},
      {u"%FF", std::nullopt},
      {u"%C3", std::nullopt},
      {u"%C3%a9", u"\u00E9"},
      {u"a+b", u"a+b"},
      {u"100%", u"100%"},
      {u"%2", u"%2"},
      {u"%zz%4", u"%zz%4"},
      {u"%%41", u"%A"},
      {u"\u00E9%20\U0001F600", u"\u00E9 \U0001F600"},
      {u"\xD800%41",
       u"\xD800"
       u"A"},  // unescaped units are copied as they are
  };
  for (const Case& c : unescapes) {
    const auto got = unescapedString(c.in);
    ASSERT_EQ(got.has_value(), c.out.has_value()) << show(c.in);
    if (got) {
      EXPECT_EQ(*got, *c.out) << show(c.in);
    }
  }
}

}  // namespace
}  // namespace fw
