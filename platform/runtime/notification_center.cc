#include "platform/runtime/notification_center.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace fw {

Notification::Notification(std::optional<std::u16string_view> name, Object* object)
    : object_(object) {
  if (name) name_.emplace(*name);
  if (object != nullptr) {
    objectOwner_ = object->weak_from_this();
    // An owner that ever existed leaves a weak reference that is not empty.
    objectTracked_ = objectOwner_.owner_before(std::weak_ptr<Object>()) ||
                     std::weak_ptr<Object>().owner_before(objectOwner_);
  }
}

Object* Notification::object() const {
  if (objectTracked_ && objectOwner_.expired()) return nullptr;
  return object_;
}

std::u16string Notification::description() const {
  std::u16string out = u"<fw::Notification name=";
  out += name_ ? *name_ : std::u16string(u"(null)");
  out += u" object=";
  const Object* sender = object();
  out += sender != nullptr ? sender->description() : std::u16string(u"(null)");
  out += u">";
  return out;
}

namespace {

// Whether two weak references name the same owner, even after it has died.
bool sameOwner(const std::weak_ptr<const Object>& a, const std::weak_ptr<const Object>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

struct NotificationCenter::Registration {
  std::weak_ptr<Object> observer;
  const Object* observerId;
  Selector selector;
  std::optional<std::u16string> name;
  const Object* sender;
  // The sender's ownership, when it had one at registration. A post matches
  // only from that very owner, so an object that later takes the address of
  // a dead sender does not inherit its listeners.
  std::weak_ptr<const Object> senderOwner;
  bool senderTracked = false;
  // Cleared on removal, so that a post already under way skips it.
  std::atomic<bool> active{true};

  [[nodiscard]] bool matches(const std::optional<std::u16string_view>& postName,
                             const Object* postSender,
                             const std::weak_ptr<const Object>& postSenderOwner) const {
    if (name && (!postName || *postName != *name)) return false;
    if (sender == nullptr) return true;
    if (sender != postSender) return false;
    return !senderTracked || sameOwner(senderOwner, postSenderOwner);
  }
};

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed, so that objects destroyed at exit may still unregister.
  static NotificationCenter* center = new NotificationCenter();
  return *center;
}

void NotificationCenter::addObserver(const std::weak_ptr<Object>& observer, Selector selector,
                                     std::optional<std::u16string_view> name,
                                     const Object* sender) {
  std::shared_ptr<Object> alive = observer.lock();
  if (!alive || !selector) return;
  auto reg = std::make_shared<Registration>();
  reg->observer = observer;
  reg->observerId = alive.get();
  reg->selector = std::move(selector);
  if (name) reg->name.emplace(*name);
  reg->sender = sender;
  if (sender != nullptr) {
    reg->senderOwner = sender->weak_from_this();
    reg->senderTracked = !sameOwner(reg->senderOwner, std::weak_ptr<const Object>());
  }
  std::lock_guard lock(mutex_);
  // Observers that died without unregistering are dropped here as well as
  // by posts, so a center that is never posted to does not grow without end.
  if (registrations_.size() >= purgeAt_) {
    dropExpiredLocked();
    purgeAt_ = std::max<std::size_t>(kMinPurgeSize, 2 * registrations_.size());
  }
  registrations_.push_back(std::move(reg));
}

void NotificationCenter::removeObserver(const Object* observer) {
  if (observer == nullptr) return;
  std::lock_guard lock(mutex_);
  std::erase_if(registrations_, [observer](const std::shared_ptr<Registration>& r) {
    if (r->observerId != observer) return false;
    r->active.store(false, std::memory_order_release);
    return true;
  });
}

void NotificationCenter::postNotificationName(std::optional<std::u16string_view> name,
                                              Object* sender) {
  std::vector<std::shared_ptr<Registration>> matched;
  const std::weak_ptr<const Object> senderOwner =
      sender != nullptr ? std::weak_ptr<const Object>(sender->weak_from_this())
                        : std::weak_ptr<const Object>();
  {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
      if (r->observer.expired()) {
        r->active.store(false, std::memory_order_release);
        return true;
      }
      if (r->matches(name, sender, senderOwner)) matched.push_back(r);
      return false;
    });
  }
  if (matched.empty()) return;
  // Owned, not on the stack, so that an observer may keep it.
  const auto note = std::make_shared<Notification>(name, sender);
  for (const auto& reg : matched) {
    if (!reg->active.load(std::memory_order_acquire)) continue;
    std::shared_ptr<Object> observer = reg->observer.lock();
    if (!observer) continue;
    reg->selector(*observer, *note);
  }
}

void NotificationCenter::dropExpiredLocked() {
  std::erase_if(registrations_, [](const std::shared_ptr<Registration>& r) {
    if (!r->observer.expired()) return false;
    r->active.store(false, std::memory_order_release);
    return true;
  });
}

std::size_t NotificationCenter::registrationCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(registrations_.begin(), registrations_.end(),
                    [](const std::shared_ptr<Registration>& r) { return !r->observer.expired(); }));
}

}  // namespace fw
