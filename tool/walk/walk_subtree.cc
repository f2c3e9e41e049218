// The sequential walk of one subtree, which every thread of a folder walk
// runs: listings read whole, kinds and sizes settled, descriptors kept within
// the shared budget, and the shallowest unwalked subdirectories handed on to
// idle threads.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/strings/unicode.h"
#include "tool/walk/walk_pool.h"

namespace fw::walk {
namespace {

using walk_backend::Kind;
using walk_backend::ListedEntry;

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::int64_t kLinkSize = 0;
// Subtrees handed on from subtrees handed on...: the merge follows them by
// recursion, so their nesting is bounded.
constexpr unsigned kMaxHandOnDepth = 32;
// Subdirectories a directory must have left before half of them are handed
// on: fewer cost more in hand-over system calls than they save.
constexpr std::size_t kMinimumHandOn = 4;

struct Frame {
  int fd = -1;
  dev_t device = 0;  // identity, recorded when the descriptor is closed
  ino_t inode = 0;
  std::string names;
  std::vector<ListedEntry> entries;
  std::size_t next = 0;
  std::size_t end = 0;  // entries from here on were handed on, to `handedOn`
  Task* handedOn = nullptr;
  bool continuation = false;  // the rest of a listing another walk began
};

// The sequential walk of one subtree. Every listing is read whole and each
// entry's kind and size settled before the first entry is reported, so that
// a helper finds every subdirectory of the directories on its stack ready to
// be handed on to an idle thread.
class Walker {
 public:
  Walker(Pool& pool, Output& out, unsigned depth) : pool_(pool), out_(out), depth_(depth) {}

  void run(Task& task) {
    int fd = task.fd;
    task.fd = -1;
    if (task.isRoot) {
      std::string bytes = utf16ToUtf8Lossy(task.root);
      while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
      fd = ::open(bytes.c_str(), kOpenFlags);
      if (fd < 0) return;
      pool_.open.fetch_add(1, std::memory_order_relaxed);
    }
    if (fd < 0) return;
    if (task.isRoot) {
      if (!push(fd, nullptr, task.root)) return;
    } else {
      Frame frame;
      frame.fd = fd;
      frame.names = std::move(task.names);
      frame.entries = std::move(task.entries);
      frame.end = frame.entries.size();
      frame.continuation = true;
      frames_.push_back(std::move(frame));
    }
    while (!frames_.empty()) step();
  }

 private:
  // `name` is the directory's own name, or null for a root. Frames are
  // recycled, so that listings reuse their buffers.
  bool push(int fd, const std::string_view* name, std::u16string_view root) {
    Frame frame = spare();
    frame.fd = fd;
    if (!walk_backend::readListing(fd, frame.names, frame.entries)) {
      closeCounted(pool_, fd);
      recycle(std::move(frame));
      return false;
    }
    settle(frame);
    frame.end = frame.entries.size();
    if (name != nullptr) {
      out_.enter(*name);
    } else {
      out_.enterRoot(root);
    }
    frames_.push_back(std::move(frame));
    if (pool_.open.load(std::memory_order_relaxed) > pool_.budget + 1) closeShallowest();
    return true;
  }

  // Kinds the listing left open, and the size of every file.
  static void settle(Frame& frame) {
    struct stat st;
    for (ListedEntry& entry : frame.entries) {
      const char* name = frame.names.data() + entry.nameOffset;
      if (entry.kind != Kind::directory && entry.kind != Kind::link) {
        if (::fstatat(frame.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          entry.kind = Kind::skip;
          continue;
        }
        if (S_ISDIR(st.st_mode)) {
          entry.kind = Kind::directory;
        } else if (S_ISLNK(st.st_mode)) {
          entry.kind = Kind::link;
        } else {
          entry.kind = Kind::file;
          entry.size = static_cast<std::int64_t>(st.st_size);
          continue;
        }
      }
      if (entry.kind == Kind::directory) {
        if (name[0] == '.') entry.kind = Kind::skip;
        continue;
      }
      // A link counts only when it leads to something that is not a directory.
      if (::fstatat(frame.fd, name, &st, 0) != 0 || S_ISDIR(st.st_mode)) {
        entry.kind = Kind::skip;
      } else {
        entry.kind = Kind::file;
        entry.size = kLinkSize;
      }
    }
  }

  // Frames [1, closedBelow_) are closed; the root of the subtree and the top
  // stay open, since every way back goes through them.
  void closeShallowest() {
    for (std::size_t i = std::max<std::size_t>(1, closedBelow_); i + 1 < frames_.size(); ++i) {
      Frame& frame = frames_[i];
      if (frame.fd < 0) continue;
      struct stat st;
      if (::fstat(frame.fd, &st) == 0) {  // else it can never be taken back
        frame.device = st.st_dev;
        frame.inode = st.st_ino;
      }
      closeCounted(pool_, frame.fd);
      frame.fd = -1;
      closedBelow_ = i + 1;
      return;
    }
  }

  void pop() {
    Frame child = std::move(frames_.back());
    frames_.pop_back();
    // The rest handed on goes to the merge also when the climb back failed
    // before it was reached: it was read from this very directory.
    if (child.handedOn != nullptr) out_.handOn(child.handedOn);
    if (!child.continuation) out_.leave();
    if (!frames_.empty()) {
      Frame& parent = frames_.back();
      // Reopened even when the parent has no entries left: its own parent
      // may be closed too, and ".." of this descriptor is the only way back.
      // The child may have been moved meanwhile, and its ".." is then some
      // other folder, perhaps outside the root: only the very folder that
      // was left (same device and inode) is taken back. Failing that, the
      // parent is sought again by name from the nearest open folder below
      // it, each step checked the same way; when that fails too, the rest of
      // the parent is given up.
      if (parent.fd < 0) {
        int fd = child.fd >= 0 ? ::openat(child.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd >= 0 && !isFolderOf(fd, parent)) {
          ::close(fd);
          fd = -1;
        }
        if (fd < 0) fd = reopenByName(frames_.size() - 1);
        if (fd >= 0) {
          parent.fd = fd;
          pool_.open.fetch_add(1, std::memory_order_relaxed);
        }
      }
      closedBelow_ = std::min(closedBelow_, frames_.size() - 1);
    }
    if (child.fd >= 0) closeCounted(pool_, child.fd);
    recycle(std::move(child));
  }

  static bool isFolderOf(int fd, const Frame& frame) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == frame.device && st.st_ino == frame.inode;
  }

