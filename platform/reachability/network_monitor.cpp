#include "platform/reachability/network_monitor.h"

#include "platform/foundation/thread_annotations.h"
#include "platform/reachability/gio_network_monitor.h"

namespace platform {

namespace {
constexpr const char* kNetworkChanged = "NetworkChanged";

struct Installed {
  Mutex mutex;
  std::shared_ptr<NetworkMonitor> monitor VKR_GUARDED_BY(mutex);
};
Installed& installed() {
  static Installed instance;
  return instance;
}
}  // namespace

NotificationCenter::Observation NetworkMonitor::observeChanges(std::function<void()> handler) {
  return changes_.addObserver(kNetworkChanged, nullptr,
                              [handler = std::move(handler)](const Notification&) { handler(); });
}

void NetworkMonitor::announceChange() { changes_.post(kNetworkChanged); }

std::shared_ptr<NetworkMonitor> networkMonitor() {
  Installed& slot = installed();
  MutexLock lock(slot.mutex);
  if (!slot.monitor) slot.monitor = gioNetworkMonitor();
  return slot.monitor;
}

std::shared_ptr<NetworkMonitor> setNetworkMonitor(std::shared_ptr<NetworkMonitor> monitor) {
  Installed& slot = installed();
  MutexLock lock(slot.mutex);
  std::swap(slot.monitor, monitor);
  return monitor;
}

}  // namespace platform
