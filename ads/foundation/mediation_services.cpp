#include "ads/foundation/mediation_services.h"

std::set<std::string> ZADMAdNetworkAdapter::availableAdapterNamesInSet(
    const std::set<std::string>& names) {
  std::set<std::string> available;
  for (const std::string& name : names) {
    if (ZADMAdNetworkAdapterRegistry::instance().contains(name)) available.insert(name);
  }
  return available;
}
