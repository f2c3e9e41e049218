#include <regex>

#include <gtest/gtest.h>

#include "tests/support/run_tool.h"

namespace fw::test_support {
namespace {

// Every argument is answered before anything is read: the preference file
// names a folder, yet only the bare run scans it and writes a snapshot.
TEST(CommandLine, AnswersHelpAndVersionAndRefusesEverythingElse) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* out;  // a pattern for all of standard output
    const char* err;  // and for all of standard error
    bool scans;
  } cases[] = {
      {{"--help"}, 0, "usage: library-snapshot \\[--help \\| --version\\]\n[\\s\\S]*--version[\\s\\S]*", "", false},
      {{"--version"}, 0, "library-snapshot [0-9]+\\.[0-9]+\\.[0-9]+\n", "", false},
      {{"--frobnicate"}, 2, "", "usage: library-snapshot [\\s\\S]*", false},
      {{"-h"}, 2, "", "usage: [\\s\\S]*", false},
      {{"extra"}, 2, "", "usage: [\\s\\S]*", false},
      {{""}, 2, "", "usage: [\\s\\S]*", false},
      {{"--help", "--version"}, 2, "", "usage: [\\s\\S]*", false},
      {{"--version", "x"}, 2, "", "usage: [\\s\\S]*", false},
      {{}, 0, "", "[\\s\\S]*FwLibraryController: fs: 1\n[\\s\\S]*", true},
  };
  for (const auto& c : cases) {
    TempHome home("fwkit-cli");
    writeFile(home.home() / "Saved/song.mp3", "x");
    home.preferences(key("save_directory", str((home.home() / "Saved").string())));
    ToolOptions options;
    options.args = c.args;
    const ToolResult r = runTool(home, options);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.status, c.status) << label << "\n" << r.describe();
    EXPECT_TRUE(std::regex_match(r.out, std::regex(c.out))) << label << "\n" << r.describe();
    EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << label << "\n" << r.describe();
    EXPECT_EQ(fs::exists(home.snapshotPath()), c.scans) << label;
    if (!c.scans) EXPECT_TRUE(home.tmpListing().empty()) << label;
  }
}

TEST(CommandLine, AFailedAnswerIsNoSuccess) {
  TempHome home("fwkit-cli");
  for (const char* arg : {"--help", "--version"}) {
    // /dev/full takes the bytes and fails the flush.
    ToolOptions options;
    options.args = {arg};
    options.stdoutPath = "/dev/full";
    EXPECT_EQ(runTool(home, options).status, 1) << arg;
  }
}

}  // namespace
}  // namespace fw::test_support
