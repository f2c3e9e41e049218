#include "tool/directory_walk.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "platform/unicode.h"
#include "tool/walk_backend/walk_backend.h"

namespace fw {
namespace {

using walk_backend::Kind;
using walk_backend::ListedEntry;

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Descriptors held open by all threads together, at most (give or take two
// per thread, which each needs to make progress). Shallower levels are closed
// and reopened through ".." of their child when the walk climbs back to
// them. A quarter of the open-file limit at most, so that a low limit costs
// reopening, never a skipped directory.
constexpr std::size_t kDescriptorBudget = 128;
constexpr std::size_t kMinimumBudget = 4;
constexpr std::int64_t kLinkSize = 0;
// Bytes of results the helpers may hold for the merge; a helper whose results
// the merge is not reading yet waits beyond that.
constexpr std::size_t kBufferedLimit = std::size_t{4} << 20;
constexpr std::size_t kBatchBytes = std::size_t{32} << 10;
constexpr std::size_t kCurrentBatchBytes = std::size_t{16} << 10;
// Subtrees handed on from subtrees handed on...: the merge follows them by
// recursion, so their nesting is bounded.
constexpr unsigned kMaxHandOnDepth = 32;
// Subdirectories a directory must have left before half of them are handed
// on: fewer cost more in hand-over system calls than they save.
constexpr std::size_t kMinimumHandOn = 4;
constexpr int kMaxThreads = 64;
// Measured on two busy cores over the 200,000-file benchmark tree, medians
// of alternating runs, in five runs of the benchmark: with a cold cache 8
// threads took 0.38 to 0.59 of one thread's time and were the fastest every
// time (4 threads 0.47 to 0.60, 2 threads 0.52 to 1.05); with a warm cache
// no count beat 8 beyond the noise (0.31 to 1.12 of one thread). The disk
// rewards requests in flight well beyond the core count.
constexpr int kAutomaticThreads = 8;

std::size_t descriptorBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return kDescriptorBudget;
  }
  const auto quarter = static_cast<std::size_t>(limit.rlim_cur / 4);
  return std::clamp(quarter, kMinimumBudget, kDescriptorBudget);
}

// Work walked apart from the walk that found it: a root, opened by whoever
// takes it, or the rest of a directory's listing, from some entry to its
// end, handed on by the walk that read it with its own descriptor for that
// directory, duplicated, so that nobody reopens it by name.
struct Task {
  enum class State { queued, running, finished };
  int fd = -1;
  std::u16string root;      // for a root: its path as given
  bool isRoot = false;
  std::string names;        // for a rest of a listing: its names and entries
  std::vector<ListedEntry> entries;
  unsigned depth = 0;       // hand-ons above this one
  State state = State::queued;
  std::vector<char> ready;  // results not yet merged
};

// What the walks share: the queue of subtrees, the descriptor budget and the
// results waiting for the merge. One mutex guards everything but the counters.
class Pool {
 public:
  explicit Pool(std::size_t budget) : budget(budget) {}

  const std::size_t budget;
  std::atomic<std::size_t> open{0};
  std::atomic<int> hungry{0};  // idle helpers beyond the queued subtrees
  std::atomic<Task*> current{nullptr};

  std::mutex mutex;
  std::condition_variable workAvailable;
  std::condition_variable resultsAvailable;
  std::condition_variable roomAvailable;
  std::deque<Task*> queue;
  int idle = 0;
  int starting = 0;  // helpers not yet waiting for work
  std::size_t buffered = 0;
  bool closing = false;

  void submit(Task* task) {
    {
      std::lock_guard lock(mutex);
      queue.push_back(task);
      updateHungry();
    }
    workAvailable.notify_one();
  }
  void updateHungry() { hungry.store(idle - static_cast<int>(queue.size()), std::memory_order_relaxed); }

  // Takes the queued `task` for the calling thread, which holds the mutex.
  void claimLocked(Task* task) {
    queue.erase(std::find(queue.begin(), queue.end(), task));
    task->state = Task::State::running;
    updateHungry();
  }
};

void closeCounted(Pool& pool, int fd) {
  ::close(fd);
  pool.open.fetch_sub(1, std::memory_order_relaxed);
}

// Where a walk's results go: straight to the visitor on the merging thread,
// or into a task's batch of results on a helper.
class Output {
 public:
  virtual ~Output() = default;
  virtual void enterRoot(std::u16string_view path) = 0;
  virtual void enter(std::string_view name) = 0;
  virtual void file(std::string_view name, std::int64_t size) = 0;
  virtual void leave() = 0;
  virtual void handOn(Task* task) = 0;
};

struct Frame {
  int fd = -1;
  dev_t device = 0;  // identity, recorded when the descriptor is closed
  ino_t inode = 0;
  std::string names;
  std::vector<ListedEntry> entries;
  std::size_t next = 0;
  std::size_t end = 0;        // entries from here on were handed on, to `handedOn`
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
      case Kind::file:
        out_.file(std::string_view(name, entry.nameLength), entry.size);
        return;
      case Kind::directory:
        descend(frame.fd, name, entry.nameLength);
        return;
      default:
        return;
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
    if (depth_ >= kMaxHandOnDepth || pool_.open.load(std::memory_order_relaxed) >= pool_.budget) return;
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

// A helper's results for one task: records appended to a batch, which is
// passed to the task whenever it is full (sooner while the merge waits for
// this very task).
//   'R' length utf16-bytes | 'E' length bytes | 'F' length bytes size | 'L' | 'H' task
class BatchOutput : public Output {
 public:
  BatchOutput(Pool& pool, Task& task) : pool_(pool), task_(task) {}

