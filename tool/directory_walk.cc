#include "tool/directory_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/unicode.h"

namespace fw {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Descriptors held open besides the root's, at most; shallower levels are
// closed and reopened through ".." of their child when the walk climbs back
// to them. A quarter of the open-file limit at most, so that a low limit
// costs reopening, never a skipped directory.
constexpr std::size_t kDescriptorBudget = 128;
constexpr std::size_t kMinimumBudget = 4;

std::size_t descriptorBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return kDescriptorBudget;
  }
  const auto quarter = static_cast<std::size_t>(limit.rlim_cur / 4);
  return std::clamp(quarter, kMinimumBudget, kDescriptorBudget);
}
constexpr std::int64_t kLinkSize = 0;

struct Entry {
  std::uint32_t nameOffset;
  std::uint32_t nameLength;
  unsigned char type;
};

struct Frame {
  int fd = -1;
  dev_t device = 0;  // of the directory listed, to know it again when reopened
  ino_t inode = 0;
  std::size_t pathLength = 0;  // of the UTF-16 path while this frame is on top
  std::uint64_t serial = 0;
  std::string name;            // its own entry name in its parent's listing
  std::string names;           // the listing's names, back to back
  std::vector<Entry> entries;
  std::size_t next = 0;
};

// Reads the whole listing of `fd` into `frame`; false when it cannot be read.
bool readListing(int fd, Frame& frame, std::vector<char>& buffer) {
  for (;;) {
    ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t at = 0; at < n;) {
      auto* d = reinterpret_cast<struct dirent64*>(buffer.data() + at);
      at += d->d_reclen;
      const char* name = d->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      std::string_view view(name);
      frame.entries.push_back(Entry{static_cast<std::uint32_t>(frame.names.size()),
                                    static_cast<std::uint32_t>(view.size()), d->d_type});
      frame.names.append(view);
      frame.names.push_back('\0');
    }
  }
}

class Walk {
 public:
  explicit Walk(DirectoryWalkVisitor& visitor)
      : visitor_(visitor), buffer_(1 << 16), budget_(descriptorBudget()) {}

  void run(std::u16string_view root) {
    std::string bytes = utf16ToUtf8Lossy(root);
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    int fd = ::open(bytes.c_str(), kOpenFlags);
    if (fd < 0) return;
    path_.assign(root);
    if (!push(fd, {})) return;
    while (!frames_.empty()) step();
  }

 private:
  bool push(int fd, std::string_view name) {
    Frame frame;
    frame.fd = fd;
    frame.name.assign(name);
    frame.pathLength = path_.size();
    frame.serial = ++serial_;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !readListing(fd, frame, buffer_)) {
      ::close(fd);
      return false;
    }
    frame.device = st.st_dev;
    frame.inode = st.st_ino;
    frames_.push_back(std::move(frame));
    ++open_;
    if (open_ > budget_ + 1) closeShallowest();
    return true;
  }

  // Closed frames are always the shallowest ones below the root, so the
  // search starts where the last one ended.
  void closeShallowest() {
    for (std::size_t i = std::max<std::size_t>(1, closedBelow_); i + 1 < frames_.size(); ++i) {
      if (frames_[i].fd >= 0) {
        ::close(frames_[i].fd);
        frames_[i].fd = -1;
        --open_;
        closedBelow_ = i + 1;
        return;
      }
    }
  }

  void pop() {
    Frame& child = frames_.back();
    int childFd = child.fd;
    frames_.pop_back();
    if (!frames_.empty()) {
      Frame& parent = frames_.back();
      // Reopened even when the parent has no entries left: its own parent
      // may be closed too, and ".." of this descriptor is the only way back.
      // The child may have been moved meanwhile, and its ".." is then some
      // other folder, perhaps outside the root: only the very folder that
      // was left (same device and inode) is taken back. Failing that, the
      // parent is sought again by name from the nearest open folder above
      // it, each step checked the same way; when that fails too, the rest of
      // the parent is given up.
      if (parent.fd < 0) {
        int fd = childFd >= 0 ? ::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd >= 0 && !isFolderOf(fd, parent)) {
          ::close(fd);
          fd = -1;
        }
        if (fd < 0) fd = reopenByName(frames_.size() - 1);
        if (fd >= 0) {
          parent.fd = fd;
          ++open_;
        }
      }
      closedBelow_ = std::min(closedBelow_, frames_.size() - 1);
      path_.resize(parent.pathLength);
    }
    if (childFd >= 0) {
      ::close(childFd);
      --open_;
    }
  }

  static bool isFolderOf(int fd, const Frame& frame) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == frame.device && st.st_ino == frame.inode;
  }

  // Frame `index` opened again through the names below the nearest open
  // frame above it (the root's is always open), or -1 when any step no
  // longer leads to the folder that was listed.
  int reopenByName(std::size_t index) {
    std::size_t open = index;
    while (open > 0 && frames_[open].fd < 0) --open;
    int fd = frames_[open].fd;
    for (std::size_t i = open + 1; i <= index; ++i) {
      const int next = ::openat(fd, frames_[i].name.c_str(), kOpenFlags);
      if (fd != frames_[open].fd) ::close(fd);
      if (next < 0) return -1;
      if (!isFolderOf(next, frames_[i])) {
        ::close(next);
        return -1;
      }
      fd = next;
    }
    return fd == frames_[open].fd ? -1 : fd;
  }

  void descend(int parentFd, const char* name) {
    int fd = ::openat(parentFd, name, kOpenFlags);
    if (fd < 0) return;
    std::size_t before = path_.size();
    if (path_.empty() || path_.back() != u'/') path_.push_back(u'/');
    appendUtf8ToUtf16Lossy(path_, name);
    if (!push(fd, name)) path_.resize(before);
  }

  void step() {
    Frame& frame = frames_.back();
    if (frame.next == frame.entries.size() || frame.fd < 0) {
      pop();
      return;
    }
    const Entry entry = frame.entries[frame.next++];
    const char* name = frame.names.data() + entry.nameOffset;
    std::string_view nameView(name, entry.nameLength);
    const int fd = frame.fd;
    struct stat st;
    unsigned char type = entry.type;
    if (type != DT_DIR && type != DT_LNK) {
      if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
      if (S_ISDIR(st.st_mode)) {
        type = DT_DIR;
      } else if (S_ISLNK(st.st_mode)) {
        type = DT_LNK;
      } else {
        report(frame, nameView, static_cast<std::int64_t>(st.st_size));
        return;
      }
    }
    if (type == DT_DIR) {
      if (name[0] != '.') descend(fd, name);
      return;
    }
    // A link: it counts only when it leads to something that is not a directory.
    if (::fstatat(fd, name, &st, 0) != 0 || S_ISDIR(st.st_mode)) return;
    report(frame, nameView, kLinkSize);
  }

  void report(const Frame& frame, std::string_view name, std::int64_t size) {
    visitor_.visitFile(name, size, std::u16string_view(path_).substr(0, frame.pathLength),
                       frame.serial);
  }

  DirectoryWalkVisitor& visitor_;
  std::vector<char> buffer_;
  std::vector<Frame> frames_;
  std::u16string path_;
  std::size_t budget_;
  std::size_t open_ = 0;
  std::size_t closedBelow_ = 1;  // frames [1, closedBelow_) are closed
  std::uint64_t serial_ = 0;
};

}  // namespace

void walkDirectoryTree(std::u16string_view root, DirectoryWalkVisitor& visitor) {
  Walk(visitor).run(root);
}

}  // namespace fw
