#include "platform/runtime/loop/timer.h"

#include <glib.h>

#include <cstdio>
#include <utility>

#include "platform/runtime/loop/clock.h"
#include "platform/runtime/loop/dispatch.h"
#include "platform/runtime/loop/run_loop.h"
#include "platform/strings/unicode.h"

namespace fw {

namespace {

constexpr std::int64_t kMinIntervalUs = 100;

gboolean unusedCallback(gpointer) { return G_SOURCE_CONTINUE; }

}  // namespace

// The loop's side of a timer. Its callback data is the strong reference that
// keeps the timer scheduled; GLib drops that data when the source is
// destroyed, by invalidate() or by the end of its context, and the timer
// then becomes invalid.
struct Timer::Source {
  static gboolean dispatch(GSource*, GSourceFunc, gpointer data) {
    if (data == nullptr) return G_SOURCE_REMOVE;
    const std::shared_ptr<Timer> timer = *static_cast<std::shared_ptr<Timer>*>(data);
    timer->fire();
    return G_SOURCE_CONTINUE;
  }

  // The source and the timer it fires, which outlives it while attached
  // (the callback data keeps the timer).
  struct Attached {
    GSource base;
    Timer* timer;
  };

  static gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return runtime::dueUnderManualClock(reinterpret_cast<Attached*>(source)->timer->nextFireUs_);
  }

  static void release(gpointer data) {
    auto* holder = static_cast<std::shared_ptr<Timer>*>(data);
    const std::shared_ptr<Timer> timer = std::move(*holder);
    delete holder;
    timer->invalidate();
  }

  static GSourceFuncs funcs;
};

GSourceFuncs Timer::Source::funcs = {
    Timer::Source::prepare, nullptr, Timer::Source::dispatch, nullptr, nullptr, nullptr};

std::shared_ptr<Timer> Timer::scheduledTimerWithTimeInterval(double interval,
                                                             std::shared_ptr<Object> target,
                                                             Selector selector,
                                                             std::shared_ptr<Object> userInfo,
                                                             bool repeats) {
  if (!target || !selector) return nullptr;
  GMainContext* context = RunLoop::currentContext();
  if (context == nullptr) return nullptr;
  auto timer = std::make_shared<Timer>(Passkey{}, interval, std::move(target), std::move(selector),
                                       std::move(userInfo), repeats);
  GSource* source = g_source_new(&Source::funcs, sizeof(Source::Attached));
  reinterpret_cast<Source::Attached*>(source)->timer = timer.get();
  g_source_set_name(source, "fw timer");
  g_source_set_callback(source, unusedCallback, new std::shared_ptr<Timer>(timer), Source::release);
  timer->nextFireUs_ = runtime::nowMicroseconds() + timer->intervalUs_;
  runtime::setDueTime(source, timer->nextFireUs_);
  timer->source_ = source;  // keeps the reference from g_source_new
  g_source_attach(source, context);
  return timer;
}

Timer::Timer(Passkey, double interval, std::shared_ptr<Object> target, Selector selector,
             std::shared_ptr<Object> userInfo, bool repeats)
    : intervalUs_(runtime::delayToMicroseconds(interval, kMinIntervalUs)),
      repeats_(repeats),
      target_(std::move(target)),
      selector_(std::move(selector)),
      userInfo_(std::move(userInfo)) {}

Timer::~Timer() {
  if (source_ != nullptr) g_source_unref(source_);
}

void Timer::invalidate() {
  // Held so that releasing the loop's reference below cannot end this timer
  // in the middle of the call.
  const std::shared_ptr<Object> self = weak_from_this().lock();
  std::shared_ptr<Object> target;
  std::shared_ptr<Object> userInfo;
  Selector selector;
  GSource* source;
  {
    std::lock_guard lock(mutex_);
    if (!valid_) return;
    valid_ = false;
    target = std::move(target_);
    userInfo = std::move(userInfo_);
    selector = std::move(selector_);
    source = std::exchange(source_, nullptr);
  }
  if (source != nullptr) {
    g_source_destroy(source);
    g_source_unref(source);
  }
  // target, user info and selector are released here, with no lock held.
}

bool Timer::isValid() const {
  std::lock_guard lock(mutex_);
  return valid_;
}

std::shared_ptr<Object> Timer::userInfo() const {
  std::lock_guard lock(mutex_);
  return userInfo_;
}

std::u16string Timer::description() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<fw::Timer %p interval %g%s%s>", static_cast<const void*>(this),
                timeInterval(), repeats_ ? " repeating" : "", isValid() ? "" : " invalid");
  return asciiToUtf16(buf);
}

void Timer::fire() {
  std::shared_ptr<Object> target;
  Selector selector;
  {
    std::lock_guard lock(mutex_);
    if (!valid_) return;
    target = target_;
    selector = selector_;
  }
  runtime::runGuarded("a timer", [&] { selector(*target, *this); });
  if (!repeats_) {
    invalidate();
    return;
  }
  std::lock_guard lock(mutex_);
  if (!valid_ || source_ == nullptr) return;
  const std::int64_t now = runtime::nowMicroseconds();
  nextFireUs_ += intervalUs_;
  if (nextFireUs_ <= now) nextFireUs_ += ((now - nextFireUs_) / intervalUs_ + 1) * intervalUs_;
  runtime::setDueTime(source_, nextFireUs_);
}

}  // namespace fw
