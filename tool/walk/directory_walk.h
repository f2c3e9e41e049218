#pragma once

// The folder walk, without recursion on the call stack, on one or more
// threads. Whatever the thread count, the visitor sees exactly what walking
// each root in turn, each directory's listing in order, descending into every
// subdirectory as it comes, would give, on the calling thread:
//   - a subdirectory whose name begins with "." is never entered;
//   - a directory that is a symbolic link is never walked, and a link to a
//     directory is not a file either;
//   - a dangling link is skipped;
//   - everything else (files, links to files, special files) is reported,
//     with its own size (a link's size is never above 10 MiB and reads as 0).
// Helper threads list directories and read sizes ahead of the visitor; their
// results wait, bounded in memory, until the merge reaches them in order.
// Directories are opened relative to their parent with O_NOFOLLOW; the
// threads share one budget of open descriptors, so any depth and any path
// length work under the default limit of 1,024 open files (or of 20, with
// fewer threads).

#include <cstdint>
#include <span>
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
// Walks several roots, reporting them in the given order; helper threads may
// work on later roots while the visitor still sees an earlier one.
void walkDirectoryTrees(std::span<const std::u16string> roots, DirectoryWalkVisitor& visitor);

// The threads a walk uses, from FWKIT_WALK_THREADS: 1 walks on the calling
// thread alone; unset, empty or 0 chooses automatically; a value that is not
// a number, or is negative, is ignored with one log line (the first time it
// is read) and the choice is automatic. Read once per process.
//   FWKIT_WALK_THREADS=8 -> 8;  FWKIT_WALK_THREADS=-2 -> automatic, logged
[[nodiscard]] int walkThreadCount();
// What walkThreadCount() makes of one value of the variable, logging nothing;
// the automatic choice, 0 and nullptr alike, give automaticWalkThreads().
// `valid` (when given) tells whether the value was accepted.
[[nodiscard]] int parseWalkThreads(const char* value, bool* valid = nullptr);
[[nodiscard]] int automaticWalkThreads();

}  // namespace fw
