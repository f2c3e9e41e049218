#include "tool/fw_library_core.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <typeinfo>

#include "extensions/text/string_data.h"
#include "platform/exception.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/path.h"
#include "platform/plist/binary_writer.h"
#include "platform/plist/property_list.h"
#include "platform/temporary_directory.h"
#include "platform/unicode.h"
#include "tool/directory_walk.h"
#include "tool/value_truth.h"

namespace fw {
namespace {

constexpr std::int64_t kLargeFileSize = 10485760;

std::string demangled(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                             std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

std::u16string utf16(std::string_view ascii) { return asciiToUtf16(ascii); }

class Collector : public DirectoryWalkVisitor {
 public:
  Collector(FwLibraryCore& core, StringSet* nameSet, SizeSet* sizeSet)
      : core_(core), nameSet_(nameSet), sizeSet_(sizeSet), home_(homeDirectory()) {
    deferNames_ = core_.namesToParentPaths && nameSet_ != nullptr && sameNames();
    keysBefore_ = core_.namesToParentPaths ? core_.namesToParentPaths->size() : 0;
  }

  void visitFile(std::string_view name, std::int64_t size, std::u16string_view directory,
                 std::uint64_t serial) override {
    const plist::SharedString& parent = parentPath(directory, serial);
    // One decode and one probe of namesToParentPaths per name; a name seen
    // before hands on its existing buffer, so the set and the dictionary
    // share one copy of each name.
    plist::SharedString key = plist::SharedString::fromUtf8(name);
    if (core_.namesToParentPaths) {
      auto [it, inserted] = core_.namesToParentPaths->try_emplace(key, parent);
      if (!inserted) {
        it.value() = parent;
        key = it->first;
      }
    }
    if (!deferNames_) addObjectToCollection(&key, nameSet_);
    if (size > kLargeFileSize) {
      const std::int64_t large = size;
      addObjectToCollection(&large, sizeSet_);
      if (core_.sizesToNames) {
        core_.sizesToNames->insert_or_assign(plist::SharedString(utf16(std::to_string(size))),
                                             key);
      }
    }
  }

  // Adds the names left for after the walk. When the name set holds exactly
  // the dictionary's keys, in order, adding each visited name would add just
  // the keys the walk appended, in the order they were appended; so those
  // are added here in one pass, with room made first.
  void finish() {
    if (!deferNames_) return;
    const auto& keys = core_.namesToParentPaths->values_container();
    try {
      nameSet_->reserve(nameSet_->count() + (keys.size() - keysBefore_));
    } catch (...) {
      logCaughtException();
    }
    for (std::size_t i = keysBefore_; i < keys.size(); ++i) addObjectToCollection(&keys[i].first, nameSet_);
  }

 private:
  FwLibraryCore& core_;
  StringSet* nameSet_;
  SizeSet* sizeSet_;
  std::u16string home_;
  // Each directory's abbreviated path, built once and shared by all its
  // files, also when its listing resumes after a subdirectory. Serials grow
  // as directories are entered, and the walk is depth first, so when a
  // directory reports again every larger serial belongs to a finished one.
  const plist::SharedString& parentPath(std::u16string_view directory, std::uint64_t serial) {
    while (!parents_.empty() && parents_.back().first > serial) parents_.pop_back();
    if (parents_.empty() || parents_.back().first != serial) {
      parents_.emplace_back(
          serial, plist::SharedString(stringByAbbreviatingWithTildeInPath(directory, home_)));
    }
    return parents_.back().second;
  }

  // Whether the name set holds exactly namesToParentPaths' keys, in order.
  bool sameNames() const {
    const auto& keys = core_.namesToParentPaths->values_container();
    const auto& items = nameSet_->items().values_container();
    if (keys.size() != items.size()) return false;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (!(keys[i].first == items[i])) return false;
    }
    return true;
  }

  std::vector<std::pair<std::uint64_t, plist::SharedString>> parents_;
  bool deferNames_ = false;
  std::size_t keysBefore_ = 0;
};

// A directory whose last path component begins with "." is never walked.
bool isHiddenDirectory(std::u16string_view path) {
  std::u16string last = lastPathComponent(path);
  return !last.empty() && last[0] == u'.';
}

plist::Value stringDictionaryValue(const StringDictionary& map) {
  plist::Dictionary dict;
  dict.reserve(map.size());
  for (const auto& [key, value] : map) dict.set(key, plist::Value::string(value));
  return plist::Value::dictionary(std::move(dict));
}

}  // namespace

void logCaughtException() {
  try {
    throw;
  } catch (const Exception& e) {
    logLine(e.name() + ": " + e.reason());
  } catch (const std::exception& e) {
    logLine(demangled(typeid(e).name()) + ": " + e.what());
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    logLine((type ? demangled(type->name()) : std::string("unknown")) + ": ");
  }
}

FwLibraryCore::FwLibraryCore() : fm(&FileManager::defaultManager()) {}

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

std::optional<std::vector<std::uint8_t>> FwLibraryCore::snapshotPropertyList(std::string* reason) const {
  // The root's keys, in order; the root stops at the first absent collection.
  static const SharedString kKeys[] = {SharedString(u"playlists"), SharedString(u"tunesToPaths"),
                                       SharedString(u"namesToParentPaths"), SharedString(u"sizesToNames")};
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
  return builder.finish(reason);
}

void FwLibraryCore::traverseFileSystem() {
  names.emplace();
  sizes.emplace();
  namesToParentPaths.emplace();
  sizesToNames.emplace();

  std::u16string prefPath = stringByExpandingTildeInPath(
      utf16("~/Library/Preferences/" FW_BUNDLE_IDENTIFIER ".plist"));
  const std::optional<std::string> prefBytes = fileSystemRepresentation(prefPath);
  std::optional<plist::Value> prefs =
      prefBytes ? plist::readPropertyListFile(*prefBytes) : std::nullopt;
  const plist::Dictionary* dict = prefs ? prefs->asDictionary() : nullptr;
  auto lookup = [&](std::u16string_view key) -> const plist::Value* {
    return dict ? dict->find(key) : nullptr;
  };

  MutableArray<plist::Value> roots;
  addObjectToCollection(lookup(u"save_directory"), &roots);
  static constexpr std::u16string_view kMoves[][2] = {
      {u"kFwMoveMusic", u"kFwMoveMusicLocation"},
      {u"kFwMoveMovies", u"kFwMoveMoviesLocation"},
      {u"kFwMoveImages", u"kFwMoveImagesLocation"},
  };
  for (const auto& move : kMoves) {
    if (valueIsTrue(lookup(move[0]))) addObjectToCollection(lookup(move[1]), &roots);
  }
  if (const plist::Value* shared = lookup(u"kFwSharedDirectories")) {
    if (const plist::Array* list = shared->asArray()) {
      for (const auto& item : *list) roots.addObject(item);
    } else {
      roots.addObject(*shared);
    }
  }

  // The roots are walked together, so that helper threads can start on a
  // later root while an earlier one is still merged; the results are those
  // of one traverseDirectory call per root, in list order.
  std::vector<std::u16string> walked;
  for (const plist::Value& root : roots.items()) {
    // Only strings name folders; a number or a dictionary standing in for a
    // path is skipped, and so is a string holding U+0000, which names no
    // folder (traverseDirectory refuses it).
    std::optional<std::u16string_view> path = root.asString();
    if (!path || path->empty()) continue;
    if (stringByAbbreviatingWithTildeInPath(*path) == u"~/Desktop") continue;
    std::u16string expanded = stringByExpandingTildeInPath(*path);
    if (!fileSystemRepresentation(expanded) || isHiddenDirectory(expanded)) continue;
    walked.push_back(std::move(expanded));
  }
  Collector collector(*this, &*names, &*sizes);
  walkDirectoryTrees(walked, collector);
  collector.finish();
  logLine("FwLibraryController: fs: " + std::to_string(names->count()));
  logLine("FwLibraryController: fs: " + std::to_string(sizes->count()));
}

void FwLibraryCore::traverseDirectory(std::u16string_view path, StringSet* nameSet,
                                      SizeSet* sizeSet) {
  // "~/real\0/etc" is no folder: walking "~/real" in its place would record
  // a parent path that exists nowhere.
  if (!fileSystemRepresentation(path) || isHiddenDirectory(path)) return;
  Collector collector(*this, nameSet, sizeSet);
  walkDirectoryTree(path, collector);
  collector.finish();
}

void FwLibraryCore::traverse() {
  // The scanner and its collections live until the process ends. They are
  // built in static storage, so they stay reachable while exit runs and are
  // never torn down.
  alignas(FwLibraryCore) static unsigned char storage[sizeof(FwLibraryCore)];
  FwLibraryCore* core = new (storage) FwLibraryCore();
  core->traverseFileSystem();
  core->traverseiTunesLibrary();

  std::string reason;
  std::u16string candidate;
  std::optional<std::u16string> directory = temporaryDirectory(&reason, &candidate);
  std::u16string target = stringByAppendingPathComponent(directory ? *directory : candidate,
                                                         u"FwLibraryCore.plist");
  bool written = false;
  if (directory) {
    // Temporaries of earlier runs that were killed mid-write would otherwise
    // pile up beside the snapshot.
    (void)core->fm->removeAbandonedTemporaries(target);
    std::optional<std::vector<std::uint8_t>> bytes = core->snapshotPropertyList(&reason);
    if (bytes) written = core->fm->writeAtomically(target, *bytes, &reason);
  }
  if (!written) {
    logLine("FwLibraryCore: could not write " + utf16ToUtf8Lossy(target) + ": " + reason);
    std::exit(1);
  }
  std::exit(0);
}

}  // namespace fw
