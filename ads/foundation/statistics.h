#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/foundation/statistics_core.h"
#include "ads/foundation/timing_manager.h"

// A statistics store and a timing manager together.
class ZADStatistics {
 public:
  ZADStatistics();
  virtual ~ZADStatistics() = default;

  std::shared_ptr<ZADTiming> timingNamed(const std::string& name) const;
  // Replaces any timing of the name with a new, started one (which saves).
  void startTimingNamed(const std::string& name, bool explicitEnd);
  // Ends the named timing; nothing when there is none.
  void endTimingNamed(const std::string& name);

  const std::shared_ptr<ZADStatisticsCore>& statisticsCore() const { return statisticsCore_; }
  const std::shared_ptr<ZADTimingManager>& timingManager() const { return timingManager_; }

 private:
  std::shared_ptr<ZADStatisticsCore> statisticsCore_;
  std::shared_ptr<ZADTimingManager> timingManager_;
};

// An ad slot's statistics: the mediation adapters it tried, each one's duration and exit code,
// reported with the mediation no-fill and impression reports.
class ZADSlotStatistics : public ZADStatistics {
 public:
  // Binds both stores to the ad unit; nothing when it is the one already bound.
  void setIdentifier(const std::string& identifier);
  platform::Dictionary statistics() const { return statisticsCore()->statistics(); }

  void startTimingAdapter();
  // Ends the adapter's timing and records its duration and exit code.
  void endTimingAdapterWithExitCode(int64_t exitCode);
  // Starts a new series.
  void resetTimingAdapters();
  // The recorded codes and durations joined by ","; nothing before any was recorded.
  std::optional<std::string> adapterExitCodesParameter() const;
  std::optional<std::string> adapterDurationsParameter() const;

 private:
  std::optional<std::string> joinedList(const std::string& key) const;

  std::optional<std::string> identifier_;
};
