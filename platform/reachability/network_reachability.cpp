#include "platform/reachability/network_reachability.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "platform/dispatch/queue.h"
#include "platform/foundation/while_alive.h"

namespace platform {

namespace {

bool isLoopback(const addrinfo* address) {
  if (address->ai_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address->ai_addr);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->ai_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address->ai_addr);
    return IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
  }
  return false;
}

// A host whose name doesn't resolve can't be reached; one on this machine always can; any other
// is as reachable as the default route.
std::optional<ReachabilityFlags> hostFlags(const std::string& host, const NetworkMonitor& monitor) {
  std::optional<ReachabilityFlags> routeFlags = monitor.defaultRouteFlags();
  if (!routeFlags) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &addresses) != 0) return 0;
  bool local = true;
  for (const addrinfo* a = addresses; a; a = a->ai_next) local = local && isLoopback(a);
  freeaddrinfo(addresses);
  if (local) {
    return kReachabilityFlagReachable | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect;
  }
  return routeFlags;
}

}  // namespace

std::shared_ptr<NetworkReachability> NetworkReachability::forDefaultRoute() {
  return std::shared_ptr<NetworkReachability>(
      new NetworkReachability(std::nullopt, networkMonitor()));
}

std::shared_ptr<NetworkReachability> NetworkReachability::forHostName(std::string_view hostName) {
  if (hostName.empty() || hostName.find('\0') != std::string_view::npos) return nullptr;
  return std::shared_ptr<NetworkReachability>(
      new NetworkReachability(std::string(hostName), networkMonitor()));
}

NetworkReachability::~NetworkReachability() = default;

std::optional<ReachabilityFlags> NetworkReachability::flags() const {
  return hostName_ ? hostFlags(*hostName_, *monitor_) : monitor_->defaultRouteFlags();
}

bool NetworkReachability::setCallback(Callback callback) {
  callback_ = std::move(callback);
  return true;
}

bool NetworkReachability::scheduleOnMainLoop() {
  if (!monitor_->canWatchChanges()) return false;
  observation_ =
      monitor_->observeChanges(whileAlive(weak_from_this(), &NetworkReachability::networkChanged));
  return true;
}

bool NetworkReachability::unscheduleFromMainLoop() {
  observation_.reset();
  ++generation_;  // a host read under way is no longer wanted
  return true;
}

void NetworkReachability::networkChanged() {
  const uint64_t generation = ++generation_;
  if (!hostName_) return deliver(generation, monitor_->defaultRouteFlags());
  globalQueue()->async([weak = weak_from_this(), host = *hostName_, monitor = monitor_,
                        generation] {
    std::optional<ReachabilityFlags> flags = hostFlags(host, *monitor);
    mainQueue()->async(whileAlive(
        weak, [generation, flags](NetworkReachability& self) { self.deliver(generation, flags); }));
  });
}

void NetworkReachability::deliver(uint64_t generation, std::optional<ReachabilityFlags> flags) {
  if (generation != generation_ || !flags || !observation_.active() || !callback_) return;
  // The callback may replace itself or unschedule; it runs from a copy.
  Callback callback = callback_;
  callback(*flags);
}

}  // namespace platform
