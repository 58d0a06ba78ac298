#pragma once

#include <cstdint>

namespace platform {

// What is known about reaching a network target, as bits. Linux reports Reachable,
// ConnectionRequired (the network is limited or behind a portal) and, for names of this machine,
// IsLocalAddress and IsDirect; the others are never set here.
using ReachabilityFlags = uint32_t;

enum ReachabilityFlag : ReachabilityFlags {
  kReachabilityFlagTransientConnection = 0x1,
  kReachabilityFlagReachable = 0x2,
  kReachabilityFlagConnectionRequired = 0x4,
  kReachabilityFlagConnectionOnTraffic = 0x8,
  kReachabilityFlagInterventionRequired = 0x10,
  kReachabilityFlagConnectionOnDemand = 0x20,
  kReachabilityFlagIsLocalAddress = 0x10000,
  kReachabilityFlagIsDirect = 0x20000,
  kReachabilityFlagIsWWAN = 0x40000,
};

}  // namespace platform
