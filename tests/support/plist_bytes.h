#pragma once

// Plumbing for tests that read property lists: bytes of a string, the
// files of the shared corpus, and the two XML readers side by side.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/xml/expat_reader.h"

namespace fw::test_support {

inline std::span<const std::uint8_t> bytesOf(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Every regular file below the shared corpus, in a stable order.
inline std::vector<std::filesystem::path> corpusFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(FW_CORPUS_DIR, ec)) {
    if (e.is_regular_file(ec)) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What each XML reader makes of one document.
struct BothReads {
  std::optional<plist::Value> fast, expat;
  std::string fastWhy, expatWhy;
  plist::XmlReaderUsed used = plist::XmlReaderUsed::Dedicated;
  // Both refuse, or both read equal values (reals compared by bits).
  [[nodiscard]] bool agree() const {
    return fast.has_value() == expat.has_value() && (!fast || *fast == *expat);
  }
};

inline BothReads readBoth(std::string_view xml) {
  BothReads r;
  r.fast = plist::readXmlPropertyList(bytesOf(xml), &r.fastWhy, &r.used);
  r.expat = plist::readXmlPropertyListWithExpat(bytesOf(xml), &r.expatWhy);
  return r;
}

}  // namespace fw::test_support
