// Arbitrary bytes through the URL parser, composer and resolver. Whatever parses must recompose to
// text that parses to the same URL, and no URL text may hold a double quote, a backslash, a blank
// or a control character.
#include <cstdlib>

#include "platform/foundation/url.h"

namespace {

using platform::Result;
using platform::URL;

void check(bool condition) {
  if (!condition) std::abort();
}

void checkText(const std::string& text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    check(byte > 0x20 && byte < 0x7F && c != '"' && c != '\\');
  }
}

// The URL's text and its recomposed parts both parse back to the same URL.
void checkRoundTrip(const URL& url) {
  checkText(url.absoluteString());
  Result<URL> again = URL::parse(url.absoluteString());
  check(again.ok() && *again == url && again->absoluteString() == url.absoluteString());
  Result<URL> composed = URL::compose(url.parts());
  check(composed.ok() && *composed == url);
  Result<URL> reparsed = URL::parse(composed->absoluteString());
  check(reparsed.ok() && *reparsed == url);
  (void)url.path();
  (void)url.pathComponents();
  (void)url.pathExtension();
  (void)url.queryItems();
  (void)url.filePath();
}

void checkResolution(const URL& base, const URL& reference) {
  Result<URL> resolved = base.resolve(reference);
  check(resolved.ok() == base.isAbsolute());
  if (resolved.ok()) {
    check(resolved->isAbsolute());
    checkRoundTrip(*resolved);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // An optional first line is a reference to resolve against the URL that follows.
  std::string_view reference;
  if (size_t newline = input.find('\n'); newline != std::string_view::npos) {
    reference = input.substr(0, newline);
    input = input.substr(newline + 1);
  }
  Result<URL> url = URL::parse(input);
  if (!url.ok()) return 0;
  checkRoundTrip(*url);
  static const URL kBase = *URL::parse("http://a/b/c/d;p?q");
  checkResolution(kBase, *url);
  checkResolution(*url, *url);
  if (Result<URL> ref = URL::parse(reference); ref.ok()) checkResolution(*url, *ref);
  return 0;
}
