#pragma once
// The check-in exchange's bodies: the JSON request and the reply's members. Device ids and secret
// tokens are 64-bit numbers that may lie above the signed range, so they are read and written as
// exact integers, never through a floating-point value.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

struct VIZInstanceIDCheckinRequest {
  std::string deviceID;     // decimal text, "" on a first check-in
  std::string secretToken;  // decimal text, "" on a first check-in
  std::string digest;
  int64_t lastCheckinTimestampMillis = 0;
  uint32_t loggingID = 0;
  std::string locale;
  std::string timeZone;
  std::string model;
  std::string osVersion;
};

// The compact JSON text of the request's ten members.
std::string VIZInstanceIDCheckinRequestJSON(const VIZInstanceIDCheckinRequest& request);

struct VIZInstanceIDCheckinReply {
  std::string deviceID;     // "" when the reply has none
  std::string secretToken;  // "" when the reply has none
  int64_t timeMillis = 0;
  std::string digest;
  std::string versionInfo;
  platform::Dictionary settings;  // "setting" elements with both a name and a value
};

// The reply's members; the JSON parser's error when it is not JSON. Members of the wrong type,
// and ids that are not 64-bit integers, read as absent.
platform::Result<VIZInstanceIDCheckinReply> VIZInstanceIDParseCheckinReply(std::string_view body);
