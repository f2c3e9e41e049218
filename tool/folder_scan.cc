// The folder scan: the walk's entries into the scanner's collections.

#include <algorithm>
#include <string>

#include "platform/diagnostics/log.h"
#include "platform/files/path.h"
#include "platform/strings/unicode.h"
#include "tool/fw_library_core.h"
#include "tool/preference_roots.h"
#include "tool/walk/directory_walk.h"

namespace fw {
namespace {

constexpr std::int64_t kLargeFileSize = 10485760;

class Collector : public DirectoryWalkVisitor {
 public:
  Collector(FwLibraryCore& core, StringSet* nameSet, SizeSet* sizeSet)
      : core_(core), nameSet_(nameSet), sizeSet_(sizeSet), home_(homeDirectory()) {
    deferNames_ = core_.namesToParentPaths && nameSet_ != nullptr && sameNames();
    keysBefore_ = core_.namesToParentPaths ? core_.namesToParentPaths->size() : 0;
  }

  // Each name is decoded and hashed, and its slot in namesToParentPaths
  // fetched, on arrival; it is recorded kAhead names later, so that the
  // cache misses of the large dictionary overlap instead of following one
  // another. The order of the records is the order of the visits.
  void visitFile(std::string_view name, std::int64_t size, std::u16string_view directory,
                 std::uint64_t serial) override {
    const SharedString& parent = parentPath(directory, serial);
    Pending& slot = pending_[visits_++ % kAhead];
    if (slot.waiting) record(slot);
    slot.key = SharedString::fromUtf8(name, &arena_);
    slot.parent = parent;
    slot.size = size;
    if (core_.namesToParentPaths) {
      slot.hash = core_.namesToParentPaths->hashOf(slot.key);
      core_.namesToParentPaths->prefetch(slot.hash);
    }
    slot.waiting = true;
  }

  // Records the names still waiting, then adds those left for after the
  // walk. When the name set holds exactly the dictionary's keys, in order,
  // adding each visited name would add just the keys the walk appended, in
  // the order they were appended; so those are added here in one pass, with
  // room made first and each slot fetched ahead.
  void finish() {
    for (std::size_t i = 0; i < kAhead; ++i) {
      Pending& slot = pending_[(visits_ + i) % kAhead];
      if (slot.waiting) record(slot);
    }
    if (!deferNames_) return;
    const auto& keys = core_.namesToParentPaths->values_container();
    try {
      nameSet_->reserve(nameSet_->count() + (keys.size() - keysBefore_));
    } catch (...) {
      logCaughtException();
    }
    std::uint32_t hashes[kAhead];
    const std::size_t end = keys.size();
    auto fetch = [&](std::size_t j) {
      hashes[j % kAhead] = nameSet_->hashOf(keys[j].first);
      nameSet_->prefetch(hashes[j % kAhead]);
    };
    for (std::size_t j = keysBefore_; j < std::min(keysBefore_ + kAhead, end); ++j) fetch(j);
    for (std::size_t i = keysBefore_; i < end; ++i) {
      const std::uint32_t hash = hashes[i % kAhead];  // before fetch() reuses its place
      if (i + kAhead < end) fetch(i + kAhead);
      try {
        nameSet_->addObject(hash, keys[i].first);
      } catch (...) {
        logCaughtException();
      }
    }
  }

 private:
  static constexpr std::size_t kAhead = 8;

  struct Pending {
    SharedString key;
    SharedString parent;
    std::int64_t size = 0;
    std::uint32_t hash = 0;
    bool waiting = false;
  };

  // One visited file into the collections. A name seen before hands on its
  // existing buffer, so the set and the dictionary share one copy of each
  // name.
  void record(Pending& p) {
    p.waiting = false;
    SharedString key = std::move(p.key);
    if (core_.namesToParentPaths) {
      auto [entry, inserted] =
          core_.namesToParentPaths->try_emplace(p.hash, key, std::move(p.parent));
      if (!inserted) {
        entry->second = std::move(p.parent);
        key = entry->first;
      }
    }
    p.parent = SharedString();
    if (!deferNames_) addObjectToCollection(&key, nameSet_);
    if (p.size > kLargeFileSize) {
      const std::int64_t large = p.size;
      addObjectToCollection(&large, sizeSet_);
      if (core_.sizesToNames) {
        core_.sizesToNames->insert_or_assign(
            SharedString(asciiToUtf16(std::to_string(large)), &arena_), key);
      }
    }
  }

  FwLibraryCore& core_;
  // Every name, parent path and size text the walk keeps, in large blocks.
  SharedStringArena arena_;
  StringSet* nameSet_;
  SizeSet* sizeSet_;
  std::u16string home_;
  // Each directory's abbreviated path, built once and shared by all its
  // files, also when its listing resumes after a subdirectory. Serials grow
  // as directories are entered, and the walk is depth first, so when a
  // directory reports again every larger serial belongs to a finished one.
  const SharedString& parentPath(std::u16string_view directory, std::uint64_t serial) {
    while (!parents_.empty() && parents_.back().first > serial) parents_.pop_back();
    if (parents_.empty() || parents_.back().first != serial) {
      parents_.emplace_back(
          serial, SharedString(stringByAbbreviatingWithTildeInPath(directory, home_), &arena_));
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

  std::vector<std::pair<std::uint64_t, SharedString>> parents_;
  Pending pending_[kAhead];
  std::uint64_t visits_ = 0;
  bool deferNames_ = false;
  std::size_t keysBefore_ = 0;
};

}  // namespace

void FwLibraryCore::traverseFileSystem() {
  names.emplace();
  sizes.emplace();
  namesToParentPaths.emplace();
  sizesToNames.emplace();

  // The roots are walked together, so that helper threads can start on a
  // later root while an earlier one is still merged; the results are those
  // of one traverseDirectory call per root, in list order.
  const std::vector<std::u16string> roots = preferenceRoots();
  Collector collector(*this, &*names, &*sizes);
  walkDirectoryTrees(roots, collector);
  collector.finish();
  logLine("FwLibraryController: fs: " + std::to_string(names->count()));
  logLine("FwLibraryController: fs: " + std::to_string(sizes->count()));
}

void FwLibraryCore::traverseDirectory(std::u16string_view path, StringSet* nameSet,
                                      SizeSet* sizeSet) {
  if (!isWalkableFolderPath(path)) return;
  Collector collector(*this, nameSet, sizeSet);
  walkDirectoryTree(path, collector);
  collector.finish();
}

}  // namespace fw
