#include "platform/dispatch/notification_center.h"

#include <algorithm>
#include <atomic>

namespace platform {

struct NotificationCenter::Observation::Entry {
  std::string name;
  const void* sender;
  NotificationHandler handler;
  QueuePtr queue;
  std::atomic<bool> active{true};
};

NotificationCenter::Observation& NotificationCenter::Observation::operator=(
    Observation&& other) noexcept {
  if (this != &other) {
    reset();
    center_ = std::move(other.center_);
    entry_ = std::move(other.entry_);
  }
  return *this;
}

NotificationCenter::Observation::~Observation() { reset(); }

void NotificationCenter::Observation::reset() {
  if (!entry_) return;
  entry_->active.store(false);
  if (auto center = center_.lock()) (*center)->remove(entry_);
  entry_.reset();
  center_.reset();
}

bool NotificationCenter::Observation::active() const { return entry_ && entry_->active.load(); }

NotificationCenter::NotificationCenter() : self_(std::make_shared<NotificationCenter*>(this)) {}

NotificationCenter::~NotificationCenter() {
  MutexLock lock(mutex_);
  for (const auto& entry : entries_) entry->active.store(false);
}

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();  // lives as long as the process
  return *center;
}

NotificationCenter::Observation NotificationCenter::addObserver(std::string name,
                                                                const void* sender,
                                                                NotificationHandler handler,
                                                                QueuePtr queue) {
  auto entry = std::make_shared<Observation::Entry>();
  entry->name = std::move(name);
  entry->sender = sender;
  entry->handler = std::move(handler);
  entry->queue = std::move(queue);
  {
    MutexLock lock(mutex_);
    entries_.push_back(entry);
  }
  return Observation(self_, entry);
}

void NotificationCenter::remove(const std::shared_ptr<Observation::Entry>& entry) {
  MutexLock lock(mutex_);
  std::erase(entries_, entry);
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::shared_ptr<Observation::Entry>> matching;
  {
    MutexLock lock(mutex_);
    for (const auto& entry : entries_) {
      if (!entry->name.empty() && entry->name != notification.name) continue;
      if (entry->sender && entry->sender != notification.sender) continue;
      matching.push_back(entry);
    }
  }
  for (const auto& entry : matching) {
    // An observation removed by an earlier handler of this post is not called.
    if (!entry->active.load()) continue;
    if (entry->queue) {
      entry->queue->async([entry, notification] {
        if (entry->active.load()) entry->handler(notification);
      });
    } else {
      entry->handler(notification);
    }
  }
}

bool NotificationCenter::isObserved(std::string_view name, const void* sender) const {
  MutexLock lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return (entry->name.empty() || entry->name == name) &&
           (!entry->sender || entry->sender == sender) && entry->active.load();
  });
}

void NotificationCenter::post(std::string name, const void* sender, Value userInfo,
                              std::any object) {
  post(Notification{std::move(name), sender, std::move(object), std::move(userInfo)});
}

}  // namespace platform
