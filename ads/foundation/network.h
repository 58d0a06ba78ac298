#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/reachability/network_reachability.h"

// The network type the engine reports with its requests ("net", "net_last"): 0 unknown (not
// checking, or nothing reported yet), 1 not reachable, 2 Wi-Fi or wired ("wi"), 3 cellular
// ("ed"). Thread-safe: every field lives on the object's serial queue; writes are queued, reads
// wait, so a read after a write from the same thread sees it.
class ZADNetwork : public std::enable_shared_from_this<ZADNetwork> {
 public:
  // Watches the host when one is given, else the device's default route (there is no probe
  // host of the ad server's own to ask about).
  static std::shared_ptr<ZADNetwork> make(std::optional<std::string> probeHostName = {});
  ~ZADNetwork();
  ZADNetwork(const ZADNetwork&) = delete;
  ZADNetwork& operator=(const ZADNetwork&) = delete;

  // Starts following the reachability of the probe target; nothing when already on. Not from a
  // job on the network's own queue.
  void enableNetworkChecking();
  // Stops following it and sets the type back to 0 (the change count and last known type stay).
  void disableNetworkChecking();

  // 3 when the cellular flag is set, else 2 when reachable, else 1.
  void setNetworkTypeFromFlags(platform::ReachabilityFlags flags);
  // A change to a non-zero type counts; a type of 2 or more is also the last known one.
  void setNetworkType(int64_t type);

  int64_t networkType() const;
  int64_t changeCount() const;
  // "wi", "ed", or nothing for types 0 and 1.
  std::optional<std::string> networkTypeString() const;
  std::optional<std::string> lastKnownNetworkTypeString() const;

 private:
  explicit ZADNetwork(std::optional<std::string> probeHostName);
  static std::optional<std::string> typeString(int64_t type);
  // Takes the probe's flags while it is still the one in use.
  void applyFlags(const std::shared_ptr<platform::NetworkReachability>& reachability,
                  platform::ReachabilityFlags flags);

  const std::optional<std::string> probeHostName_;
  const platform::QueuePtr lockQueue_;
  // Reads of the probe's flags (a host name may take a look-up) run here.
  const platform::QueuePtr enableCheckingQueue_;
  // Fields below: only on lockQueue_.
  std::shared_ptr<platform::NetworkReachability> networkReachability_;
  int64_t networkType_ = 0;
  int64_t lastKnownNetworkType_ = 0;
  int64_t changeCount_ = 0;
};

// The identity of this process's ad session: 8 random bytes as an unsigned decimal number.
class ZADSession {
 public:
  ZADSession();
  const std::string& uniqueID() const { return uniqueID_; }

 private:
  std::string uniqueID_;
};
