#pragma once

// The snapshot file as tests compare it, and preference files in binary form
// (which, unlike XML, can carry any string, U+0000 included).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist/binary/writer.h"
#include "platform/plist/property_list.h"
#include "platform/strings/unicode.h"
#include "tests/support/temp_home.h"

namespace fw::test_support {

using Map = std::map<std::string, std::string>;

struct Snapshot {
  std::vector<std::string> playlists;
  Map tunesToPaths, namesToParentPaths, sizesToNames;
};

// nullopt unless the file is a property list whose root has exactly the four
// keys with values of the right kinds.
inline std::optional<Snapshot> readSnapshot(const fs::path& path) {
  const std::optional<plist::Value> root = plist::readPropertyListFile(path.string());
  const plist::Dictionary* dict = root ? root->asDictionary() : nullptr;
  if (dict == nullptr || dict->size() != 4) return std::nullopt;
  Snapshot s;
  const plist::Value* list = dict->find(u"playlists");
  if (list == nullptr || list->asArray() == nullptr) return std::nullopt;
  for (const plist::Value& v : *list->asArray()) {
    if (!v.asString()) return std::nullopt;
    s.playlists.push_back(utf16ToUtf8Lossy(*v.asString()));
  }
  const std::pair<const char16_t*, std::map<std::string, std::string>*> maps[] = {
      {u"tunesToPaths", &s.tunesToPaths},
      {u"namesToParentPaths", &s.namesToParentPaths},
      {u"sizesToNames", &s.sizesToNames}};
  for (const auto& [key, out] : maps) {
    const plist::Value* v = dict->find(key);
    if (v == nullptr || v->asDictionary() == nullptr) return std::nullopt;
    for (const auto& [k, value] : *v->asDictionary()) {
      if (!value.asString()) return std::nullopt;
      (*out)[utf16ToUtf8Lossy(k.view())] = utf16ToUtf8Lossy(*value.asString());
    }
  }
  return s;
}

#ifdef FW_BUNDLE_IDENTIFIER
inline void binaryPreferences(const TempHome& home, const plist::Value& root) {
  const std::optional<std::vector<std::uint8_t>> bytes = plist::writeBinaryPropertyList(root);
  ASSERT_TRUE(bytes);
  writeFile(home.home() / kPreferencesPath,
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}
#endif

}  // namespace fw::test_support
