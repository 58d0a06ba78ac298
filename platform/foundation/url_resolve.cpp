// Resolution of a relative reference against a base URL (RFC 3986, section 5.2).
#include "platform/foundation/url.h"
#include "platform/foundation/url_path.h"

namespace platform {

namespace {

std::string mergePaths(const URLParts& base, std::string_view referencePath) {
  if (base.host && base.path.empty()) return "/" + std::string(referencePath);
  size_t slash = base.path.rfind('/');
  std::string merged = slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1);
  return merged.append(referencePath);
}

}  // namespace

Result<URL> URL::resolve(std::string_view reference) const {
  Result<URL> parsed = parse(reference);
  if (!parsed) return parsed.error();
  return resolve(*parsed);
}

Result<URL> URL::resolve(const URL& reference) const {
  if (!isAbsolute()) {
    return Error::withDescription(kURLParseErrorDomain, kURLNotAbsolute,
                                  "A reference resolves only against an absolute URL.");
  }
  const URLParts& base = parts_;
  const URLParts& ref = reference.parts();
  URLParts target;
  if (!ref.scheme.empty() || ref.host) {
    target = ref;
    target.path = removeDotSegments(ref.path);
  } else {
    target.user = base.user;
    target.password = base.password;
    target.host = base.host;
    target.port = base.port;
    if (ref.path.empty()) {
      target.path = base.path;
      target.query = ref.query ? ref.query : base.query;
    } else {
      std::string path = ref.path.starts_with('/') ? ref.path : mergePaths(base, ref.path);
      target.path = removeDotSegments(path);
      target.query = ref.query;
    }
  }
  if (ref.scheme.empty()) target.scheme = base.scheme;
  target.fragment = ref.fragment;
  return compose(target);
}

}  // namespace platform
