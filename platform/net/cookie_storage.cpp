#include "platform/net/cookie_storage.h"

#include <algorithm>

#include "platform/dispatch/clock.h"
#include "platform/net/ascii.h"

namespace platform::net {

namespace {

bool sameIdentity(const HTTPCookie& a, const HTTPCookie& b) {
  return a.name == b.name && equalsIgnoringCase(a.domain, b.domain) && a.path == b.path;
}

bool hasExpired(const HTTPCookie& cookie, Date now) {
  return cookie.expiresDate && *cookie.expiresDate < now;
}

bool domainMatches(const std::string& host, const std::string& cookieDomain) {
  const std::string domain = asciiLowercase(cookieDomain);
  if (domain.empty()) return false;
  if (domain.front() != '.') return host == domain;
  const std::string_view bare = std::string_view(domain).substr(1);
  return host == bare || (host.size() > domain.size() && host.ends_with(domain));
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath == cookiePath) return true;
  if (!requestPath.starts_with(cookiePath)) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

}  // namespace

const std::shared_ptr<HTTPCookieStorage>& HTTPCookieStorage::shared() {
  static const std::shared_ptr<HTTPCookieStorage> jar = std::make_shared<HTTPCookieStorage>();
  return jar;
}

std::vector<HTTPCookie> HTTPCookieStorage::cookies() const {
  platform::MutexLock lock(mutex_);
  removeExpiredLocked();
  return cookies_;
}

void HTTPCookieStorage::setCookie(const HTTPCookie& cookie) {
  platform::MutexLock lock(mutex_);
  if (policy_ == HTTPCookieAcceptPolicy::Never || cookie.name.empty() || cookie.domain.empty()) {
    return;
  }
  std::erase_if(cookies_, [&](const HTTPCookie& stored) { return sameIdentity(stored, cookie); });
  if (!hasExpired(cookie, now())) cookies_.push_back(cookie);
}

void HTTPCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies, const URL& url,
                                   const std::optional<URL>& mainDocumentURL) {
  const HTTPCookieAcceptPolicy policy = cookieAcceptPolicy();
  if (policy == HTTPCookieAcceptPolicy::Never) return;
  if (policy == HTTPCookieAcceptPolicy::OnlyFromMainDocumentDomain) {
    const std::optional<std::string> host = url.host();
    const std::optional<std::string> mainHost =
        mainDocumentURL ? mainDocumentURL->host() : std::nullopt;
    if (!host || !mainHost || !domainMatches(*host, "." + *mainHost)) return;
  }
  for (const HTTPCookie& cookie : cookies) setCookie(cookie);
}

void HTTPCookieStorage::deleteCookie(const HTTPCookie& cookie) {
  platform::MutexLock lock(mutex_);
  std::erase_if(cookies_, [&](const HTTPCookie& stored) { return sameIdentity(stored, cookie); });
}

std::vector<HTTPCookie> HTTPCookieStorage::cookiesForURL(const URL& url) const {
  const std::optional<std::string> host = url.host();
  if (!host) return {};
  const std::string path = url.parts().path.empty() ? "/" : url.parts().path;
  const bool secure = url.scheme() == "https";
  platform::MutexLock lock(mutex_);
  removeExpiredLocked();
  std::vector<HTTPCookie> matching;
  for (const HTTPCookie& cookie : cookies_) {
    if (domainMatches(*host, cookie.domain) && pathMatches(path, cookie.path) &&
        (secure || !cookie.isSecure)) {
      matching.push_back(cookie);
    }
  }
  return matching;
}

HTTPCookieAcceptPolicy HTTPCookieStorage::cookieAcceptPolicy() const {
  platform::MutexLock lock(mutex_);
  return policy_;
}

void HTTPCookieStorage::setCookieAcceptPolicy(HTTPCookieAcceptPolicy policy) {
  platform::MutexLock lock(mutex_);
  policy_ = policy;
}

void HTTPCookieStorage::removeExpiredLocked() const {
  const Date current = now();
  std::erase_if(cookies_, [&](const HTTPCookie& cookie) { return hasExpired(cookie, current); });
}

}  // namespace platform::net
