#include "ads/foundation/statistics_core.h"

#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"

std::shared_ptr<ZADStatisticsCore> ZADStatisticsCore::make() {
  std::shared_ptr<ZADStatisticsCore> core(new ZADStatisticsCore());
  core->observeTermination();
  return core;
}

ZADStatisticsCore::ZADStatisticsCore()
    : lockQueue_(platform::makeSerialQueue("com.zorova.zizov.statistics")) {}

void ZADStatisticsCore::observeTermination() {
  terminationObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::ui::kApplicationWillTerminateNotification, nullptr,
      [weak = weak_from_this()](const platform::Notification&) {
        if (auto self = weak.lock()) self->applicationWillTerminate();
      });
}

void ZADStatisticsCore::setIdentifier(const std::string& identifier) {
  std::optional<std::string> key;
  if (!identifier.empty()) key = "zorova_stats_" + identifier;
  lockQueue_->async([self = shared_from_this(), key = std::move(key)] {
    if (key == self->userDefaultsKey_) return;
    if (self->userDefaultsKey_) self->statistics_.clear();  // another unit's values
    self->userDefaultsKey_ = key;
    if (!key) return;
    if (auto stored = platform::UserDefaults::standard()->dictionaryForKey(*key)) {
      for (auto& [name, value] : *stored) self->statistics_.set(name, value);
    }
  });
}

platform::Dictionary ZADStatisticsCore::statistics() const {
  platform::Dictionary copy;
  lockQueue_->sync([&] { copy = statistics_; });
  return copy;
}

platform::Value ZADStatisticsCore::arrayForKey(const std::string& key) const {
  platform::Value value;
  lockQueue_->sync([&] {
    if (const platform::Value* found = statistics_.find(key)) value = *found;
  });
  return value;
}

void ZADStatisticsCore::appendStringToArrayForKey(const std::string& string,
                                                  const std::string& key) {
  lockQueue_->async([self = shared_from_this(), string, key] {
    platform::Value* current = self->statistics_.find(key);
    if (current && current->isArray()) {
      current->append(string);
    } else {
      self->statistics_.set(key, platform::Value::array({string}));
    }
    self->savePersistentStatistics();
  });
}

void ZADStatisticsCore::removeObjectForKey(const std::string& key) {
  lockQueue_->async([self = shared_from_this(), key] {
    self->statistics_.remove(key);
    self->savePersistentStatistics();
  });
}

void ZADStatisticsCore::applicationWillTerminate() {
  lockQueue_->sync([] {});
}

void ZADStatisticsCore::savePersistentStatistics() {
  if (!userDefaultsKey_) return;
  auto defaults = platform::UserDefaults::standard();
  (void)defaults->setObject(statistics_, *userDefaultsKey_);
  defaults->synchronize();
}
