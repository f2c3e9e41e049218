#include "platform/strings/shared_string.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace fw {
namespace {

// ASCII is checked eight bytes at a time: a non-ASCII character in any word
// or in the tail must still be decoded, and pure ASCII of every length
// widened exactly.
TEST(SharedString, DecodesUtf8WhereverTheFirstNonAsciiByteFalls) {
  for (std::size_t length = 0; length <= 18; ++length) {
    const std::string ascii(length, 'q');
    EXPECT_EQ(SharedString::fromUtf8(ascii).view(), std::u16string(length, u'q')) << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::string utf8 = ascii;
      utf8.replace(at, 1, "\xC3\xA9");
      std::u16string want(length, u'q');
      want[at] = u'\u00E9';
      EXPECT_EQ(SharedString::fromUtf8(utf8).view(), want) << length << " " << at;
    }
  }
}

TEST(SharedString, DecodesWholeCharactersAndReplacesBrokenOnes) {
  EXPECT_EQ(SharedString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80").view(), u"café 😀");
  EXPECT_EQ(SharedString::fromUtf8("a\xF0\x9F").view(), u"a\uFFFD");
  const SharedString a(u"x"), b = a, c(u"x");
  EXPECT_EQ(a.identity(), b.identity());
  EXPECT_NE(a.identity(), c.identity());
  EXPECT_TRUE(a == c);
  EXPECT_EQ(SharedStringHash()(a), SharedStringHash()(std::u16string_view(u"x")));
}

// Arena strings fill several blocks, outlive the arena, are released on
// another thread, and a block stays mapped while any of its strings lives
// (a block given back early would fault or, under ASan, report here).
TEST(SharedStringArena, StringsOutliveTheArenaAndTheirBlocks) {
  std::vector<SharedString> kept;
  {
    SharedStringArena arena;
    std::vector<SharedString> dropped;
    for (int i = 0; i < 120000; ++i) {
      const std::string name = "name-" + std::to_string(i);
      (i % 3 == 0 ? kept : dropped).push_back(SharedString::fromUtf8(name, &arena));
    }
    kept.push_back(SharedString::fromUtf8("caf\xC3\xA9 \xFF", &arena));
    kept.push_back(SharedString(std::u16string(100000, u'x'), &arena));  // too long for a block
    std::thread([moved = std::move(dropped)]() mutable { moved.clear(); }).join();
  }
  for (int i = 0; i < 120000; i += 3) {
    ASSERT_EQ(kept[i / 3], SharedString::fromUtf8("name-" + std::to_string(i))) << i;
  }
  EXPECT_EQ(kept[kept.size() - 2].view(), u"café \uFFFD");
  EXPECT_EQ(kept.back().size(), 100000u);
  std::thread([moved = std::move(kept)]() mutable { moved.clear(); }).join();
}

}  // namespace
}  // namespace fw
