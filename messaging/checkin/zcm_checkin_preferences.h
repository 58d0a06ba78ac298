#pragma once
// The check-in record as the identity client stores it, read by the messaging client: the same
// record type and property-list keys, so both clients agree on the stored forms.
#include "instance_id/checkin_preferences.h"

using ZCMCheckinPreferences = VIZInstanceIDCheckinPreferences;

inline constexpr const char* kZCMCheckinDigestKey = kVIZInstanceIDDigestKey;
inline constexpr const char* kZCMCheckinVersionInfoKey = kVIZInstanceIDVersionInfoKey;
inline constexpr const char* kZCMCheckinLastCheckinTimestampKey =
    kVIZInstanceIDLastCheckinTimestampKey;
inline constexpr const char* kZCMCheckinZServicesDataKey = kVIZInstanceIDZServicesDataKey;
inline constexpr int64_t kZCMCheckinValidityMillis = kVIZInstanceIDCheckinValidityMillis;
