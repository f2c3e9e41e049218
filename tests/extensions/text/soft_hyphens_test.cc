#include "extensions/text/soft_hyphens.h"

#include <gtest/gtest.h>

#include <string>

namespace fw {
namespace {

TEST(SoftHyphens, InsertsEntityTextBetweenCodeUnits) {
  EXPECT_EQ(stringByAddingSoftHyphens(u"abc"), u"a&shy;b&shy;c");
  EXPECT_EQ(stringByAddingSoftHyphens(u"ab"), u"a&shy;b");
  EXPECT_EQ(stringByAddingSoftHyphens(u"a"), u"a");
  EXPECT_EQ(stringByAddingSoftHyphens(u""), u"");
  EXPECT_EQ(stringByAddingSoftHyphens(u"\U0001F600"), u"\xD83D&shy;\xDE00");
}

// Every outcome of rangeBetween, then the examples of the other four
// operations, as one table. L is the receiver's length, p the position just
// after the first marker, b where the second marker was found.

}  // namespace
}  // namespace fw
