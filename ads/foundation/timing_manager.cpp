#include "ads/foundation/timing_manager.h"

#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"

std::shared_ptr<ZADTimingManager> ZADTimingManager::make() {
  std::shared_ptr<ZADTimingManager> manager(new ZADTimingManager());
  manager->terminationObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::ui::kApplicationWillTerminateNotification, nullptr,
      [weak = std::weak_ptr(manager)](const platform::Notification&) {
        if (auto self = weak.lock()) self->applicationWillTerminate();
      });
  return manager;
}

ZADTimingManager::ZADTimingManager()
    : savingQueue_(platform::makeSerialQueue("com.zorova.zizov.timing")) {}

ZADTimingManager::~ZADTimingManager() {
  savingQueue_->sync([] {});
}

void ZADTimingManager::setIdentifier(const std::string& identifier) {
  identifier_ = identifier;
  userDefaultsKey_ = "zorova_timing_" + identifier;
  loadPersistentTimings();
}

void ZADTimingManager::loadPersistentTimings() {
  if (!userDefaultsKey_) return;
  auto stored = platform::UserDefaults::standard()->dictionaryForKey(*userDefaultsKey_);
  if (!stored) return;
  for (const auto& [category, form] : *stored) {
    if (form.isDictionary()) timings_[category] = ZADTiming::fromDictionaryRepresentation(form);
  }
}

void ZADTimingManager::savePersistentTimings() {
  if (!userDefaultsKey_) return;
  platform::Dictionary forms;
  for (const auto& [category, timing] : timings_) {
    forms.set(category, timing->dictionaryRepresentation());
  }
  savingQueue_->async([key = *userDefaultsKey_, forms = std::move(forms)] {
    auto defaults = platform::UserDefaults::standard();
    (void)defaults->setObject(forms, key);
    defaults->synchronize();
  });
}

void ZADTimingManager::addTiming(const std::shared_ptr<ZADTiming>& timing) {
  if (!timing) return;
  timings_[timing->category()] = timing;
  savePersistentTimings();
}

std::shared_ptr<ZADTiming> ZADTimingManager::addTimingWithCategory(const std::string& category) {
  auto timing = std::make_shared<ZADTiming>(category);
  addTiming(timing);
  return timing;
}

std::shared_ptr<ZADTiming> ZADTimingManager::timingForCategory(const std::string& category) const {
  auto it = timings_.find(category);
  return it == timings_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<ZADTiming>> ZADTimingManager::timings() const {
  std::vector<std::shared_ptr<ZADTiming>> all;
  for (const auto& [category, timing] : timings_) all.push_back(timing);
  return all;
}

std::vector<std::string> ZADTimingManager::categories() const {
  std::vector<std::string> all;
  for (const auto& [category, timing] : timings_) all.push_back(category);
  return all;
}

void ZADTimingManager::removeTiming(const std::shared_ptr<ZADTiming>& timing) {
  if (timing) removeTimingForCategory(timing->category());
}

void ZADTimingManager::removeTimingForCategory(const std::string& category) {
  timings_.erase(category);
}

void ZADTimingManager::removeTimingsForCategories(const std::vector<std::string>& categories) {
  for (const std::string& category : categories) removeTimingForCategory(category);
}

void ZADTimingManager::removeAllTimings() { timings_.clear(); }

void ZADTimingManager::applicationWillTerminate() {
  savingQueue_->sync([] {});
}