  // Frame `index` opened again through the names that led to it from the
  // nearest open frame below it, or -1 when some step no longer leads to the
  // folder that was listed. Every frame in between is closed, so each has
  // its identity recorded; each one's name is the entry its parent last
  // descended into.
  int reopenByName(std::size_t index) {
    std::size_t open = index;
    while (open > 0 && frames_[open].fd < 0) --open;
    const int base = frames_[open].fd;
    if (base < 0) return -1;
    int fd = base;
    for (std::size_t i = open + 1; i <= index; ++i) {
      const Frame& above = frames_[i - 1];
      const char* name = above.names.data() + above.entries[above.next - 1].nameOffset;
      const int next = ::openat(fd, name, kOpenFlags);
      if (fd != base) ::close(fd);
      if (next < 0) return -1;
      if (!isFolderOf(next, frames_[i])) {
        ::close(next);
        return -1;
      }
      fd = next;
    }
    return fd == base ? -1 : fd;
  }

  void step() {
    Frame& frame = frames_.back();
    if (frame.next == frame.end || frame.fd < 0) {
      pop();
      return;
    }
    if (pool_.hungry.load(std::memory_order_relaxed) > 0) handOnOne();
    const std::size_t index = frame.next++;
    const ListedEntry entry = frame.entries[index];
    const char* name = frame.names.data() + entry.nameOffset;
    switch (entry.kind) {
      case Kind::file: out_.file(std::string_view(name, entry.nameLength), entry.size); return;
      case Kind::directory: descend(frame.fd, name, entry.nameLength); return;
      default: return;
    }
  }

  void descend(int parentFd, const char* name, std::uint32_t length) {
    int fd = ::openat(parentFd, name, kOpenFlags);
    if (fd < 0) return;
    pool_.open.fetch_add(1, std::memory_order_relaxed);
    const std::string_view own(name, length);
    push(fd, &own, {});
  }

  // Gives an idle helper the second half of the subdirectories still to
  // come in the shallowest directory that has any (with what lies between
  // and after them): the largest piece of work at hand, so that helpers
  // seldom run dry.
  void handOnOne() {
    if (depth_ >= kMaxHandOnDepth || pool_.open.load(std::memory_order_relaxed) >= pool_.budget)
      return;
    for (Frame& frame : frames_) {
      if (frame.fd < 0 || frame.handedOn != nullptr) continue;
      std::vector<std::size_t> directories;
      for (std::size_t i = frame.next; i < frame.end; ++i) {
        if (frame.entries[i].kind == Kind::directory) directories.push_back(i);
      }
      if (directories.size() < kMinimumHandOn) continue;
      const std::size_t split = directories[directories.size() / 2];
      const int fd = ::fcntl(frame.fd, F_DUPFD_CLOEXEC, 0);
      if (fd < 0) return;
      pool_.open.fetch_add(1, std::memory_order_relaxed);
      Task* task = new Task;
      task->fd = fd;
      task->names = frame.names;
      task->entries.assign(frame.entries.begin() + static_cast<std::ptrdiff_t>(split),
                           frame.entries.begin() + static_cast<std::ptrdiff_t>(frame.end));
      task->depth = depth_ + 1;
      frame.end = split;
      frame.handedOn = task;
      pool_.submit(task);
      return;
    }
  }

  Frame spare() {
    if (spare_.empty()) return Frame{};
    Frame frame = std::move(spare_.back());
    spare_.pop_back();
    return frame;
  }
  void recycle(Frame&& frame) {
    constexpr std::size_t kSpare = 64;
    if (spare_.size() >= kSpare || frame.names.capacity() > (std::size_t{1} << 20)) return;
    Frame& kept = spare_.emplace_back();
    kept.names = std::move(frame.names);
    kept.entries = std::move(frame.entries);
    kept.names.clear();
    kept.entries.clear();
  }

  Pool& pool_;
  Output& out_;
  unsigned depth_;
  std::vector<Frame> frames_;
  std::vector<Frame> spare_;
  std::size_t closedBelow_ = 1;
};

}  // namespace

void closeCounted(Pool& pool, int fd) {
  ::close(fd);
  pool.open.fetch_sub(1, std::memory_order_relaxed);
}

void walkSubtree(Pool& pool, Output& out, Task& task) { Walker(pool, out, task.depth).run(task); }

}  // namespace fw::walk
