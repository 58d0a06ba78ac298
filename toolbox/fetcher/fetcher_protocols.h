#pragma once

// What a session fetcher asks of the objects it works with: an authorizer that signs its
// requests, and an optional service that owns it. Every operation has a default, so an object
// implements only what it offers.

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/net/url_session.h"

class ZSDK_ZTMSessionFetcher;
namespace platform {
class UserDefaults;
}

class ZTMFetcherAuthorizationProtocol {
 public:
  using FinishedHandler =
      std::function<void(platform::net::URLRequest request, std::optional<platform::Error> error)>;

  virtual ~ZTMFetcherAuthorizationProtocol() = default;

  virtual bool isAuthorizedRequest(const platform::net::URLRequest& request) {
    (void)request;
    return false;
  }
  // Signs the request and answers with the signed request, or an error. By default the request
  // goes as it is.
  virtual void authorizeRequest(platform::net::URLRequest request, FinishedHandler finished) {
    finished(std::move(request), std::nullopt);
  }
  virtual bool isAuthorizingRequest(const platform::net::URLRequest& request) {
    (void)request;
    return false;
  }
  virtual void stopAuthorizationForRequest(const platform::net::URLRequest& request) {
    (void)request;
  }
  // Readies fresh credentials after the server refused the old ones; true when it did.
  virtual bool primeForRefresh() { return false; }
};

// The calls a fetcher makes on the service that owns it.
class ZTMSessionFetcherServiceProtocol {
 public:
  virtual ~ZTMSessionFetcherServiceProtocol() = default;

  // A session the service's fetchers share, and the delegate it reports to.
  virtual std::shared_ptr<platform::net::URLSession> session() { return nullptr; }
  virtual std::shared_ptr<platform::net::URLSessionDelegate> sessionDelegate() { return nullptr; }
  virtual void fetcherDidCreateSession(ZSDK_ZTMSessionFetcher& fetcher) { (void)fetcher; }
  // False holds the fetch back; the service begins it later.
  virtual bool fetcherShouldBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) {
    (void)fetcher;
    return true;
  }
  virtual void fetcherDidBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) { (void)fetcher; }
  virtual void fetcherDidStop(ZSDK_ZTMSessionFetcher& fetcher) { (void)fetcher; }
  virtual bool isDelayingFetcher(ZSDK_ZTMSessionFetcher& fetcher) {
    (void)fetcher;
    return false;
  }
};

// A program may register a class of this name (with the "ZSDK_" prefix or without) to keep the
// fetchers' list of running background fetches in defaults of its own.
class ZTMSessionFetcherUserDefaultsFactory {
 public:
  virtual ~ZTMSessionFetcherUserDefaultsFactory() = default;
  virtual std::shared_ptr<platform::UserDefaults> fetcherUserDefaults() = 0;
};
