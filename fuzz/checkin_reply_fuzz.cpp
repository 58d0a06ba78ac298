// A check-in reply from the identity service: parsing never fails hard, and the credentials it
// yields are decimal texts that a request built from them carries back as exact integers.
#include <cstdlib>
#include <string>

#include "instance_id/checkin_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  platform::Result<VIZInstanceIDCheckinReply> reply = VIZInstanceIDParseCheckinReply(body);
  if (!reply.ok()) return 0;
  for (const std::string* id : {&reply->deviceID, &reply->secretToken}) {
    if (id->find_first_not_of("-0123456789") != std::string::npos) std::abort();
  }
  VIZInstanceIDCheckinRequest request;
  request.deviceID = reply->deviceID;
  request.secretToken = reply->secretToken;
  request.digest = reply->digest;
  request.lastCheckinTimestampMillis = reply->timeMillis;
  const std::string json = VIZInstanceIDCheckinRequestJSON(request);
  if (!reply->deviceID.empty() && reply->deviceID[0] != '-' &&
      json.find("\"id\":" + reply->deviceID) == std::string::npos) {
    std::abort();  // an id that did not survive the round trip
  }
  return 0;
}
