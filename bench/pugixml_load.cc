// pugixml-load FILE: pugixml's DOM load of a whole document, the peer of
// `plist-dump --check` in bench/compare's XML-read section. Prints the
// number of elements, so that the tree is walked once and not optimised
// away; exits 1 when the document does not parse.
#include <cstdio>

#include <pugixml.hpp>

namespace {

long countElements(const pugi::xml_node& node) {
  long n = 0;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) n += 1 + countElements(child);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pugixml-load FILE\n");
    return 2;
  }
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_file(argv[1]);
  if (!result) {
    std::fprintf(stderr, "pugixml-load: %s: %s\n", argv[1], result.description());
    return 1;
  }
  std::printf("%ld\n", countElements(doc));
  return 0;
}
