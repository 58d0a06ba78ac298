#pragma once

// Text and URL helpers of the ads engine: parameter escaping, query reading and writing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"

// UTF-8 percent-escaping of everything but letters, digits and "-._~" (so a space becomes
// "%20", "&" "%26", "/" "%2F").
std::string zad_stringByEscapingAsURLParameter(std::string_view text);
// The text without one trailing "/".
std::string zad_stripTrailingSlash(std::string_view text);
// Equal once each has lost one trailing "/".
bool zad_isEquivalentToURLString(std::string_view text, std::string_view other);

// The URL with the pairs appended to its query (a key alone when its value's text is empty),
// keys as they are and values escaped, kept before an "&adurl=" tail so the landing URL stays
// last; nothing when the result is no URL.
std::optional<platform::URL> zad_URLByAppendingQueryParameters(
    const platform::URL& url, const platform::Dictionary& parameters);
// The unescaped values of every "key=value" pair of the query whose key is the key as written;
// nothing when none.
std::optional<std::vector<std::string>> zad_parameterValuesForKey(const platform::URL& url,
                                                                  std::string_view key);
std::optional<std::string> zad_parameterValueForKey(const platform::URL& url, std::string_view key);
// The query's "&"- or ";"-separated pairs as text values, keys lower-cased when asked; for URLs
// without a standard query, the text after the first "?" of the resource specifier. Pairs that
// do not unescape are skipped; a later key wins.
platform::Dictionary zad_dictionaryFromQueryParameters(const platform::URL& url,
                                                       bool convertKeysToLowercase);
// The second and third path segments joined by "/"; nothing for shorter paths.
std::optional<std::string> zad_impressionTicket(const platform::URL& url);
std::string zad_absoluteStringWithoutFragmentComponent(const platform::URL& url);
bool zad_isHostEqualToString(const platform::URL& url, std::string_view host, bool caseSensitive);
bool zad_isSchemeEqualToString(const platform::URL& url, std::string_view scheme,
                               bool caseSensitive);

// The text a value shows in a URL or template: text as it is, numbers in decimal (booleans 1 or
// 0), anything else its description.
std::string ZADValueText(const platform::Value& value);
