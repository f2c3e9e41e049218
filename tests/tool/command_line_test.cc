#include <gtest/gtest.h>

#include "tests/support/run_tool.h"

namespace fw::test_support {
namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "library-snapshot 1.22.333\n": the name, a space, a dotted version.
bool isVersionLine(const std::string& text) {
  const std::string name = "library-snapshot ";
  return startsWith(text, name) && text.size() > name.size() + 1 && text.back() == '\n' &&
         text.find_first_not_of("0123456789.", name.size()) == text.size() - 1;
}

// Every argument is answered before anything is read: the preference file
// names a folder, yet only the bare run scans it and writes a snapshot.
TEST(CommandLine, AnswersHelpAndVersionAndRefusesEverythingElse) {
  const std::string usage = "usage: library-snapshot [--help | --version]\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;  // standard output starts with this ("": is empty)
    std::string err;  // and standard error
    bool scans;
  } cases[] = {
      {{"--help"}, 0, usage, "", false},
      {{"--version"}, 0, "library-snapshot ", "", false},
      {{"--frobnicate"}, 2, "", usage, false},
      {{"-h"}, 2, "", usage, false},
      {{"extra"}, 2, "", usage, false},
      {{""}, 2, "", usage, false},
      {{"--help", "--version"}, 2, "", usage, false},
      {{"--version", "x"}, 2, "", usage, false},
      {{}, 0, "", "", true},
  };
  for (const auto& c : cases) {
    TempHome home("fwkit-cli");
    writeFile(home.home() / "Saved/song.mp3", "x");
    home.preferences(key("save_directory", str((home.home() / "Saved").string())));
    ToolOptions options;
    options.args = c.args;
    const ToolResult r = runTool(home, options);
    const std::string label = (c.args.empty() ? "(none)" : c.args[0]) + "\n" + r.describe();
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_TRUE(c.out.empty() ? r.out.empty() : startsWith(r.out, c.out)) << label;
    EXPECT_EQ(fs::exists(home.snapshotPath()), c.scans) << label;
    if (c.scans) {
      EXPECT_EQ(r.messages()[0], "FwLibraryController: fs: 1") << label;
    } else {
      EXPECT_TRUE(c.err.empty() ? r.err.empty() : startsWith(r.err, c.err)) << label;
      EXPECT_TRUE(home.tmpListing().empty()) << label;
    }
  }
  TempHome home("fwkit-cli");
  ToolOptions options;
  options.args = {"--version"};
  const ToolResult r = runTool(home, options);
  EXPECT_TRUE(isVersionLine(r.out)) << r.out;
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
