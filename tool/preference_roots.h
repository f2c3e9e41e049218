#pragma once

// Which folders the folder scan walks: the ones the main application's
// preference file names, read from
// ~/Library/Preferences/<bundle identifier>.plist (XML or binary).

#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The roots in walking order: "save_directory"; each move location whose
// flag reads as true (music, movies, images); then "kFwSharedDirectories",
// an array of paths or a single one. Each is tilde-expanded. Values that are
// not strings, empty strings, "~/Desktop" itself and paths that
// isWalkableFolderPath() refuses are left out; duplicates stay, since a
// later visit of a folder wins its names again. No file, no roots.
[[nodiscard]] std::vector<std::u16string> preferenceRoots();

// Whether a folder at `path` may be walked at all: its path holds no U+0000
// (which names no file: "~/real\0/etc" is not "~/real") and its last
// component does not begin with ".".
[[nodiscard]] bool isWalkableFolderPath(std::u16string_view path);

}  // namespace fw
