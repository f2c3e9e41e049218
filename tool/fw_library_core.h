#pragma once

// The scanner behind library-snapshot: one FwLibraryCore per run collects
// what the folder scan and the media-library scan find, and traverse() writes
// it as one binary property list, "FwLibraryCore.plist", into the per-user
// temporary directory.
//
// Which scan fills which member:
//   folder scan (traverseFileSystem, traverseDirectory):
//     names, sizes, namesToParentPaths, sizesToNames
//   media-library scan (traverseiTunesLibrary, tool/media/itunes_library_scan.cc):
//     tunes, playlists, tunesToPaths
// Every collection stays absent (nullopt) until its scan creates it, new and
// empty, as that scan's first action.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/containers/insertion_ordered.h"
#include "platform/containers/large_block.h"
#include "platform/diagnostics/exception.h"
#include "platform/strings/shared_string.h"

namespace fw {

class FileManager;
namespace plist {
class Value;
}

// A set that keeps insertion order and answers addObject(), the insert that
// addObjectToCollection() guards.
template <class T, class Hash = std::hash<T>, class Equal = std::equal_to<T>>
class MutableSet {
 public:
  using Items = InsertionOrderedSet<T, Hash, Equal>;

  void addObject(T object) { items_.insert(std::move(object)); }
  // The same with the hash from hashOf(), for callers that prefetch.
  void addObject(std::uint32_t hash, T object) { items_.insert(hash, std::move(object)); }
  template <class K>
  [[nodiscard]] std::uint32_t hashOf(const K& key) const noexcept {
    return items_.hashOf(key);
  }
  void prefetch(std::uint32_t hash) const noexcept { items_.prefetch(hash); }
  // Room for `n` objects in all, so that adding up to that many rehashes nothing.
  void reserve(std::size_t n) { items_.reserve(n); }
  [[nodiscard]] std::size_t count() const noexcept { return items_.size(); }
  template <class K>
  [[nodiscard]] bool contains(const K& key) const {
    return items_.contains(key);
  }
  [[nodiscard]] const Items& items() const noexcept { return items_; }

 private:
  Items items_;
};

// An array that answers addObject().
template <class T>
class MutableArray {
 public:
  void addObject(T object) { items_.push_back(std::move(object)); }
  [[nodiscard]] std::size_t count() const noexcept { return items_.size(); }
  [[nodiscard]] const std::vector<T>& items() const noexcept { return items_; }

 private:
  std::vector<T> items_;
};

using StringSet = MutableSet<SharedString, SharedStringHash, SharedStringEqual>;
using SizeSet = MutableSet<std::int64_t>;
using StringArray = MutableArray<SharedString>;
// String to string, insertion order; a replaced key keeps its position and
// takes the new value (insert_or_assign), as setObject:forKey: does.
using StringDictionary =
    InsertionOrderedMap<SharedString, SharedString, SharedStringHash, SharedStringEqual>;

// The guarded insert: skips an absent object or collection; otherwise sends
// collection->addObject(*object) and logs and swallows whatever that throws.
//   addObjectToCollection(std::optional<SharedString>{}, &names)  -> no change, no log
template <class Object, class Collection>
void addObjectToCollection(const std::optional<Object>& object, Collection* collection) {
  if (!object || collection == nullptr) return;
  try {
    collection->addObject(*object);
  } catch (...) {
    logCaughtException();
  }
}
template <class Object, class Collection>
void addObjectToCollection(const Object* object, Collection* collection) {
  if (object == nullptr || collection == nullptr) return;
  try {
    collection->addObject(*object);
  } catch (...) {
    logCaughtException();
  }
}

class FwLibraryCore {
 public:
  // Runs the whole tool: the folder scan, then the media-library scan, then
  // writes the snapshot and ends the process. Exit status 0, or 1 when the
  // snapshot could not be serialised or written (logged as
  // "FwLibraryCore: could not write <path>: <reason>", earlier file kept).
  // Temporaries that runs killed mid-write left beside the snapshot are
  // removed first.
  [[noreturn]] static void traverse();

  // Sets only fm; every collection stays absent.
  FwLibraryCore();

  // The snapshot root: "playlists", "tunesToPaths", "namesToParentPaths",
  // "sizesToNames", in that order, stopping at the first absent collection,
  // so a scanner on which only the folder scan ran gives an empty dictionary.
  [[nodiscard]] plist::Value dictionary() const;
  // The snapshot file: exactly writeBinaryPropertyList(dictionary()), written
  // straight from the collections without building that dictionary, into
  // large blocks. Nullopt with the reason in `*reason` when it cannot be
  // serialised.
  [[nodiscard]] std::optional<LargeByteVector> snapshotPropertyList(
      std::string* reason = nullptr) const;
  // Writes that file atomically to `path` (FileManager::writeAtomically),
  // encoded while it is written, so that it is never whole in memory. False
  // with the reason in `*reason` when it cannot be serialised or written;
  // the file at `path` is then untouched.
  [[nodiscard]] bool writeSnapshot(std::u16string_view path, std::string* reason = nullptr) const;

  // The folder scan: replaces names, sizes, namesToParentPaths and
  // sizesToNames, reads the preference file, walks each root, logs
  // "FwLibraryController: fs: %i" with the count of names, then of sizes.
  void traverseFileSystem();
  // Walks one directory (tilde already expanded) into nameSet and sizeSet
  // and into this scanner's namesToParentPaths and sizesToNames.
  void traverseDirectory(std::u16string_view path, StringSet* nameSet, SizeSet* sizeSet);

  // The media-library scan (tool/media/itunes_library_scan.cc): replaces tunes,
  // playlists and tunesToPaths and fills them from the iTunes library file.
  void traverseiTunesLibrary();
  [[nodiscard]] static std::optional<std::u16string> iTunesLibraryPath();
  [[nodiscard]] static std::optional<std::u16string> normalizedStringForString(
      std::optional<std::u16string_view> string);

  std::optional<StringSet> tunes;
  std::optional<StringSet> names;
  std::optional<SizeSet> sizes;
  std::optional<StringArray> playlists;
  std::optional<StringDictionary> tunesToPaths;
  std::optional<StringDictionary> namesToParentPaths;
  std::optional<StringDictionary> sizesToNames;
  FileManager* fm = nullptr;  // the shared file manager; borrowed, never freed
};

}  // namespace fw
