#include "platform/net/default_headers.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/foundation/system_info.h"
#include "platform/net/ascii.h"
#include "platform/storage/bundle.h"

namespace platform::net {

namespace {

std::string asToken(const std::string& text) {
  std::string token;
  for (char c : text) {
    if (isTokenCharacter(c)) {
      token += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      token += escaped;
    }
  }
  return token;
}

}  // namespace

std::string defaultUserAgent() {
  const std::string runtime = "Vokaru/" VOKARU_VERSION " (Linux)";
  std::shared_ptr<const Bundle> bundle = Bundle::mainBundle();
  const std::string name = bundle ? bundle->displayName() : std::string();
  if (name.empty()) return runtime;
  const std::string version = bundle->shortVersionString();
  return asToken(name) + (version.empty() ? "" : "/" + asToken(version)) + " " + runtime;
}

std::string defaultAcceptLanguage() {
  std::string header;
  int weight = 10;  // tenths
  for (const std::string& language : preferredLanguages()) {
    if (!header.empty()) header += ", ";
    header += language;
    if (weight < 10) header += ";q=0." + std::to_string(weight);
    weight = std::max(weight - 1, 1);
  }
  return header;
}

}  // namespace platform::net
