#pragma once

// What the threads of one folder walk share: the subtrees waiting for a
// thread, the budget of open descriptors and the results waiting for the
// merge; and the one sequential walk of a subtree that every thread runs.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tool/walk/backend/walk_backend.h"

namespace fw::walk {

// Work walked apart from the walk that found it: a root, opened by whoever
// takes it, or the rest of a directory's listing, from some entry to its
// end, handed on by the walk that read it with its own descriptor for that
// directory, duplicated, so that nobody reopens it by name.
struct Task {
  enum class State { queued, running, finished };
  int fd = -1;
  std::u16string root;  // for a root: its path as given
  bool isRoot = false;
  std::string names;  // for a rest of a listing: its names and entries
  std::vector<walk_backend::ListedEntry> entries;
  unsigned depth = 0;  // hand-ons above this one
  State state = State::queued;
  std::vector<std::vector<char>> ready;  // batches of results not yet merged, in order
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
  // Merged batches' buffers, for helpers to fill again: no batch is copied
  // or grown twice, and their memory is touched once.
  std::vector<std::vector<char>> spareBatches;

  // An empty buffer, a spare one when there is one; the mutex is held.
  std::vector<char> takeBatchLocked() {
    if (spareBatches.empty()) return {};
    std::vector<char> batch = std::move(spareBatches.back());
    spareBatches.pop_back();
    batch.clear();
    return batch;
  }

  void submit(Task* task) {
    {
      std::lock_guard lock(mutex);
      queue.push_back(task);
      updateHungry();
    }
    workAvailable.notify_one();
  }
  void updateHungry() {
    hungry.store(idle - static_cast<int>(queue.size()), std::memory_order_relaxed);
  }

  // Takes the queued `task` for the calling thread, which holds the mutex.
  void claimLocked(Task* task) {
    queue.erase(std::find(queue.begin(), queue.end(), task));
    task->state = Task::State::running;
    updateHungry();
  }
};

void closeCounted(Pool& pool, int fd);

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

// Walks the subtree `task` stands for, in the sequential order, reporting to
// `out` and handing on parts of it to idle threads through the pool. A root
// that cannot be opened, or a listing that cannot be read, reports nothing.
void walkSubtree(Pool& pool, Output& out, Task& task);

}  // namespace fw::walk
