#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/value.h"

// Statistics of one ad unit, kept in the standard user defaults under "zorova_stats_" plus the
// unit's identifier. Thread-safe: the values live on the store's serial queue; changes are
// queued and each is saved at once, reads wait.
class ZADStatisticsCore : public std::enable_shared_from_this<ZADStatisticsCore> {
 public:
  static std::shared_ptr<ZADStatisticsCore> make();
  ZADStatisticsCore(const ZADStatisticsCore&) = delete;
  ZADStatisticsCore& operator=(const ZADStatisticsCore&) = delete;

  // Binds the store to an ad unit and loads that unit's stored values; "" unbinds it (changes
  // then stay in memory). Binding to another unit first drops the values of the one before, so
  // they never land under the new unit's key.
  void setIdentifier(const std::string& identifier);

  platform::Dictionary statistics() const;
  // A copy of the value under the key; null when absent.
  platform::Value arrayForKey(const std::string& key) const;
  // Appends to the list under the key (a value of another kind is replaced by a new list).
  void appendStringToArrayForKey(const std::string& string, const std::string& key);
  void removeObjectForKey(const std::string& key);
  // Waits until every queued change and save has run.
  void applicationWillTerminate();

 private:
  ZADStatisticsCore();
  void observeTermination();
  // On lockQueue_.
  void savePersistentStatistics();

  const platform::QueuePtr lockQueue_;
  // On lockQueue_ only.
  platform::Dictionary statistics_;
  std::optional<std::string> userDefaultsKey_;
  platform::NotificationCenter::Observation terminationObserver_;
};