  void enterRoot(std::u16string_view path) override {
    put('R', path.data(), path.size() * sizeof(char16_t));
  }
  void enter(std::string_view name) override { put('E', name.data(), name.size()); }
  void file(std::string_view name, std::int64_t size) override {
    put('F', name.data(), name.size());
    append(&size, sizeof size);
    maybeFlush();
  }
  void leave() override {
    batch_.push_back('L');
    maybeFlush();
  }
  void handOn(Task* task) override {
    batch_.push_back('H');
    append(&task, sizeof task);
    maybeFlush();
  }

  // Hands over the rest and marks the task finished; the task is the
  // merge's from then on.
  // The merge waits only for the current task, so only that one wakes it.
  void finish() {
    bool wake = false;
    {
      std::lock_guard lock(pool_.mutex);
      give();
      task_.state = Task::State::finished;
      wake = pool_.current.load() == &task_;
    }
    if (wake) pool_.resultsAvailable.notify_all();
  }

 private:
  void put(char type, const void* data, std::size_t size) {
    batch_.push_back(type);
    const auto length = static_cast<std::uint32_t>(size);
    append(&length, sizeof length);
    append(data, size);
  }
  void append(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    batch_.insert(batch_.end(), bytes, bytes + size);
  }
  void maybeFlush() {
    const bool current = pool_.current.load(std::memory_order_relaxed) == &task_;
    if (batch_.size() < (current ? kCurrentBatchBytes : kBatchBytes)) return;
    bool wake = false;
    {
      std::unique_lock lock(pool_.mutex);
      pool_.roomAvailable.wait(lock, [&] {
        return pool_.buffered < kBufferedLimit || pool_.current.load() == &task_;
      });
      give();
      wake = pool_.current.load() == &task_;
    }
    if (wake) pool_.resultsAvailable.notify_all();
  }
  void give() {
    pool_.buffered += batch_.size();
    if (task_.ready.empty()) {
      task_.ready.swap(batch_);
    } else {
      task_.ready.insert(task_.ready.end(), batch_.begin(), batch_.end());
    }
    batch_.clear();
  }

  Pool& pool_;
  Task& task_;
  std::vector<char> batch_;
};

// The merge: runs on the calling thread, reports to the visitor, and follows
// handed-on subtrees in the order the sequential walk would reach them,
// walking one itself when no helper has taken it yet.
class Merge : public Output {
 public:
  Merge(Pool& pool, DirectoryWalkVisitor& visitor) : pool_(pool), visitor_(visitor) {}

  void enterRoot(std::u16string_view path) override {
    stack_.emplace_back(++serial_, path_.size());
    path_.assign(path);
  }
  void enter(std::string_view name) override {
    stack_.emplace_back(++serial_, path_.size());
    if (path_.empty() || path_.back() != u'/') path_.push_back(u'/');
    appendUtf8ToUtf16Lossy(path_, name);
  }
  void file(std::string_view name, std::int64_t size) override {
    visitor_.visitFile(name, size, path_, stack_.back().first);
  }
  void leave() override {
    path_.resize(stack_.back().second);
    stack_.pop_back();
  }
  void handOn(Task* task) override {
    // The current task changes under the mutex, so that a helper deciding
    // to wait for room cannot miss that its task became the current one.
    Task* outer = nullptr;
    {
      std::lock_guard lock(pool_.mutex);
      outer = pool_.current.exchange(task);
    }
    pool_.roomAvailable.notify_all();
    drain(*task);
    delete task;
    {
      std::lock_guard lock(pool_.mutex);
      pool_.current.store(outer);
    }
    pool_.roomAvailable.notify_all();
  }

 private:
  // Merges the task's results as they come. The merge itself only walks a
  // task that no helper is free to take: it is the one thread that reports
  // to the visitor, so its time is best spent on that.
  void drain(Task& task) {
    std::vector<char> batch;
    for (;;) {
      {
        std::unique_lock lock(pool_.mutex);
        pool_.resultsAvailable.wait(lock, [&] {
          return !task.ready.empty() || task.state == Task::State::finished ||
                 (task.state == Task::State::queued && pool_.idle + pool_.starting == 0);
        });
        if (task.state == Task::State::queued) {
          pool_.claimLocked(&task);
          lock.unlock();
          Walker(pool_, *this, task.depth).run(task);
          return;
        }
        if (task.ready.empty()) return;
        batch.swap(task.ready);
        pool_.buffered -= batch.size();
      }
      pool_.roomAvailable.notify_all();
      replay(batch);
      batch.clear();
    }
  }

