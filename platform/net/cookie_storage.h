#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url.h"
#include "platform/net/http_cookie.h"

namespace platform::net {

enum class HTTPCookieAcceptPolicy : uint64_t {
  Always = 0,
  Never = 1,
  OnlyFromMainDocumentDomain = 2,
};

// A cookie jar that URL sessions read Cookie headers from and store Set-Cookie cookies in.
// This class is an in-memory jar with the usual matching rules (host-only cookies match their
// host only, paths match at "/" boundaries, secure cookies go over https only); subclasses may
// replace any of it. Thread-safe.
class HTTPCookieStorage {
 public:
  HTTPCookieStorage() = default;
  virtual ~HTTPCookieStorage() = default;
  HTTPCookieStorage(const HTTPCookieStorage&) = delete;
  HTTPCookieStorage& operator=(const HTTPCookieStorage&) = delete;

  // The process's shared jar.
  static const std::shared_ptr<HTTPCookieStorage>& shared();

  virtual std::vector<HTTPCookie> cookies() const;
  virtual void setCookie(const HTTPCookie& cookie);
  // Cookies a response from `url` set, stored as the accept policy allows.
  virtual void setCookies(const std::vector<HTTPCookie>& cookies, const URL& url,
                          const std::optional<URL>& mainDocumentURL);
  virtual void deleteCookie(const HTTPCookie& cookie);
  // The cookies to send with a request for the URL.
  virtual std::vector<HTTPCookie> cookiesForURL(const URL& url) const;
  virtual HTTPCookieAcceptPolicy cookieAcceptPolicy() const;
  virtual void setCookieAcceptPolicy(HTTPCookieAcceptPolicy policy);

 private:
  void removeExpiredLocked() const VKR_REQUIRES(mutex_);

  mutable Mutex mutex_;
  mutable std::vector<HTTPCookie> cookies_ VKR_GUARDED_BY(mutex_);
  HTTPCookieAcceptPolicy policy_ VKR_GUARDED_BY(mutex_) = HTTPCookieAcceptPolicy::Always;
};

}  // namespace platform::net
