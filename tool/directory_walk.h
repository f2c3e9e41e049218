#pragma once

// The folder walk without recursion on the call stack. The results are those
// of walking each directory's listing in order and descending into every
// subdirectory as it comes:
//   - a subdirectory whose name begins with "." is never entered;
//   - a directory that is a symbolic link is never walked, and a link to a
//     directory is not a file either;
//   - a dangling link is skipped;
//   - everything else (files, links to files, special files) is reported,
//     with its own size (a link's size is never above 10 MiB and reads as 0).
// Directories are opened relative to their parent with O_NOFOLLOW; at most a
// fixed number of descriptors stays open, so any depth and any path length
// work under the default limit of 1,024 open files.

#include <cstdint>
#include <string>
#include <string_view>

namespace fw {

class DirectoryWalkVisitor {
 public:
  virtual ~DirectoryWalkVisitor() = default;
  // `name` is the entry's bytes; `directory` the UTF-16 path of the directory
  // holding it (invalid UTF-8 as U+FFFD). `directorySerial` names that
  // directory: each directory entered gets the next larger serial, so the
  // visitor can build per-directory data once and, the walk being depth
  // first, drop what belongs to serials above the one it is given.
  virtual void visitFile(std::string_view name, std::int64_t size, std::u16string_view directory,
                         std::uint64_t directorySerial) = 0;
};

// Walks the directory at `root` (UTF-16, tilde already expanded). Nothing is
// reported when `root` is not a directory or is a symbolic link.
void walkDirectoryTree(std::u16string_view root, DirectoryWalkVisitor& visitor);

}  // namespace fw
