// plist-dump [--json|--xml] FILE: prints a property list of either format.
// Exit status: 0 printed, 1 the file was refused (the reason on stderr),
// 2 bad usage. --check reads the file and prints nothing, for timing the
// readers alone.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/plist/json_writer.h"
#include "platform/plist/property_list.h"
#include "platform/plist/xml_writer.h"

namespace {

int usage() {
  std::fputs("usage: plist-dump [--json|--xml] FILE\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { Xml, Json, Check } mode = Mode::Xml;
  const char* path = nullptr;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsDone && arg == "--json") {
      mode = Mode::Json;
    } else if (!optionsDone && arg == "--xml") {
      mode = Mode::Xml;
    } else if (!optionsDone && arg == "--check") {
      mode = Mode::Check;
    } else if (!optionsDone && arg == "--") {
      optionsDone = true;
    } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
      return usage();
    } else if (path) {
      return usage();
    } else {
      path = argv[i];
    }
  }
  if (!path) return usage();

  std::string reason;
  const auto value = fw::plist::readPropertyListFile(path, &reason);
  if (!value) {
    std::fprintf(stderr, "plist-dump: %s\n", reason.c_str());
    return 1;
  }
  // A large tree is left for the system to reclaim: freeing it one node at
  // a time only costs the user time at exit.
  if (mode == Mode::Check) std::_Exit(0);
  const std::string text =
      mode == Mode::Json ? fw::plist::writeJson(*value) : fw::plist::writeXmlPropertyList(*value);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "plist-dump: write failed: %s\n", std::strerror(errno));
    return 1;
  }
  std::_Exit(0);
}
