#include "platform/plist/property_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/plist/binary/writer.h"
#include "tests/support/temp_home.h"

namespace fw::plist {
namespace {

using test_support::writeFile;

TEST(PropertyListFile, ReadsEitherFormatAndRefusesWhatIsNoFile) {
  const test_support::TempHome dir;
  const std::string tmp = dir.tmp();
  // Larger than one read block, so the XML crosses block boundaries.
  std::string body = "<array>";
  for (int i = 0; i < 60000; ++i) body += "<string>entry " + std::to_string(i) + "</string>";
  writeFile(tmp + "/big.plist",
            "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</array></plist>");
  const auto binary = writeBinaryPropertyList(Value::array({Value::string(u"entry 59999")}));
  writeFile(tmp + "/binary.plist", std::string(binary->begin(), binary->end()));
  writeFile(tmp + "/short.plist", "bplist0");
  ASSERT_EQ(::mkfifo((tmp + "/fifo").c_str(), 0600), 0);

  struct Case {
    std::string name;
    std::size_t items;  // of the array read, or 0 for a refusal with `reason`
    std::string reason;
  };
  const Case cases[] = {
      {"big.plist", 60000, ""},
      {"binary.plist", 1, ""},
      {"short.plist", 0,
       tmp + "/short.plist: "},  // neither format: the XML reader's reason follows
      {"", 0, tmp + "/: is a directory"},
      {"fifo", 0, tmp + "/fifo: not a regular file"},
      {"missing", 0, tmp + "/missing: No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string why;
    const auto v = readPropertyListFile(tmp + "/" + c.name, &why);
    if (c.items == 0) {
      EXPECT_FALSE(v) << c.name;
      // A reason ending in ": " is the path before another reader's reason.
      if (c.reason.ends_with(": ")) {
        EXPECT_EQ(why.substr(0, c.reason.size()), c.reason) << c.name;
        EXPECT_GT(why.size(), c.reason.size()) << c.name;
      } else {
        EXPECT_EQ(why, c.reason) << c.name;
      }
      continue;
    }
    ASSERT_TRUE(v && v->asArray()) << c.name << ": " << why;
    ASSERT_EQ(v->asArray()->size(), c.items) << c.name;
    EXPECT_EQ(v->asArray()->back().asString(), u"entry 59999") << c.name;
  }
}

}  // namespace
}  // namespace fw::plist
