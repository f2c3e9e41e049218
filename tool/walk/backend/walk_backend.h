#pragma once

// How the folder walk reads one directory's listing. Exactly one back end is
// linked into a program, chosen by the build (FW_WALK_BACKEND):
//   getdents  openat plus getdents64, with the kind each entry reports
//             (Linux only; the default there);
//   posix     fdopendir plus readdir; every kind is left unknown, so the
//             walk asks fstatat (the default elsewhere).
// Both are safe to call from several threads at once on distinct
// descriptors.

#include <cstdint>
#include <string>
#include <vector>

namespace fw::walk_backend {

enum class Kind : unsigned char { unknown, directory, file, link, skip };

struct ListedEntry {
  std::uint32_t nameOffset;  // into the listing's names, each followed by a NUL
  std::uint32_t nameLength;
  Kind kind;
  std::int64_t size = 0;  // filled in by the walk
};

// Appends every entry of the open directory `fd` but "." and "..": its name
// and a NUL to `names`, its place and kind to `entries`. The descriptor stays
// open and is the caller's. False when the listing cannot be read.
[[nodiscard]] bool readListing(int fd, std::string& names, std::vector<ListedEntry>& entries);

// "getdents" or "posix".
[[nodiscard]] const char* name();

}  // namespace fw::walk_backend
