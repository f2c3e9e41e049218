// The snapshot: the scanner's collections as one property list.

#include "platform/plist/binary_writer.h"
#include "tool/fw_library_core.h"

namespace fw {
namespace {

plist::Value stringDictionaryValue(const StringDictionary& map) {
  plist::Dictionary dict;
  dict.reserve(map.size());
  for (const auto& [key, value] : map) dict.set(key, plist::Value::string(value));
  return plist::Value::dictionary(std::move(dict));
}

}  // namespace

plist::Value FwLibraryCore::dictionary() const {
  plist::Dictionary root;
  if (!playlists) return plist::Value::dictionary(std::move(root));
  plist::Array names;
  names.reserve(playlists->count());
  for (const auto& name : playlists->items()) names.push_back(plist::Value::string(name));
  root.set(u"playlists", plist::Value::array(std::move(names)));
  if (!tunesToPaths) return plist::Value::dictionary(std::move(root));
  root.set(u"tunesToPaths", stringDictionaryValue(*tunesToPaths));
  if (!namesToParentPaths) return plist::Value::dictionary(std::move(root));
  root.set(u"namesToParentPaths", stringDictionaryValue(*namesToParentPaths));
  if (!sizesToNames) return plist::Value::dictionary(std::move(root));
  root.set(u"sizesToNames", stringDictionaryValue(*sizesToNames));
  return plist::Value::dictionary(std::move(root));
}

std::optional<LargeByteVector> FwLibraryCore::snapshotPropertyList(std::string* reason) const {
  // The root's keys, in order; the root stops at the first absent collection.
  static const SharedString kKeys[] = {SharedString(u"playlists"), SharedString(u"tunesToPaths"),
                                       SharedString(u"namesToParentPaths"),
                                       SharedString(u"sizesToNames")};
  const StringDictionary* maps[] = {tunesToPaths ? &*tunesToPaths : nullptr,
                                    namesToParentPaths ? &*namesToParentPaths : nullptr,
                                    sizesToNames ? &*sizesToNames : nullptr};
  std::size_t present = 0;
  if (playlists) {
    present = 1;
    while (present < 4 && maps[present - 1] != nullptr) ++present;
  }

  plist::BinaryPropertyListBuilder builder;
  auto root = builder.dictionary(present);
  for (std::size_t k = 0; k < present; ++k) root.key(kKeys[k]);
  if (present > 0) {
    auto list = root.array(playlists->count());
    for (const auto& name : playlists->items()) list.add(name);
  }
  for (std::size_t m = 0; m + 1 < present; ++m) {
    root.dictionary(maps[m]->size()).add(maps[m]->values_container());
  }
  return builder.finishInLargeBlocks(reason);
}

}  // namespace fw
