#include "platform/reachability/gio_network_monitor.h"

#include <gio/gio.h>

#include <atomic>

namespace platform {

namespace {

ReachabilityFlags flagsOf(GNetworkMonitor* monitor) {
  if (!g_network_monitor_get_network_available(monitor)) return 0;
  switch (g_network_monitor_get_connectivity(monitor)) {
    case G_NETWORK_CONNECTIVITY_LIMITED:
    case G_NETWORK_CONNECTIVITY_PORTAL:
      return kReachabilityFlagReachable | kReachabilityFlagConnectionRequired;
    default:
      return kReachabilityFlagReachable;
  }
}

// GIO's monitor signals on the main context; its state is read there and published to every
// thread through an atomic.
class GioNetworkMonitor final : public NetworkMonitor {
 public:
  GioNetworkMonitor() : monitor_(g_network_monitor_get_default()), flags_(flagsOf(monitor_)) {
    g_signal_connect(monitor_, "network-changed", G_CALLBACK(&GioNetworkMonitor::onChanged), this);
  }
  // Lives for the whole process, as GIO's monitor does, so the signal never outlives it.
  ~GioNetworkMonitor() override = default;

  std::optional<ReachabilityFlags> defaultRouteFlags() const override { return flags_.load(); }

 private:
  static void onChanged(GNetworkMonitor* monitor, gboolean /*available*/, gpointer data) {
    auto* self = static_cast<GioNetworkMonitor*>(data);
    self->flags_.store(flagsOf(monitor));
    self->announceChange();
  }

  GNetworkMonitor* monitor_;
  std::atomic<ReachabilityFlags> flags_;
};

}  // namespace

std::shared_ptr<NetworkMonitor> gioNetworkMonitor() {
  static auto* const monitor = new std::shared_ptr<NetworkMonitor>(new GioNetworkMonitor());
  return *monitor;
}

}  // namespace platform
