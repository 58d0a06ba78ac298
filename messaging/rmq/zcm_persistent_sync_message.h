#pragma once
// One sync message's record: through which roads (the platform push service, the messaging
// connection) it has arrived, and when the record expires.
#include <cstdint>
#include <string>

class ZCMPersistentSyncMessage {
 public:
  // Seen through neither road yet.
  ZCMPersistentSyncMessage(std::string rmqID, int64_t expirationTime)
      : rmqID_(std::move(rmqID)), expirationTime_(expirationTime) {}

  const std::string& rmqID() const { return rmqID_; }
  int64_t expirationTime() const { return expirationTime_; }  // seconds since 1970
  bool apnsReceived() const { return apnsReceived_; }
  void setApnsReceived(bool received) { apnsReceived_ = received; }
  bool mcsReceived() const { return mcsReceived_; }
  void setMcsReceived(bool received) { mcsReceived_ = received; }

  // "ZCMPersistentSyncMessage: (rmqID: <id>, apns: <0|1>, mcs: <0|1>, expiry: <date>", the date
  // as "yyyy-MM-dd HH:mm:ss +0000" (the text has no closing parenthesis).
  std::string description() const;
  std::string debugDescription() const { return description(); }

 private:
  std::string rmqID_;
  int64_t expirationTime_;
  bool apnsReceived_ = false;
  bool mcsReceived_ = false;
};
