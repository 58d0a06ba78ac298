#include "toolbox/fetcher/session_cookie_storage.h"

#include <algorithm>

#include "platform/dispatch/clock.h"
#include "platform/net/ascii.h"
#include "platform/net/host.h"

namespace {

using platform::net::HTTPCookie;

using platform::net::asciiLowercase;
using platform::net::isLocalHost;

bool sameIdentity(const HTTPCookie& a, const HTTPCookie& b) {
  return a.name == b.name && a.domain == b.domain && a.path == b.path;
}

}  // namespace

std::vector<HTTPCookie> ZSDK_ZTMSessionCookieStorage::cookies() const {
  platform::MutexLock lock(mutex_);
  return cookies_;
}

void ZSDK_ZTMSessionCookieStorage::setCookie(const HTTPCookie& cookie) {
  platform::MutexLock lock(mutex_);
  if (policy_ == Policy::Never) return;
  internalSetCookie(cookie);
}

void ZSDK_ZTMSessionCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies) {
  platform::MutexLock lock(mutex_);
  removeExpiredLocked();
  for (const HTTPCookie& cookie : cookies) internalSetCookie(cookie);
}

void ZSDK_ZTMSessionCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies,
                                              const platform::URL& url,
                                              const std::optional<platform::URL>& mainDocumentURL) {
  {
    platform::MutexLock lock(mutex_);
    if (policy_ == Policy::Never) return;
    if (policy_ == Policy::OnlyFromMainDocumentDomain) {
      const std::optional<std::string> host = url.host();
      const std::optional<std::string> mainHost =
          mainDocumentURL ? mainDocumentURL->host() : std::nullopt;
      if (!host || !mainHost || !host->ends_with(*mainHost)) return;
    }
  }
  setCookies(cookies);
}

void ZSDK_ZTMSessionCookieStorage::deleteCookie(const HTTPCookie& cookie) {
  platform::MutexLock lock(mutex_);
  std::erase_if(cookies_, [&](const HTTPCookie& stored) { return sameIdentity(stored, cookie); });
}

std::vector<HTTPCookie> ZSDK_ZTMSessionCookieStorage::cookiesForURL(
    const platform::URL& url) const {
  platform::MutexLock lock(mutex_);
  removeExpiredLocked();
  if (cookies_.empty()) return {};  // the usual case: no need to take the URL apart
  const std::string host = asciiLowercase(url.host().value_or(""));
  const std::string path = url.path();
  const bool secureScheme = url.scheme() == "https";
  const bool local = isLocalHost(host);
  if (!local && host.empty()) return {};
  const std::string domainToMatch = "." + host;

  std::vector<HTTPCookie> matching;
  for (const HTTPCookie& cookie : cookies_) {
    std::string domain = asciiLowercase(cookie.domain);
    bool domainOK;
    if (local) {
      domainOK = isLocalHost(domain) || domain == "localhost.local";
    } else {
      if (domain.empty() || domain.front() != '.') domain.insert(0, ".");
      domainOK = domainToMatch.ends_with(domain);
    }
    const bool pathOK = cookie.path == "/" || path.starts_with(cookie.path);
    const bool secureOK = !cookie.isSecure || secureScheme;
    if (domainOK && pathOK && secureOK) matching.push_back(cookie);
  }
  return matching;
}

platform::net::HTTPCookieAcceptPolicy ZSDK_ZTMSessionCookieStorage::cookieAcceptPolicy() const {
  platform::MutexLock lock(mutex_);
  return policy_;
}

void ZSDK_ZTMSessionCookieStorage::setCookieAcceptPolicy(Policy policy) {
  platform::MutexLock lock(mutex_);
  policy_ = policy;
}

std::optional<HTTPCookie> ZSDK_ZTMSessionCookieStorage::cookieMatchingCookie(
    const HTTPCookie& cookie) const {
  platform::MutexLock lock(mutex_);
  auto it = std::find_if(cookies_.begin(), cookies_.end(),
                         [&](const HTTPCookie& stored) { return sameIdentity(stored, cookie); });
  if (it == cookies_.end()) return std::nullopt;
  return *it;
}

void ZSDK_ZTMSessionCookieStorage::removeExpiredCookies() {
  platform::MutexLock lock(mutex_);
  removeExpiredLocked();
}

void ZSDK_ZTMSessionCookieStorage::removeExpiredLocked() const {
  // From the last cookie to the first, as the jar always has.
  for (size_t i = cookies_.size(); i-- > 0;) {
    if (hasCookieExpired(cookies_[i])) cookies_.erase(cookies_.begin() + static_cast<long>(i));
  }
}

void ZSDK_ZTMSessionCookieStorage::removeAllCookies() {
  platform::MutexLock lock(mutex_);
  cookies_.clear();
}

bool ZSDK_ZTMSessionCookieStorage::hasCookieExpired(const HTTPCookie& cookie) {
  return cookie.expiresDate && *cookie.expiresDate < platform::now();
}

void ZSDK_ZTMSessionCookieStorage::internalSetCookie(const HTTPCookie& cookie) {
  if (policy_ == Policy::Never) return;
  if (cookie.name.empty() || cookie.domain.empty() || cookie.path.empty()) return;
  std::erase_if(cookies_, [&](const HTTPCookie& stored) { return sameIdentity(stored, cookie); });
  if (!hasCookieExpired(cookie)) cookies_.push_back(cookie);
}
