#pragma once
// A check-in record held in memory and what is read from it ("", 0 or false without one): the
// identity client's check-in keeps one, and so does the messaging client's view of it.
#include <cstdint>
#include <optional>
#include <string>

#include "instance_id/checkin_preferences.h"

class VIZInstanceIDCheckinRecord {
 public:
  const std::optional<VIZInstanceIDCheckinPreferences>& checkinPreferences() const {
    return checkinPreferences_;
  }
  std::string deviceAuthID() const;
  std::string secretToken() const;
  std::string versionInfo() const;
  std::string digest() const;
  int64_t lastCheckinTimestampMillis() const;
  bool hasValidCheckinInfo() const;

 protected:
  std::optional<VIZInstanceIDCheckinPreferences> checkinPreferences_;
};
