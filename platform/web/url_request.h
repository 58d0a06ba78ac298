#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform::web {

// How a load may use cached responses. The web engine keeps its own cache: only a reload
// distinguishes "ignore the cache"; the other policies load as the protocol says.
enum class CachePolicy {
  UseProtocolCachePolicy = 0,
  ReloadIgnoringLocalCacheData = 1,
  ReturnCacheDataElseLoad = 2,
  ReturnCacheDataDontLoad = 3,
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A request for a page or resource, as a web view loads it and as its delegate sees it.
struct URLRequest {
  // Absolute URL text.
  std::string url;
  // The URL of the top-level document the request belongs to: the request's own URL for a
  // top-level navigation, the page's URL for a frame's. Empty when unknown.
  std::string mainDocumentURL;
  CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy;
  // Seconds until a load that has not finished is stopped and reported as timed out; 0 or less
  // means no limit.
  double timeoutInterval = 60.0;
  std::string httpMethod = "GET";
  // Extra header fields sent with the request, in order.
  HeaderList headers;

  URLRequest() = default;
  explicit URLRequest(std::string url, double timeoutInterval = 60.0,
                      CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy)
      : url(std::move(url)), cachePolicy(cachePolicy), timeoutInterval(timeoutInterval) {}
};

}  // namespace platform::web
