#pragma once

// The process's notification center.
//
// A registration matches a post on name and sender; an absent name or sender
// in the registration matches any. Delivery runs on the posting thread,
// inside post(). The center holds observers weakly: an observer that has
// died is skipped and its registrations are dropped.
//
// Changes during delivery follow one rule: a post delivers to the
// registrations that matched when it began, in registration order, and
// skips any of them removed before its turn came. So an observer removed
// during a post (by itself or another) is not called afterwards by that
// post, an observer added during a post is first called by the next post,
// and no registration is called twice by one post.
//
// The registry is guarded by a mutex and may be used from several threads;
// observers run without the lock held, so they may post, add and remove.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"

namespace fw {

// What an observer receives: the name and the sender of a post. The center
// owns each notification with a shared_ptr for its delivery, so an observer
// may keep it (copyWithZone, shared_from_this) past the post. The sender is
// not kept alive by it: a sender owned by a shared_ptr reads as nullptr once
// it has died; any other sender is borrowed for the duration of the delivery
// only. A post without a sender gives nullptr.
class Notification : public Object {
 public:
  Notification(std::optional<std::u16string_view> name, Object* object);

  [[nodiscard]] const std::optional<std::u16string>& name() const { return name_; }
  [[nodiscard]] Object* object() const;
  [[nodiscard]] std::u16string description() const override;

 private:
  std::optional<std::u16string> name_;
  Object* object_;
  std::weak_ptr<Object> objectOwner_;  // empty when the sender had no owner
  bool objectTracked_ = false;
};

class NotificationCenter {
 public:
  // The one center of the process, the same at every call.
  [[nodiscard]] static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // Registers `observer` (held weakly) for posts matching `name` and
  // `sender`. The sender is not kept alive; a sender owned by a shared_ptr
  // is matched by that ownership, so after it dies no other object at its
  // address matches; any other sender is matched by address. An observer
  // that is expired or empty, or an empty selector, is not registered.
  void addObserver(const std::weak_ptr<Object>& observer, Selector selector,
                   std::optional<std::u16string_view> name, const Object* sender);
  // Removes every registration of `observer`, whatever its name and sender.
  void removeObserver(const Object* observer);
  // Delivers a notification with `name` and `sender` to every matching
  // registration before returning.
  void postNotificationName(std::optional<std::u16string_view> name, Object* sender);

  // Live registrations, for tests and diagnostics.
  [[nodiscard]] std::size_t registrationCount() const;

 private:
  struct Registration;
  static constexpr std::size_t kMinPurgeSize = 64;
  void dropExpiredLocked();

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Registration>> registrations_;
  std::size_t purgeAt_ = kMinPurgeSize;  // size at which addObserver drops dead observers
};

}  // namespace fw
