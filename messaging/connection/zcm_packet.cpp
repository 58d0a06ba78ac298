#include "messaging/connection/zcm_packet.h"

std::string ZCMPacket::description() const {
  std::string text =
      "<Packet: Tag - " + std::to_string(tag) + ", Length - " + std::to_string(data.size()) + ">";
  if (rmqId && !rmqId->empty()) text += ", RmqId - " + *rmqId;
  return text;
}

std::optional<ZCMPacket> ZCMPacketQueue::pop() {
  if (packetsContainer_.empty()) return std::nullopt;
  ZCMPacket head = std::move(packetsContainer_.front());
  packetsContainer_.pop_front();
  return head;
}
