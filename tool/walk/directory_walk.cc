#include "tool/walk/directory_walk.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/diagnostics/log.h"
#include "platform/strings/unicode.h"
#include "tool/walk/walk_pool.h"

namespace fw {
namespace {

using walk::Output;
using walk::Pool;
using walk::Task;

// Descriptors held open by all threads together, at most (give or take two
// per thread, which each needs to make progress). Shallower levels are closed
// and reopened through ".." of their child when the walk climbs back to
// them. A quarter of the open-file limit at most, so that a low limit costs
// reopening, never a skipped directory.
constexpr std::size_t kDescriptorBudget = 128;
constexpr std::size_t kMinimumBudget = 4;
// Bytes of results the helpers may hold for the merge; a helper whose results
// the merge is not reading yet waits beyond that.
constexpr std::size_t kBufferedLimit = std::size_t{4} << 20;
constexpr std::size_t kBatchBytes = std::size_t{32} << 10;
constexpr std::size_t kCurrentBatchBytes = std::size_t{16} << 10;
// A batch is handed over once it passes its size, so the largest record (a
// name of a few hundred bytes) seldom makes it grow beyond this.
constexpr std::size_t kBatchCapacity = kBatchBytes + 1024;
constexpr std::size_t kSpareBatches = 256;
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

// A helper's results for one task: records appended to a batch, which is
// passed to the task whenever it is full (sooner while the merge waits for
// this very task).
//   'R' length utf16-bytes | 'E' length bytes | 'F' length bytes size | 'L' | 'H' task
class BatchOutput : public Output {
 public:
  BatchOutput(Pool& pool, Task& task) : pool_(pool), task_(task) { batch_.reserve(kBatchCapacity); }

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
      pool_.roomAvailable.wait(
          lock, [&] { return pool_.buffered < kBufferedLimit || pool_.current.load() == &task_; });
      give();
      wake = pool_.current.load() == &task_;
    }
    if (wake) pool_.resultsAvailable.notify_all();
    if (batch_.capacity() < kBatchCapacity) batch_.reserve(kBatchCapacity);
  }
  // The mutex is held.
  void give() {
    if (batch_.empty()) return;
    pool_.buffered += batch_.size();
    task_.ready.push_back(std::move(batch_));
    batch_ = pool_.takeBatchLocked();
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
    std::vector<std::vector<char>> batches;
    for (;;) {
      {
        std::unique_lock lock(pool_.mutex);
        for (std::vector<char>& batch : batches) {
          if (pool_.spareBatches.size() < kSpareBatches && batch.capacity() <= 2 * kBatchCapacity)
            pool_.spareBatches.push_back(std::move(batch));
        }
        batches.clear();
        pool_.resultsAvailable.wait(lock, [&] {
          return !task.ready.empty() || task.state == Task::State::finished ||
                 (task.state == Task::State::queued && pool_.idle + pool_.starting == 0);
        });
        if (task.state == Task::State::queued) {
          pool_.claimLocked(&task);
          lock.unlock();
          walk::walkSubtree(pool_, *this, task);
          return;
        }
        if (task.ready.empty()) return;
        batches.swap(task.ready);
        for (const std::vector<char>& batch : batches) pool_.buffered -= batch.size();
      }
      pool_.roomAvailable.notify_all();
      for (const std::vector<char>& batch : batches) replay(batch);
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
        case 'E': enter(std::string_view(at, length)); break;
        case 'F': {
          std::int64_t size = 0;
          std::memcpy(&size, at + length, sizeof size);
          file(std::string_view(at, length), size);
          at += sizeof size;
          break;
        }
        case 'L': leave(); break;
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
    walk::walkSubtree(pool, out, *task);
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
