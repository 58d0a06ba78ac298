#include "ads/foundation/statistics.h"

namespace {

constexpr const char* kAdapterTiming = "adapter";
constexpr const char* kAdapterDurations = "adapter_duration";
constexpr const char* kAdapterExitCodes = "adapter_exit";

}  // namespace

ZADStatistics::ZADStatistics()
    : statisticsCore_(ZADStatisticsCore::make()), timingManager_(ZADTimingManager::make()) {}

std::shared_ptr<ZADTiming> ZADStatistics::timingNamed(const std::string& name) const {
  return timingManager_->timingForCategory(name);
}

void ZADStatistics::startTimingNamed(const std::string& name, bool explicitEnd) {
  timingManager_->removeTimingForCategory(name);
  std::shared_ptr<ZADTiming> timing = timingManager_->addTimingWithCategory(name);
  timing->setExplicitEnd(explicitEnd);
  timing->start();
}

void ZADStatistics::endTimingNamed(const std::string& name) {
  if (auto timing = timingNamed(name)) timing->end();
}

void ZADSlotStatistics::setIdentifier(const std::string& identifier) {
  if (identifier_ == identifier) return;
  identifier_ = identifier;
  statisticsCore()->setIdentifier(identifier);
  timingManager()->setIdentifier(identifier);
}

void ZADSlotStatistics::startTimingAdapter() { startTimingNamed(kAdapterTiming, true); }

void ZADSlotStatistics::endTimingAdapterWithExitCode(int64_t exitCode) {
  endTimingNamed(kAdapterTiming);
  const std::shared_ptr<ZADTiming> timing = timingNamed(kAdapterTiming);
  statisticsCore()->appendStringToArrayForKey(timing ? timing->elapsedMillisecondsString() : "0",
                                              kAdapterDurations);
  statisticsCore()->appendStringToArrayForKey(std::to_string(exitCode), kAdapterExitCodes);
}

void ZADSlotStatistics::resetTimingAdapters() {
  statisticsCore()->removeObjectForKey(kAdapterExitCodes);
  statisticsCore()->removeObjectForKey(kAdapterDurations);
}

std::optional<std::string> ZADSlotStatistics::adapterExitCodesParameter() const {
  return joinedList(kAdapterExitCodes);
}

std::optional<std::string> ZADSlotStatistics::adapterDurationsParameter() const {
  return joinedList(kAdapterDurations);
}

std::optional<std::string> ZADSlotStatistics::joinedList(const std::string& key) const {
  const platform::Value list = statisticsCore()->arrayForKey(key);
  const platform::Value::Array* items = list.arrayIf();
  if (!items) return std::nullopt;
  std::string joined;
  for (size_t i = 0; i < items->size(); ++i) {
    if (i) joined += ",";
    joined += (*items)[i].stringOr("");
  }
  return joined;
}
