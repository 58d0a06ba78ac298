#pragma once

// The process-wide list of upload fetchers whose chunk fetchers use background sessions, held
// weakly: an upload that is let go leaves it. Thread-safe.

#include <memory>
#include <vector>

class ZSDK_ZTMSessionUploadFetcher;

namespace upload_background_registry {

void add(const std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>& fetcher);
void remove(const ZSDK_ZTMSessionUploadFetcher* fetcher);
// The uploads still alive, in the order they were added.
std::vector<std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>> live();

}  // namespace upload_background_registry
