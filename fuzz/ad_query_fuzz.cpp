// Arbitrary text as an ad's URL (query reading, landing-URL appending) and as a keyword template
// (creatives and server answers supply both). Nothing may crash, and an appended URL must keep
// any "&adurl=" tail last.
#include <cstdlib>
#include <string>

#include "ads/foundation/template_additions.h"
#include "ads/foundation/url_additions.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string templated = text;
  zad_replaceAtQuotedKeywordPattern(templated, "ver", zad_escapeAts(text));
  zad_removeAtQuotedKeywords(templated);
  zad_unescapeAts(templated);

  platform::Result<platform::URL> url = platform::URL::parse(text);
  if (!url.ok()) return 0;
  (void)zad_dictionaryFromQueryParameters(*url, true);
  (void)zad_parameterValuesForKey(*url, "adurl");
  (void)zad_impressionTicket(*url);
  (void)zad_absoluteStringWithoutFragmentComponent(*url);
  auto appended = zad_URLByAppendingQueryParameters(*url, {{"k", text}});
  const size_t tail = url->absoluteString().find("&adurl=");
  if (appended && tail != std::string::npos) {
    const std::string& result = appended->absoluteString();
    check(result.size() >= url->absoluteString().size() - tail);
    check(result.compare(result.size() - (url->absoluteString().size() - tail), std::string::npos,
                         url->absoluteString(), tail, std::string::npos) == 0);
  }
  return 0;
}
