// plist-dump: prints any property list, XML or binary, as XML or JSON, or
// converts it to a binary property list. See usage() and plist-dump(1).

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "apps/plist-dump/output_file.h"
#include "platform/plist/binary/writer.h"
#include "platform/plist/json/writer.h"
#include "platform/plist/property_list.h"
#include "platform/plist/xml/writer.h"

#ifndef FW_VERSION
#define FW_VERSION "unknown"
#endif

namespace {

constexpr const char* kUsage =
    "usage: plist-dump [--xml | --json | --binary] [-o FILE] FILE\n"
    "       plist-dump --check FILE\n"
    "       plist-dump --help | --version\n"
    "\n"
    "Reads a property list, XML or binary, and writes it as XML (the default),\n"
    "as JSON, or as a binary property list.\n"
    "\n"
    "options:\n"
    "  --xml        write an XML property list (the default)\n"
    "  --json       write JSON: dates as {\"$date\": seconds since 2001-01-01},\n"
    "               data as {\"$data\": base64}, UIDs as {\"$uid\": n}\n"
    "  --binary     write a binary property list (never to a terminal)\n"
    "  --check      read the file and write nothing: status 0 when it reads\n"
    "  -o FILE      write to FILE, replaced atomically, not to standard output\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "  --           take the next argument as the file, even if it starts with -\n"
    "\n"
    "exit status: 0 done; 1 the file could not be read or is malformed, holds\n"
    "a character XML cannot carry, or the output could not be written; 2 bad usage\n";

enum class Mode { Xml, Json, Binary, Check };

struct Options {
  Mode mode = Mode::Xml;
  const char* input = nullptr;
  const char* output = nullptr;  // nullptr: standard output
};

int usageError(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "plist-dump: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

int answer(const char* text) {
  std::fputs(text, stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

// The options, or the status to exit with at once.
std::variant<Options, int> parse(int argc, char** argv) {
  Options o;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsDone || arg == "-" || arg.empty() || arg[0] != '-') {
      if (o.input != nullptr) return usageError("more than one input file");
      o.input = argv[i];
    } else if (arg == "--") {
      optionsDone = true;
    } else if (arg == "--xml") {
      o.mode = Mode::Xml;
    } else if (arg == "--json") {
      o.mode = Mode::Json;
    } else if (arg == "--binary") {
      o.mode = Mode::Binary;
    } else if (arg == "--check") {
      o.mode = Mode::Check;
    } else if (arg == "-o") {
      if (i + 1 == argc) return usageError("-o needs a file name");
      o.output = argv[++i];
    } else if (arg == "--help") {
      return answer(kUsage);
    } else if (arg == "--version") {
      return answer("plist-dump " FW_VERSION "\n");
    } else {
      std::fprintf(stderr, "plist-dump: unknown option %s\n", argv[i]);
      return usageError(nullptr);
    }
  }
  if (o.input == nullptr) return usageError("no input file");
  if (o.mode == Mode::Check && o.output != nullptr)
    return usageError("--check writes nothing; drop -o");
  return o;
}

int fail(const std::string& reason) {
  std::fprintf(stderr, "plist-dump: %s\n", reason.c_str());
  return 1;
}

// Where the text goes: standard output, or the atomic file.
class Destination {
 public:
  explicit Destination(const char* path) : path_(path) {}

  bool open(std::string* reason) { return path_ == nullptr || file_.open(path_, reason); }

  bool write(std::string_view bytes) {
    if (path_ != nullptr) return file_.write(bytes, &reason_);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
    reason_ = std::string("write to standard output: ") + std::strerror(errno);
    return false;
  }

  // Everything written reached its place; otherwise the reason.
  bool finish() {
    if (!reason_.empty()) return false;
    if (path_ != nullptr) return file_.commit(&reason_);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    reason_ = std::string("write to standard output: ") + std::strerror(errno);
    return false;
  }

  const std::string& reason() const { return reason_; }

 private:
  const char* path_;
  fw::plist_dump::OutputFile file_;
  std::string reason_;
};

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = parse(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const Options& o = std::get<Options>(parsed);

  if (o.mode == Mode::Binary && o.output == nullptr && ::isatty(STDOUT_FILENO)) {
    return usageError(
        "will not write a binary property list to a terminal; redirect it or use -o FILE");
  }
  Destination out(o.output);
  std::string reason;
  if (o.mode != Mode::Check && !out.open(&reason)) return fail(reason);

  const auto value = fw::plist::readPropertyListFile(o.input, &reason);
  if (!value) return fail(reason);
  // A large tree is left for the system to reclaim: freeing it one node at
  // a time only costs the user time at exit.
  if (o.mode == Mode::Check) std::_Exit(0);

  const fw::plist::TextSink sink = [&](std::string_view piece) { return out.write(piece); };
  bool written = false;
  switch (o.mode) {
    case Mode::Xml:
      written = fw::plist::writeXmlPropertyList(*value, sink, &reason);
      if (!written && !reason.empty()) {
        return fail(std::string(o.input) + ": " + reason + "; use --json or --binary to keep it");
      }
      break;
    case Mode::Json: written = fw::plist::writeJson(*value, sink); break;
    case Mode::Binary: {
      // Handed on in pieces, so that the file is never whole in memory.
      const fw::ByteSink pieces = [&](std::span<const std::uint8_t> piece) {
        return out.write({reinterpret_cast<const char*>(piece.data()), piece.size()});
      };
      written = fw::plist::writeBinaryPropertyList(*value, pieces, &reason);
      if (!written && out.reason().empty()) return fail(std::string(o.input) + ": " + reason);
      break;
    }
    case Mode::Check: break;
  }
  if (!written || !out.finish()) return fail(out.reason());
  std::_Exit(0);
}
