#include "tool/preference_roots.h"

#include <optional>

#include "platform/files/path.h"
#include "platform/plist/property_list.h"
#include "platform/strings/unicode.h"
#include "tool/fw_library_core.h"
#include "tool/value_truth.h"

namespace fw {

bool isWalkableFolderPath(std::u16string_view path) {
  if (!fileSystemRepresentation(path)) return false;
  const std::u16string last = lastPathComponent(path);
  return last.empty() || last[0] != u'.';
}

std::vector<std::u16string> preferenceRoots() {
  std::u16string prefPath = stringByExpandingTildeInPath(
      asciiToUtf16("~/Library/Preferences/" FW_BUNDLE_IDENTIFIER ".plist"));
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

  std::vector<std::u16string> walked;
  for (const plist::Value& root : roots.items()) {
    // Only strings name folders; a number or a dictionary standing in for a
    // path is skipped.
    std::optional<std::u16string_view> path = root.asString();
    if (!path || path->empty()) continue;
    if (stringByAbbreviatingWithTildeInPath(*path) == u"~/Desktop") continue;
    std::u16string expanded = stringByExpandingTildeInPath(*path);
    if (!isWalkableFolderPath(expanded)) continue;
    walked.push_back(std::move(expanded));
  }
  return walked;
}

}  // namespace fw