  void replay(const std::vector<char>& batch) {
    const char* at = batch.data();
    const char* end = at + batch.size();
    while (at < end) {
      const char type = *at++;
      std::uint32_t length = 0;
      if (type == 'R' || type == 'E' || type == 'F') {
        std::memcpy(&length, at, sizeof length);
        at += sizeof length;
      }
      switch (type) {
        case 'R': {
          std::u16string path(length / sizeof(char16_t), u'\0');
          std::memcpy(path.data(), at, length);
          enterRoot(path);
          break;
        }
        case 'E':
          enter(std::string_view(at, length));
          break;
        case 'F': {
          std::int64_t size = 0;
          std::memcpy(&size, at + length, sizeof size);
          file(std::string_view(at, length), size);
          at += sizeof size;
          break;
        }
        case 'L':
          leave();
          break;
        case 'H': {
          Task* task = nullptr;
          std::memcpy(&task, at, sizeof task);
          at += sizeof task;
          handOn(task);
          break;
        }
      }
      at += length;
    }
  }

  Pool& pool_;
  DirectoryWalkVisitor& visitor_;
  std::u16string path_;
  std::vector<std::pair<std::uint64_t, std::size_t>> stack_;  // serial, path length before it
  std::uint64_t serial_ = 0;
};

void helperLoop(Pool& pool) {
  bool first = true;
  for (;;) {
    Task* task = nullptr;
    bool lastFree = false;
    {
      std::unique_lock lock(pool.mutex);
      if (first) {
        first = false;
        --pool.starting;
      }
      ++pool.idle;
      pool.updateHungry();
      pool.workAvailable.wait(lock, [&] { return !pool.queue.empty() || pool.closing; });
      --pool.idle;
      if (pool.queue.empty()) {
        pool.updateHungry();
        return;
      }
      task = pool.queue.front();
      pool.queue.pop_front();
      task->state = Task::State::running;
      pool.updateHungry();
      lastFree = pool.idle + pool.starting == 0;
    }
    // No helper is free any more: the merge may have to walk what it waits for.
    if (lastFree) pool.resultsAvailable.notify_all();
    BatchOutput out(pool, *task);
    Walker(pool, out, task->depth).run(*task);
    out.finish();
  }
}

}  // namespace

int automaticWalkThreads() { return kAutomaticThreads; }

int parseWalkThreads(const char* value, bool* valid) {
  if (valid != nullptr) *valid = true;
  if (value == nullptr || *value == '\0') return automaticWalkThreads();
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(value, &end, 10);
  if (end == value || *end != '\0' || n < 0 || (errno == ERANGE && n == LONG_MIN)) {
    if (valid != nullptr) *valid = false;
    return automaticWalkThreads();
  }
  if (n == 0) return automaticWalkThreads();
  return static_cast<int>(std::min<long>(n, kMaxThreads));
}

int walkThreadCount() {
  static const int threads = [] {
    const char* value = std::getenv("FWKIT_WALK_THREADS");
    bool valid = true;
    const int n = parseWalkThreads(value, &valid);
    if (!valid) {
      logLine(std::string("FWKIT_WALK_THREADS: ignoring \"") + value +
              "\", not a thread count; choosing automatically");
    }
    return n;
  }();
  return threads;
}

void walkDirectoryTrees(std::span<const std::u16string> roots, DirectoryWalkVisitor& visitor) {
  if (roots.empty()) return;
  Pool pool(descriptorBudget());
  // Each thread may hold two descriptors beyond the budget, and a subtree
  // waiting in the queue holds one.
  const std::size_t affordable = pool.budget > 2 ? (pool.budget - 2) / 3 : 0;
  const std::size_t helpers =
      std::min<std::size_t>(static_cast<std::size_t>(walkThreadCount() - 1), affordable);

  std::vector<Task*> tasks;
  tasks.reserve(roots.size());
  for (const std::u16string& root : roots) {
    Task* task = new Task;
    task->isRoot = true;
    task->root = root;
    tasks.push_back(task);
    std::lock_guard lock(pool.mutex);
    pool.queue.push_back(task);
  }
  Merge merge(pool, visitor);
  std::vector<std::thread> threads;
  pool.starting = static_cast<int>(helpers);
  for (std::size_t i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back(helperLoop, std::ref(pool));
    } catch (...) {
      std::lock_guard lock(pool.mutex);
      pool.starting -= static_cast<int>(helpers - i);  // the merge walks what none takes
      break;
    }
  }
  for (Task* task : tasks) merge.handOn(task);
  {
    std::lock_guard lock(pool.mutex);
    pool.closing = true;
  }
  pool.workAvailable.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void walkDirectoryTree(std::u16string_view root, DirectoryWalkVisitor& visitor) {
  const std::u16string roots[] = {std::u16string(root)};
  walkDirectoryTrees(roots, visitor);
}

}  // namespace fw
