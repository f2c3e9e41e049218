#include "extensions/text/markup/soft_hyphens.h"

#include <gtest/gtest.h>

#include "tests/support/table.h"

namespace fw {
namespace {

TEST(SoftHyphens, InsertsEntityTextBetweenCodeUnits) {
  test_support::expectRows(stringByAddingSoftHyphens,
                           test_support::TextRows{{u"abc", u"a&shy;b&shy;c"},
                                                  {u"ab", u"a&shy;b"},
                                                  {u"a", u"a"},
                                                  {u"", u""},
                                                  {u"\U0001F600", u"\xD83D&shy;\xDE00"}});
}

}  // namespace
}  // namespace fw
