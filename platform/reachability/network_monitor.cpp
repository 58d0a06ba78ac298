#include "platform/reachability/network_monitor.h"

#include <mutex>

#include "platform/reachability/gio_network_monitor.h"

namespace platform {

namespace {
constexpr const char* kNetworkChanged = "NetworkChanged";

std::mutex& monitorMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<NetworkMonitor>& installedMonitor() {
  static std::shared_ptr<NetworkMonitor> monitor;
  return monitor;
}
}  // namespace

NotificationCenter::Observation NetworkMonitor::observeChanges(std::function<void()> handler) {
  return changes_.addObserver(kNetworkChanged, nullptr,
                              [handler = std::move(handler)](const Notification&) { handler(); });
}

void NetworkMonitor::announceChange() { changes_.post(kNetworkChanged); }

std::shared_ptr<NetworkMonitor> networkMonitor() {
  std::lock_guard lock(monitorMutex());
  if (!installedMonitor()) installedMonitor() = gioNetworkMonitor();
  return installedMonitor();
}

std::shared_ptr<NetworkMonitor> setNetworkMonitor(std::shared_ptr<NetworkMonitor> monitor) {
  std::lock_guard lock(monitorMutex());
  std::swap(installedMonitor(), monitor);
  return monitor;
}

}  // namespace platform
