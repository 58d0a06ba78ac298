// Arbitrary bytes as what servers and files hand the ads foundation: HTTP dates and expiry
// headers of tracking answers, OAuth token answers, identity tokens of the sign-in library and
// the app's signing profile. Nothing may crash; a parsed HTTP date must format and parse back to
// the same second.
#include <cmath>
#include <cstdlib>
#include <string>

#include "ads/foundation/crash_report.h"
#include "ads/foundation/header_parser.h"
#include "ads/foundation/signed_in_user.h"
#include "ads/foundation/token_dispenser.h"
#include "platform/net/http_date.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const platform::Bytes bytes(data, data + size);

  if (const auto date = zad_dateFromHttpDateString(text)) {
    const auto again = platform::net::parseHTTPDate(platform::net::formatHTTPDate(*date));
    check(again && again->secondsSince1970 == std::floor(date->secondsSince1970));
  }
  // The text cut in four: Pragma, Date, Cache-Control and Expires.
  platform::net::URLResponse response;
  response.isHTTP = true;
  const char* names[] = {"Pragma", "Date", "Cache-Control", "Expires"};
  for (size_t i = 0; i < 4; ++i) {
    response.headers.set(names[i], text.substr(i * size / 4, size / 4));
  }
  (void)zad_expirationDate(response);

  if (const auto answer = ZADParseTokenAnswer(bytes)) check(answer->accessToken.size() <= size);
  (void)ZADSignedInUser::fromIdentityToken(text, "client", "refresh");
  (void)ZADSigningProfileAllowsDebugging(bytes);
  return 0;
}
