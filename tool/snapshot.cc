// The snapshot: the scanner's collections as one property list.

#include "platform/files/file_manager.h"
#include "platform/plist/binary/writer.h"
#include "tool/fw_library_core.h"

namespace fw {
namespace {

plist::Value stringDictionaryValue(const StringDictionary& map) {
  plist::Dictionary dict;
  dict.reserve(map.size());
  for (const auto& [key, value] : map) dict.set(key, plist::Value::string(value));
  return plist::Value::dictionary(std::move(dict));
}

// Fills `builder` with the snapshot. Its strings stay in the collections,
// which do not change while the file is written, so the builder borrows them.
void fillSnapshot(const FwLibraryCore& core, plist::BinaryPropertyListBuilder& builder) {
  // The root's keys, in order; the root stops at the first absent collection.
  static const SharedString kKeys[] = {SharedString(u"playlists"), SharedString(u"tunesToPaths"),
                                       SharedString(u"namesToParentPaths"),
                                       SharedString(u"sizesToNames")};
  const StringDictionary* maps[] = {core.tunesToPaths ? &*core.tunesToPaths : nullptr,
                                    core.namesToParentPaths ? &*core.namesToParentPaths : nullptr,
                                    core.sizesToNames ? &*core.sizesToNames : nullptr};
  std::size_t present = 0;
  if (core.playlists) {
    present = 1;
    while (present < 4 && maps[present - 1] != nullptr) ++present;
  }

  // Every container's room at once: reserved one by one, the last small
  // dictionary would double the references of the large ones before it. A
  // dictionary's keys are distinct, while its values mostly repeat (a
  // folder's path for each of its files), so the distinct strings are
  // counted by the keys and the playlists.
  std::size_t references = 2 * present;
  std::size_t strings = present;
  if (present > 0) {
    references += core.playlists->count();
    strings += core.playlists->count();
  }
  for (std::size_t m = 0; m + 1 < present; ++m) {
    references += 2 * maps[m]->size();
    strings += maps[m]->size();
  }
  builder.reserve(1 + references, references, strings);

  auto root = builder.dictionary(present);
  for (std::size_t k = 0; k < present; ++k) root.key(kKeys[k]);
  if (present > 0) {
    auto list = root.array(core.playlists->count());
    for (const auto& name : core.playlists->items()) list.add(name);
  }
  for (std::size_t m = 0; m + 1 < present; ++m) {
    root.dictionary(maps[m]->size()).add(maps[m]->values_container());
  }
}

constexpr auto kBorrowed = plist::BinaryPropertyListBuilder::StringLifetime::borrowed;

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
  plist::BinaryPropertyListBuilder builder(kBorrowed);
  fillSnapshot(*this, builder);
  return builder.finishInLargeBlocks(reason);
}

bool FwLibraryCore::writeSnapshot(std::u16string_view path, std::string* reason) const {
  plist::BinaryPropertyListBuilder builder(kBorrowed);
  fillSnapshot(*this, builder);
  return fm->writeAtomicallyFrom(
      path, [&](const ByteSink& sink) { return builder.finishTo(sink, reason); }, reason);
}

}  // namespace fw
