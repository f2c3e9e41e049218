// The portable listing: readdir over a duplicate of the descriptor, since
// closedir closes the one fdopendir was given and the walk still needs its
// own. Only the names are taken; the walk asks fstatat for every kind.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tool/walk/backend/walk_backend.h"

namespace fw::walk_backend {

bool readListing(int fd, std::string& names, std::vector<ListedEntry>& entries) {
  int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    ::close(copy);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    const struct dirent* d = ::readdir(dir);
    if (d == nullptr) {
      ok = errno == 0;
      break;
    }
    const char* entry = d->d_name;
    if (entry[0] == '.' && (entry[1] == 0 || (entry[1] == '.' && entry[2] == 0))) continue;
    const std::size_t length = std::strlen(entry);
    entries.push_back(ListedEntry{static_cast<std::uint32_t>(names.size()),
                                  static_cast<std::uint32_t>(length), Kind::unknown});
    names.append(entry, length);
    names.push_back('\0');
  }
  ::closedir(dir);
  return ok;
}

const char* name() { return "posix"; }

}  // namespace fw::walk_backend
