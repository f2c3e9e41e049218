// The media-library scan of FwLibraryCore: finds the user's iTunes library
// export, maps each track's normalised name to its file's tilde path, and
// lists the user's ordinary playlists.

#include <array>
#include <string>
#include <string_view>

#include "extensions/text/string_data.h"
#include "extensions/text/string_extensions.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/path.h"
#include "platform/plist/property_list.h"
#include "platform/plist/value.h"
#include "platform/string_case.h"
#include "platform/unicode.h"
#include "platform/url.h"
#include "tool/fw_library_core.h"
#include "tool/value_truth.h"

namespace fw {
namespace {

using plist::Dictionary;
using plist::Kind;
using plist::SharedString;
using plist::Value;

// The main application's own playlist, never reported back to it.
constexpr std::u16string_view kMainApplicationName = u"Fetchwright";

std::optional<std::u16string_view> stringFor(const Dictionary& record, std::u16string_view key) {
  const Value* value = record.find(key);
  if (value == nullptr) return std::nullopt;
  return value->asString();
}

// The nine exclusion tests, in order; the first that holds skips the record.
bool isOrdinaryPlaylist(const Dictionary& record, std::u16string_view name) {
  if (record.contains(u"Smart Info")) return false;
  if (name == kMainApplicationName) return false;
  for (std::u16string_view flag : {u"Master", u"Podcasts", u"Videos", u"Folder", u"Party Shuffle"}) {
    if (valueIsTrue(record.find(flag))) return false;
  }
  return name != u"Podcasts" && name != u"Party Shuffle";
}

}  // namespace

std::optional<std::u16string> FwLibraryCore::iTunesLibraryPath() {
  const std::array<std::u16string, 3> candidates = {
      stringByExpandingTildeInPath(u"~/Music/iTunes/iTunes Music Library.xml"),
      stringByExpandingTildeInPath(u"~/Documents/iTunes/iTunes Music Library.xml"),
      std::u16string(u"/Users/Shared/Music/iTunes/iTunes Music Library.xml"),
  };
  // Existence follows symbolic links, and a directory counts as existing,
  // so a directory in an earlier place hides the library files further down.
  const FileManager& fm = FileManager::defaultManager();
  for (const auto& candidate : candidates) {
    if (fm.fileExistsAtPath(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::u16string> FwLibraryCore::normalizedStringForString(
    std::optional<std::u16string_view> string) {
  if (!string) return std::nullopt;
  return fw::trimmedString(lowercaseString(*string));
}

void FwLibraryCore::traverseiTunesLibrary() {
  tunes.emplace();
  playlists.emplace();
  tunesToPaths.emplace();

  const std::optional<std::u16string> libraryPath = iTunesLibraryPath();
  if (!libraryPath) return;
  const std::optional<std::string> utf8Path =
      fileSystemRepresentation(*libraryPath, UnpairedSurrogates::kRefuse);
  if (!utf8Path) return;
  std::string reason;
  const std::optional<Value> library = plist::readPropertyListFile(*utf8Path, &reason);
  if (!library) return;

  if (const Dictionary* root = library->asDictionary()) {
    const std::u16string home = homeDirectory();
    if (const Value* tracks = root->find(u"Tracks"); tracks && tracks->asDictionary()) {
      for (const auto& [trackId, trackValue] : *tracks->asDictionary()) {
        const Dictionary* track = trackValue.asDictionary();
        if (track == nullptr) continue;
        const std::optional<std::u16string_view> name = stringFor(*track, u"Name");
        const std::optional<std::u16string_view> location = stringFor(*track, u"Location");
        if (!name || !location) continue;
        const std::optional<Url> url = Url::parse(*location);
        if (!url) continue;
        const std::optional<std::u16string> path = url->path();
        // "%00" decodes to U+0000, and such a path names no file.
        if (!path || path->find(u'\0') != std::u16string::npos) continue;
        const std::optional<std::u16string> normalized = normalizedStringForString(*name);
        const SharedString key(*normalized);
        addObjectToCollection(std::optional<SharedString>(key), &*tunes);
        tunesToPaths->insert_or_assign(
            key, SharedString(stringByAbbreviatingWithTildeInPath(*path, home)));
      }
    }
    if (const Value* records = root->find(u"Playlists"); records && records->asArray()) {
      for (const Value& recordValue : *records->asArray()) {
        const Dictionary* record = recordValue.asDictionary();
        if (record == nullptr) continue;
        const std::optional<std::u16string_view> name = stringFor(*record, u"Name");
        if (!name) continue;
        if (!isOrdinaryPlaylist(*record, *name)) continue;
        addObjectToCollection(std::optional<SharedString>(SharedString(*name)), &*playlists);
      }
    }
  }

  logLine("FwLibraryController: lb: " + std::to_string(tunes->count()));
}

}  // namespace fw
