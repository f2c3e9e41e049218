#include "platform/runtime/loop/run_loop.h"

#include <glib.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/diagnostics/process_identity.h"
#include "platform/runtime/loop/clock.h"
#include "platform/runtime/loop/dispatch.h"

namespace fw {

namespace {

// ---- The calling thread's context ----

// Asked on every queueing, so each thread finds out once. A child of fork
// forgets the answer: its one thread is its main thread.
thread_local int mainThreadKnown = -1;

void forgetMainThread() { mainThreadKnown = -1; }

bool onMainThread() {
  if (mainThreadKnown < 0) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, forgetMainThread);
    (void)registered;
    mainThreadKnown = isMainThread() ? 1 : 0;
  }
  return mainThreadKnown == 1;
}

// The context a thread other than the main one makes for itself. Its
// destruction at thread exit destroys every source attached to it, which
// releases pending messages and stops timers.
struct OwnContext {
  GMainContext* context = nullptr;
  bool ending = false;
  ~OwnContext() {
    if (context == nullptr) return;
    ending = true;
    if (g_main_context_get_thread_default() == context) g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    context = nullptr;
  }
};

thread_local OwnContext ownContext;

// ---- The delayed-message queue: one GSource per context ----

using Key = std::pair<std::int64_t, std::uint64_t>;  // (due, order of queueing)

struct Entry {
  std::shared_ptr<Object> target;
  Message message;
};

// The keys queued for one target. Keys of messages already sent stay until
// the target has nothing pending or they outnumber the pending ones, so that
// sending costs no search here.
struct TargetKeys {
  std::vector<Key> keys;
  std::size_t pending = 0;
};

struct Queue {
  std::mutex mutex;
  std::map<Key, Entry> entries;
  // Keys per target, so that cancelling for one target never walks the
  // whole queue.
  std::unordered_map<const Object*, TargetKeys> byTarget;
  std::uint64_t nextOrder = 0;

  // Called with the queue locked, after the entry for `target` was taken out.
  void sent(const Object* target) {
    auto it = byTarget.find(target);
    if (it == byTarget.end()) return;
    TargetKeys& t = it->second;
    if (--t.pending == 0) {
      byTarget.erase(it);
    } else if (t.keys.size() > 2 * t.pending + 16) {
      std::erase_if(t.keys, [this](const Key& k) { return !entries.contains(k); });
    }
  }
};

struct QueueSource {
  GSource base;
  Queue* queue;
  GMainContext* context;  // its registry key; not a reference
};

std::mutex& registryMutex() {
  static auto* m = new std::mutex();
  return *m;
}

// Context -> its queue source. The context owns the source; the source
// leaves the registry when it is finalized with its context.
std::unordered_map<GMainContext*, QueueSource*>& registry() {
  static auto* r = new std::unordered_map<GMainContext*, QueueSource*>();
  return *r;
}

// Called with the queue locked.
void updateReadyTime(QueueSource* source) {
  const Queue& q = *source->queue;
  runtime::setDueTime(&source->base, q.entries.empty() ? -1 : q.entries.begin()->first.first);
}

gboolean prepareQueue(GSource* base, gint* timeout) {
  auto* source = reinterpret_cast<QueueSource*>(base);
  *timeout = -1;
  std::lock_guard lock(source->queue->mutex);
  const Queue& q = *source->queue;
  return !q.entries.empty() && runtime::dueUnderManualClock(q.entries.begin()->first.first);
}

gboolean dispatchQueue(GSource* base, GSourceFunc, gpointer) {
  auto* source = reinterpret_cast<QueueSource*>(base);
  Queue& q = *source->queue;
  const std::int64_t now = runtime::nowMicroseconds();
  std::uint64_t limit;
  {
    std::lock_guard lock(q.mutex);
    limit = q.nextOrder;  // messages queued from here on wait for a later pass
  }
  for (;;) {
    Entry entry;
    {
      std::lock_guard lock(q.mutex);
      if (q.entries.empty()) break;
      auto first = q.entries.begin();
      if (first->first.first > now || first->first.second >= limit) break;
      entry = std::move(first->second);
      q.entries.erase(first);
      q.sent(entry.target.get());
    }
    runtime::runGuarded("a delayed message", [&] { entry.message(*entry.target); });
    // `entry` releases its target here, with the queue unlocked.
  }
  std::lock_guard lock(q.mutex);
  updateReadyTime(source);
  return G_SOURCE_CONTINUE;
}

void finalizeQueue(GSource* base) {
  auto* source = reinterpret_cast<QueueSource*>(base);
  {
    std::lock_guard lock(registryMutex());
    auto it = registry().find(source->context);
    if (it != registry().end() && it->second == source) registry().erase(it);
  }
  delete source->queue;  // releases whatever the dropped messages kept alive
  source->queue = nullptr;
}

GSourceFuncs queueFuncs = {prepareQueue, nullptr, dispatchQueue, finalizeQueue, nullptr, nullptr};

