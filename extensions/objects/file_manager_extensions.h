#pragma once

// Recursive creation of files and directories, on a file manager: every
// existence check and creation goes to the manager given. The path is split with
// pathComponents (for an absolute path the root "/" comes first; a relative
// path is taken below the current directory), and a running prefix is built
// with stringByAppendingPathComponent. At each prefix an existing entry of
// any kind (a symbolic link followed) is left untouched; a missing one is
// created, each parent before its child. Nothing is reported: a caller that
// needs the outcome checks the path afterwards.
//
//   createFileAtPathRecursive(fw::FileManager::defaultManager(), u"/x/y/z.txt")
//       // with /x existing: makes /x/y, then the empty file /x/y/z.txt
//
// A plain file in the middle makes every creation below it fail; a
// directory at the last component means no file is made. A file is created
// exclusively, so an entry that appears between the check and the creation
// is never truncated. A path that is not valid UTF-16 (an unpaired
// surrogate) or that holds U+0000 creates nothing: u"/tmp/t/cut\0.txt"
// names no file, and /tmp/t/cut is not made in its place. An absent or
// empty path creates nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/files/file_manager.h"
#include "platform/plist/value.h"

namespace fw {

// Missing directories with default attributes, then the path itself, if
// missing, as an empty file with default attributes.
void createFileAtPathRecursive(const FileManager& manager, std::optional<std::u16string_view> path);
// The same: the contents and attributes are accepted for callers that have
// them, but the file is always created empty and with the defaults.
void createFileAtPathRecursive(const FileManager& manager, std::optional<std::u16string_view> path,
                               std::optional<std::span<const std::uint8_t>> contents,
                               const plist::Dictionary* attributes);
// Every missing component, the last included, becomes a directory.
void createDirectoryAtPathRecursive(const FileManager& manager,
                                    std::optional<std::u16string_view> path);

}  // namespace fw
