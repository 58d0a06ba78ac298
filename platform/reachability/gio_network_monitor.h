#pragma once

#include <memory>

#include "platform/reachability/network_monitor.h"

namespace platform {

// The system's network monitor, on GIO's GNetworkMonitor; one per process, made on first use.
std::shared_ptr<NetworkMonitor> gioNetworkMonitor();

}  // namespace platform