QueueSource* queueFor(GMainContext* context, bool create) {
  std::lock_guard lock(registryMutex());
  auto it = registry().find(context);
  if (it != registry().end()) return it->second;
  if (!create) return nullptr;
  GSource* base = g_source_new(&queueFuncs, sizeof(QueueSource));
  auto* source = reinterpret_cast<QueueSource*>(base);
  source->queue = new Queue();
  source->context = context;
  g_source_set_name(base, "fw delayed messages");
  g_source_attach(base, context);
  g_source_unref(base);  // the context keeps it
  registry().emplace(context, source);
  return source;
}

void removeDeadline(gpointer data) { *static_cast<GSource**>(data) = nullptr; }

}  // namespace

GMainContext* RunLoop::currentContext() {
  if (GMainContext* pushed = g_main_context_get_thread_default()) return pushed;
  if (onMainThread()) return g_main_context_default();
  if (ownContext.ending) return nullptr;
  if (ownContext.context == nullptr) {
    ownContext.context = g_main_context_new();
    g_main_context_push_thread_default(ownContext.context);
  }
  return ownContext.context;
}

bool RunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
  GMainContext* context = currentContext();
  if (context == nullptr || done()) return done();
  // A context that another thread is running cannot be iterated here; give
  // up at once instead of spinning until a deadline that never fires.
  if (!g_main_context_acquire(context)) return false;
  // A deadline source wakes the poll when time is up, so the loop below
  // never blocks past it even when nothing else is attached.
  GSource* deadline = g_timeout_source_new(static_cast<guint>(
      std::min<std::int64_t>(runtime::delayToMicroseconds(timeoutSeconds, 0) / 1000, G_MAXUINT)));
  GSource* alive = deadline;
  g_source_set_callback(
      deadline, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, &alive, removeDeadline);
  g_source_attach(deadline, context);
  bool finished = done();
  while (!finished && alive != nullptr) {
    g_main_context_iteration(context, TRUE);
    finished = done();
  }
  g_source_destroy(deadline);
  g_source_unref(deadline);
  g_main_context_release(context);
  return finished;
}

std::size_t RunLoop::runPending(std::size_t maxIterations) {
  GMainContext* context = currentContext();
  if (context == nullptr || !g_main_context_acquire(context)) return 0;
  std::size_t passes = 0;
  while (passes < maxIterations && g_main_context_iteration(context, FALSE)) ++passes;
  g_main_context_release(context);
  return passes;
}

std::size_t RunLoop::pendingMessageCount() {
  GMainContext* context = currentContext();
  QueueSource* source = context != nullptr ? queueFor(context, false) : nullptr;
  if (source == nullptr) return 0;
  std::lock_guard lock(source->queue->mutex);
  return source->queue->entries.size();
}

void performSelector(std::shared_ptr<Object> target, Message message, double afterDelay) {
  if (!target || !message) return;
  GMainContext* context = RunLoop::currentContext();
  if (context == nullptr) return;
  QueueSource* source = queueFor(context, true);
  const std::int64_t due = runtime::nowMicroseconds() + runtime::delayToMicroseconds(afterDelay, 0);
  Queue& q = *source->queue;
  std::lock_guard lock(q.mutex);
  const Key key{due, q.nextOrder++};
  const Object* id = target.get();
  auto it =
      q.entries.emplace_hint(q.entries.end(), key, Entry{std::move(target), std::move(message)});
  TargetKeys& keys = q.byTarget[id];
  keys.keys.push_back(key);
  ++keys.pending;
  if (it == q.entries.begin()) updateReadyTime(source);
}

void performSelector(std::shared_ptr<Object> target, Selector selector,
                     std::shared_ptr<Object> withObject, double afterDelay) {
  if (!selector || !withObject) return;
  performSelector(
      std::move(target),
      [selector = std::move(selector), argument = std::move(withObject)](Object& receiver) {
        selector(receiver, *argument);
      },
      afterDelay);
}

void cancelPreviousPerformRequestsWithTarget(const Object* target) {
  if (target == nullptr) return;
  GMainContext* context = RunLoop::currentContext();
  QueueSource* source = context != nullptr ? queueFor(context, false) : nullptr;
  if (source == nullptr) return;
  std::vector<Entry> dropped;
  {
    Queue& q = *source->queue;
    std::lock_guard lock(q.mutex);
    auto keys = q.byTarget.find(target);
    if (keys == q.byTarget.end()) return;
    for (const Key& key : keys->second.keys) {
      auto it = q.entries.find(key);  // order numbers are unique: a key found is this target's
      if (it == q.entries.end()) continue;
      dropped.push_back(std::move(it->second));
      q.entries.erase(it);
    }
    q.byTarget.erase(keys);
    updateReadyTime(source);
  }
  // `dropped` releases the targets here, with the queue unlocked.
}

}  // namespace fw
