#include <gtest/gtest.h>

#include "platform/foundation/url.h"

namespace platform {
namespace {

std::string resolved(std::string_view base, std::string_view reference) {
  Result<URL> baseURL = URL::parse(base);
  if (!baseURL) return "parse error";
  Result<URL> url = baseURL->resolve(reference);
  return url.ok() ? url->absoluteString() : "error " + std::to_string(url.error().code());
}

// The examples of RFC 3986, section 5.4, normal and abnormal.
TEST(URLResolveTest, StandardExamples) {
  const std::pair<const char*, const char*> cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(resolved("http://a/b/c/d;p?q", reference), expected) << reference;
  }
}

TEST(URLResolveTest, PagesAndErrorPages) {
  const char* page = "file:///app/www/index.html";
  EXPECT_EQ(resolved(page, "?x=1#top"), "file:///app/www/index.html?x=1#top");
  EXPECT_EQ(resolved(page, "page.html"), "file:///app/www/page.html");
  EXPECT_EQ(resolved("file:///app/www/error.html", "?error=Failed%20to%20load%3A%20x"),
            "file:///app/www/error.html?error=Failed%20to%20load%3A%20x");
  EXPECT_EQ(resolved("https://h/a/b?old#frag", "?new"), "https://h/a/b?new");
  EXPECT_EQ(resolved("https://h", "x"), "https://h/x");
  EXPECT_EQ(resolved("HTTPS://User@H:8443/a", "b c"), "HTTPS://User@H:8443/b%20c");
  // A path that comes out beginning with "//" keeps its meaning without a host.
  EXPECT_EQ(resolved("a:/b/c", "..//g"), "a:/.//g");
  EXPECT_EQ(URL::parse("a:/.//g")->path(), "/.//g");
}

TEST(URLResolveTest, Errors) {
  EXPECT_EQ(resolved("relative/base", "g"), "error " + std::to_string(kURLNotAbsolute));
  EXPECT_EQ(resolved("http://a/", "%zz"), "http://a/%25zz");
  EXPECT_EQ(resolved("http://a/", "\n"), "error " + std::to_string(kURLInvalidCharacter));
}

}  // namespace
}  // namespace platform
