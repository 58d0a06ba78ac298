#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/timing.h"
#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/queue.h"

// Timings by category for one ad unit, kept in the standard user defaults under
// "zorova_timing_" plus the unit's identifier. One thread per manager (its slot's); the user
// defaults are written only from the manager's saving queue.
class ZADTimingManager : public std::enable_shared_from_this<ZADTimingManager> {
 public:
  static std::shared_ptr<ZADTimingManager> make();
  // Waits for the saves still queued.
  ~ZADTimingManager();
  ZADTimingManager(const ZADTimingManager&) = delete;
  ZADTimingManager& operator=(const ZADTimingManager&) = delete;

  // Binds the manager to an ad unit and loads its stored timings.
  void setIdentifier(const std::string& identifier);
  void loadPersistentTimings();
  void savePersistentTimings();

  // Stores the timing under its category, then saves.
  void addTiming(const std::shared_ptr<ZADTiming>& timing);
  std::shared_ptr<ZADTiming> addTimingWithCategory(const std::string& category);
  std::shared_ptr<ZADTiming> timingForCategory(const std::string& category) const;
  std::vector<std::shared_ptr<ZADTiming>> timings() const;
  std::vector<std::string> categories() const;
  // Removals change memory only; the next add saves them.
  void removeTiming(const std::shared_ptr<ZADTiming>& timing);
  void removeTimingForCategory(const std::string& category);
  void removeTimingsForCategories(const std::vector<std::string>& categories);
  void removeAllTimings();

  void applicationWillTerminate();

 private:
  ZADTimingManager();

  const platform::QueuePtr savingQueue_;
  std::optional<std::string> identifier_;
  std::optional<std::string> userDefaultsKey_;
  std::map<std::string, std::shared_ptr<ZADTiming>> timings_;
  platform::NotificationCenter::Observation terminationObserver_;
};
