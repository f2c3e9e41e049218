#pragma once

// The reading half of the media-library scan, apart from FwLibraryCore so
// that it can be run on any file: it streams the library's property-list
// events and keeps only what the snapshot uses of each record, dropping
// the rest as it goes, so that memory grows with what is kept rather than
// with the file.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/plist/value.h"

namespace fw {

struct MediaLibraryScan {
  // Each track that yields an entry, in the library's dictionary order:
  // its normalised name and its tilde-abbreviated path. A later entry for
  // the same name replaces an earlier one in tunesToPaths.
  std::vector<std::pair<plist::SharedString, plist::SharedString>> tracks;
  // The ordinary playlists' names, in file order.
  std::vector<plist::SharedString> playlists;
};

// Scans the library file at `utf8Path`, abbreviating paths below `home`.
// Nullopt when the file cannot be read or the reader refuses it; a file
// whose root is not a dictionary gives an empty scan.
[[nodiscard]] std::optional<MediaLibraryScan> scanMediaLibrary(const std::string& utf8Path,
                                                               std::u16string_view home);

}  // namespace fw
