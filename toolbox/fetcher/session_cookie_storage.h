#pragma once

#include <optional>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/cookie_storage.h"

// The fetcher's in-memory cookie jar, given to its URL sessions in place of the shared one.
// Cookies live as long as the process. Every operation takes the jar's own lock.
//
// Its rules are its own: a cookie's domain covers every host that ends with "." + domain (a
// domain written without the dot included), paths match by plain prefix, and local hosts
// ("localhost", "127.0.0.1", "::1") share their cookies with each other and "localhost.local".
class ZSDK_ZTMSessionCookieStorage : public platform::net::HTTPCookieStorage {
 public:
  using HTTPCookie = platform::net::HTTPCookie;
  using Policy = platform::net::HTTPCookieAcceptPolicy;

  std::vector<HTTPCookie> cookies() const override;
  // Ignored under the "never" policy; otherwise the store rule.
  void setCookie(const HTTPCookie& cookie) override;
  // Drops expired cookies, then stores each.
  void setCookies(const std::vector<HTTPCookie>& cookies);
  // Refused under "never", and under "only from the main document's domain" unless the URL's
  // host ends with the main document's host.
  void setCookies(const std::vector<HTTPCookie>& cookies, const platform::URL& url,
                  const std::optional<platform::URL>& mainDocumentURL) override;
  void deleteCookie(const HTTPCookie& cookie) override;
  std::vector<HTTPCookie> cookiesForURL(const platform::URL& url) const override;
  Policy cookieAcceptPolicy() const override;
  void setCookieAcceptPolicy(Policy policy) override;

  // The stored cookie with the given cookie's name, domain and path.
  std::optional<HTTPCookie> cookieMatchingCookie(const HTTPCookie& cookie) const;
  void removeExpiredCookies();
  void removeAllCookies();
  static bool hasCookieExpired(const HTTPCookie& cookie);

 private:
  void internalSetCookie(const HTTPCookie& cookie) VKR_REQUIRES(mutex_);
  void removeExpiredLocked() const VKR_REQUIRES(mutex_);

  mutable platform::Mutex mutex_;
  mutable std::vector<HTTPCookie> cookies_ VKR_GUARDED_BY(mutex_);
  Policy policy_ VKR_GUARDED_BY(mutex_) = Policy::Always;
};
