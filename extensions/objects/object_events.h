#pragma once

// One include for the notification, delayed-notification and timer
// shorthands on every object, the toolkit-version test and the fallback
// event handlers: the members of fw::Object (platform/runtime/object.h,
// defined in fwkit_platform_runtime) together with the pieces they stand on.
//
//   auto view = std::make_shared<MyView>();
//   view->listenForNotification(u"WindowMoved", fw::selector(&MyView::windowMoved));
//   window->postNotificationAboutSelf(u"WindowMoved");       // windowMoved runs now
//   window->postNotificationAboutSelfLater(u"WindowMoved");  // ... on the next loop pass
//   view->stopListening();                                   // before view goes away

#include "platform/runtime/event.h"
#include "platform/runtime/loop/run_loop.h"
#include "platform/runtime/loop/timer.h"
#include "platform/runtime/notification_center.h"
#include "platform/runtime/object.h"
#include "platform/runtime/toolkit_version.h"
