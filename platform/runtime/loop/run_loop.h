#pragma once

// The run loop: each thread's run loop is a GLib GMainContext.
//
// - A thread that has pushed a thread-default context runs that one.
// - Otherwise the main thread runs the global default context, so delayed
//   messages and timers fire inside a GTK or GLib application's main loop.
// - Any other thread gets a context of its own on first use, made its thread
//   default and kept until the thread ends. Work queued on such a thread
//   runs only while that thread iterates its context, never on another
//   thread; when the thread ends, its pending messages are dropped and its
//   timers stop, releasing what they kept alive.
//
// Delayed messages are kept in one queue source per context, ordered by the
// time they fall due and then by the order they were queued; messages queued
// while the queue is being run wait for a later pass.
//
//   auto view = std::make_shared<MyView>();
//   fw::performSelector(view, [](fw::Object& v) { v.kill(); }, 0.0);
//   fw::RunLoop::runPending();            // sends kill to view

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/runtime/object.h"

typedef struct _GMainContext GMainContext;

namespace fw {

class RunLoop {
 public:
  // The calling thread's context as described above (borrowed: the thread
  // or GLib keeps it alive).
  [[nodiscard]] static GMainContext* currentContext();

  // Iterates the calling thread's context, waiting for its sources, until
  // `done` answers true or `timeoutSeconds` have passed. Answers the last
  // reading of `done`. For tests and for callers that wait on an outcome;
  // the wait is the context's own poll, so nothing spins. A context that
  // another thread is running is not iterated: the answer is then false at
  // once (runPending answers 0).
  static bool runUntil(const std::function<bool()>& done, double timeoutSeconds);

  // Runs whatever is ready now on the calling thread's context, without
  // waiting, for at most `maxIterations` passes; stops at the first pass
  // that finds nothing ready. Answers the number of passes that did work.
  static std::size_t runPending(std::size_t maxIterations = 16);

  // Delayed messages still queued on the calling thread's run loop.
  [[nodiscard]] static std::size_t pendingMessageCount();
};

// What a delayed message does to its target when it is sent.
using Message = std::function<void(Object& target)>;

// Queues `message` for `target` on the calling thread's run loop, to be sent
// once `afterDelay` seconds have passed and the loop next runs its queued
// work; never inside this call. The request keeps `target` (and whatever the
// message holds) alive until it is sent or cancelled. A negative or NaN delay
// counts as zero. A null target or empty message queues nothing.
void performSelector(std::shared_ptr<Object> target, Message message, double afterDelay);

// The same for a selector and its one argument, both kept alive with the
// target. A selector takes a present object, so a null argument queues
// nothing.
void performSelector(std::shared_ptr<Object> target, Selector selector,
                     std::shared_ptr<Object> withObject, double afterDelay);

// Drops every delayed message for `target` (compared by address) that is
// still queued on the calling thread's run loop. What the dropped requests
// kept alive is released after the queue is unlocked, so destructors that
// run then may queue or cancel in turn.
void cancelPreviousPerformRequestsWithTarget(const Object* target);

}  // namespace fw
