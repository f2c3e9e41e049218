// xml-read-timing FILE [ROUNDS [NAME...]]
//
// Times, in one process over the same bytes already in memory, taking turns
// round by round so that a loaded machine slows all alike:
//   memchr  one memchr pass counting '<' (the floor for any reader)
//   fast    the dedicated reader sending its events to empty handlers
//   expat   expat with empty element and text handlers, building nothing
//   tree    the dedicated reader building the value tree
// Prints each one's fastest and median round in seconds, one per line
// ("fast 0.120 0.131"), so that bench/compare.d can take ratios. NAMEs pick
// some of the passes (for profiling one).

#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/plist/xml/expat_reader.h"
#include "platform/plist/xml/fast_reader.h"

namespace {

class Ignore final : public fw::plist::PropertyListEvents {
 public:
  void beginDictionary() override { ++n; }
  void endDictionary() override {}
  void beginArray() override { ++n; }
  void endArray() override {}
  void key(fw::plist::EventText) override { ++n; }
  void string(fw::plist::EventText) override { ++n; }
  void scalar(const fw::plist::Value&) override { ++n; }
  void data(std::span<const std::uint8_t>) override { ++n; }
  void restart() override { n = 0; }
  std::size_t n = 0;
};

std::size_t memchrPass(const std::string& s) {
  std::size_t count = 0;
  const char* p = s.data();
  const char* e = p + s.size();
  while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(e - p))))) {
    ++count;
    ++p;
  }
  return count;
}

std::size_t fastPass(const std::string& s) {
  Ignore ignore;
  const auto r = fw::plist::readXmlEventsFast(
      {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}, ignore);
  if (r != fw::plist::FastXmlResult::Read) std::exit(1);
  return ignore.n;
}

void XMLCALL noStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL noEnd(void*, const XML_Char*) {}
void XMLCALL noText(void*, const XML_Char*, int) {}

std::size_t expatPass(const std::string& s) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, noStart, noEnd);
  XML_SetCharacterDataHandler(parser, noText);
  const bool ok = XML_Parse(parser, s.data(), static_cast<int>(s.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) std::exit(1);
  return 1;
}

std::size_t treePass(const std::string& s) {
  const auto v =
      fw::plist::readXmlPropertyList({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
  if (!v) std::exit(1);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xml-read-timing FILE [ROUNDS]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  struct Run {
    const char* name;
    std::size_t (*pass)(const std::string&);
    std::vector<double> times;
  } runs[] = {{"memchr", memchrPass, {}},
              {"fast", fastPass, {}},
              {"expat", expatPass, {}},
              {"tree", treePass, {}}};
  auto chosen = [&](const Run& run) {
    if (argc <= 3) return true;
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], run.name) == 0) return true;
    }
    return false;
  };
  volatile std::size_t sink = 0;
  for (int r = 0; r < rounds; ++r) {
    for (Run& run : runs) {
      if (!chosen(run)) continue;
      const auto start = std::chrono::steady_clock::now();
      sink = sink + run.pass(bytes);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      run.times.push_back(took.count());
    }
  }
  for (Run& run : runs) {
    if (run.times.empty()) continue;
    std::sort(run.times.begin(), run.times.end());
    std::printf("%s %.4f %.4f\n", run.name, run.times.front(), run.times[run.times.size() / 2]);
  }
  return 0;
}
