// walk-floor DIR: the least a one-thread folder walk can do on Linux, with
// the system calls of library-snapshot's walk and nothing else: openat and
// getdents64 for every folder, one fstatat for every entry that is not a
// folder (two for a link), hidden folders and links to folders not entered.
// No names are kept beyond the listing being read. Prints the entries it
// would record. The benchmark holds FWKIT_WALK_THREADS=1 against it.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
long recorded = 0;
alignas(dirent64) char buffer[1 << 16];

void walk(int fd) {
  std::string names;  // subfolders to enter, each followed by a NUL
  for (;;) {
    const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      auto* d = reinterpret_cast<dirent64*>(buffer + at);
      at += d->d_reclen;
      const char* name = d->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      unsigned char type = d->d_type;
      struct stat st;
      if (type != DT_DIR && type != DT_LNK) {
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
      }
      if (type == DT_DIR) {
        if (name[0] != '.') names.append(name).push_back('\0');
      } else if (type != DT_LNK || (::fstatat(fd, name, &st, 0) == 0 && !S_ISDIR(st.st_mode))) {
        ++recorded;
      }
    }
  }
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.c_str() + at;
    at += std::char_traits<char>::length(name) + 1;
    const int child = ::openat(fd, name, kFlags);
    if (child >= 0) walk(child);
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: walk-floor DIR\n");
    return 2;
  }
  const int fd = ::open(argv[1], kFlags);
  if (fd < 0) return 1;
  walk(fd);
  std::printf("%ld\n", recorded);
  return 0;
}
