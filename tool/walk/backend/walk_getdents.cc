// The Linux listing: getdents64 straight into a per-thread buffer, with the
// entry kind the file system reports (DT_UNKNOWN where it reports none).

#include <dirent.h>

#include <cerrno>
#include <string_view>

#include "tool/walk/backend/walk_backend.h"

namespace fw::walk_backend {
namespace {

Kind kindOf(unsigned char type) {
  switch (type) {
    case DT_DIR: return Kind::directory;
    case DT_REG: return Kind::file;
    case DT_LNK: return Kind::link;
    default: return Kind::unknown;
  }
}

}  // namespace

bool readListing(int fd, std::string& names, std::vector<ListedEntry>& entries) {
  alignas(struct dirent64) thread_local char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t at = 0; at < n;) {
      auto* d = reinterpret_cast<struct dirent64*>(buffer + at);
      at += d->d_reclen;
      const char* entry = d->d_name;
      if (entry[0] == '.' && (entry[1] == 0 || (entry[1] == '.' && entry[2] == 0))) continue;
      std::string_view view(entry);
      entries.push_back(ListedEntry{static_cast<std::uint32_t>(names.size()),
                                    static_cast<std::uint32_t>(view.size()), kindOf(d->d_type)});
      names.append(view);
      names.push_back('\0');
    }
  }
}

const char* name() { return "getdents"; }

}  // namespace fw::walk_backend
