#include "tool/command_line.h"

#include <cstdio>
#include <string_view>

#ifndef FW_VERSION
#define FW_VERSION "unknown"
#endif

namespace fw {

const char* commandLineUsage() {
  return "usage: library-snapshot [--help | --version]\n"
         "\n"
         "Reads the Fetchwright preference file, walks the folders it names, reads\n"
         "the iTunes library export and writes the binary property list\n"
         "FwLibraryCore.plist into the per-user temporary directory. It takes no\n"
         "arguments; progress goes to standard error.\n"
         "\n"
         "options:\n"
         "  --help       print this text and exit\n"
         "  --version    print the version and exit\n";
}

std::optional<int> handleCommandLine(int argc, const char* const* argv) {
  if (argc <= 1) return std::nullopt;
  const std::string_view arg = argv[1];
  if (argc == 2 && (arg == "--help" || arg == "--version")) {
    if (arg == "--help") {
      std::fputs(commandLineUsage(), stdout);
    } else {
      std::fputs("library-snapshot " FW_VERSION "\n", stdout);
    }
    // An answer that could not be printed (a full disk, a closed pipe) is
    // not a success.
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  std::fputs(commandLineUsage(), stderr);
  return 2;
}

}  // namespace fw
