#pragma once

// What the ads foundation needs of mediation: which adapter classes the app holds. An adapter
// class is one registered by name in the adapters' class registry (each adapter registers itself
// at start-up, and its library is linked whole so the registration stays in the program).

#include <memory>
#include <set>
#include <string>

#include "platform/foundation/class_registry.h"

// The base of every mediation adapter.
class ZADMAdNetworkAdapter {
 public:
  virtual ~ZADMAdNetworkAdapter() = default;

  // The names in the set whose class exists in the app and is an adapter.
  static std::set<std::string> availableAdapterNamesInSet(const std::set<std::string>& names);
};

using ZADMAdNetworkAdapterRegistry = platform::ClassRegistry<ZADMAdNetworkAdapter>;
