#include "VokaruLib/Classes/Public/vkr_timer.h"

#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"

void VKRTimerItem::log() const {
  const double end = ended_.value_or(platform::now()).secondsSince1970;
  platform::logf("[VKRTimer][%s] %fms", name_.c_str(), (end - started_.secondsSince1970) * 1000.0);
}

VKRTimer& VKRTimer::sharedInstance() {
  static VKRTimer* timer = new VKRTimer();  // lives as long as the process
  return *timer;
}

void VKRTimer::add(std::string_view name) {
  platform::MutexLock lock(mutex_);
  std::string key = vkrLowercase(name);
  if (items_.contains(key)) {
    platform::logf("Timer called '%.*s' already exists.", static_cast<int>(name.size()),
                   name.data());
    return;
  }
  items_.emplace(std::move(key), VKRTimerItem(std::string(name), platform::now()));
}

void VKRTimer::remove(std::string_view name) {
  platform::MutexLock lock(mutex_);
  auto it = items_.find(vkrLowercase(name));
  if (it == items_.end()) {
    platform::logf("Timer called '%.*s' does not exist.", static_cast<int>(name.size()),
                   name.data());
    return;
  }
  it->second.setEnded(platform::now());
  it->second.log();
  items_.erase(it);
}

void VKRTimer::removeAll() {
  platform::MutexLock lock(mutex_);
  items_.clear();
}
