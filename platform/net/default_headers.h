#pragma once

#include <string>

namespace platform::net {

// What every request carries unless it names its own, as the platform's URL loading sends it.
// "<app name>/<app version> Vokaru/<version> (Linux)"; the app's part is left out when there is
// no app bundle. Characters a product token can't hold are percent-escaped.
std::string defaultUserAgent();
// The user's preferred languages, the first unweighted and each next one weighted lower
// ("de-DE, en-GB;q=0.9, en;q=0.8"), down to q=0.1.
std::string defaultAcceptLanguage();

}  // namespace platform::net
