// Delayed notifications and timers fire inside a running GTK application's
// own main loop: nothing but g_application_run iterates the context.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/runtime/loop/timer.h"
#include "tests/support/gtk_display.h"
#include "tests/support/run_loop_fixture.h"

namespace fw {
namespace {

struct AppRun {
  std::shared_ptr<test_support::Recorder> sender = std::make_shared<test_support::Recorder>();
  std::shared_ptr<test_support::Recorder> listener = std::make_shared<test_support::Recorder>();
  std::shared_ptr<Timer> timer;
  int ticksAtNote = -1;
  bool timedOut = false;
};

void activate(GApplication* app, gpointer data) {
  auto& run = *static_cast<AppRun*>(data);
  g_application_hold(app);
  run.listener->listenForNotification(u"Later", test_support::got(), run.sender.get());
  run.listener->onNote = [&run](Notification&) { run.ticksAtNote = run.sender->ticks; };
  run.sender->postNotificationAboutSelfLater(u"Later");
  EXPECT_TRUE(run.listener->names.empty()) << "never inside the call";
  run.timer =
      run.sender->repeatingTimerWithTimeInterval(0.01, [app](Object& target, Object& timer) {
        auto& sender = static_cast<test_support::Recorder&>(target);
        sender.tick(static_cast<Timer&>(timer));
        if (sender.ticks == 3) {
          static_cast<Timer&>(timer).invalidate();
          g_application_release(app);
        }
      });
  // Ends a broken run instead of hanging it.
  g_timeout_add_seconds(
      static_cast<guint>(test_support::kDisplayDeadline),
      [](gpointer d) {
        auto* r = static_cast<AppRun*>(d);
        r->timedOut = true;
        g_application_quit(G_APPLICATION(g_application_get_default()));
        return G_SOURCE_REMOVE;
      },
      &run);
}

TEST(GtkApplicationLoop, DelayedPostsAndTimersFireWithNoExtraPumping) {
  GtkApplication* app =
      gtk_application_new("com.fetchwright.fwkit.LoopTest", G_APPLICATION_NON_UNIQUE);
  AppRun run;
  g_signal_connect(app, "activate", G_CALLBACK(activate), &run);
  const int status = g_application_run(G_APPLICATION(app), 0, nullptr);
  g_object_unref(app);
  run.listener->stopListening();

  EXPECT_EQ(status, 0);
  EXPECT_FALSE(run.timedOut);
  ASSERT_EQ(run.listener->names.size(), 1u);
  EXPECT_EQ(run.listener->names[0], std::optional<std::u16string>(u"Later"));
  EXPECT_EQ(run.listener->senders[0], run.sender.get());
  EXPECT_EQ(run.ticksAtNote, 0) << "a post without delay comes before the first 10 ms tick";
  EXPECT_EQ(run.sender->ticks, 3);
  EXPECT_FALSE(run.timer->isValid());
}

}  // namespace
}  // namespace fw
