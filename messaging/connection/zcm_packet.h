#pragma once

// A frame waiting to be written by the secure socket, and the first-in first-out queue of them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

struct ZCMPacket {
  int8_t tag = -1;
  std::optional<std::string> rmqId;  // the message's reliable-message id, when it has one
  std::string data;                  // the serialized message

  // "<Packet: Tag - %d, Length - %lu>", followed by ", RmqId - %@" for a non-empty id.
  std::string description() const;
};

// Main thread only, like the socket that owns it.
class ZCMPacketQueue {
 public:
  bool isEmpty() const { return packetsContainer_.empty(); }
  size_t count() const { return packetsContainer_.size(); }
  void push(ZCMPacket packet) { packetsContainer_.push_back(std::move(packet)); }
  void pushHead(ZCMPacket packet) { packetsContainer_.push_front(std::move(packet)); }
  // The head, removed; nothing when the queue is empty.
  std::optional<ZCMPacket> pop();

 private:
  std::deque<ZCMPacket> packetsContainer_;
};
