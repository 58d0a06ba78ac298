#include <gtest/gtest.h>

#include <cmath>

#include "platform/net/data_url.h"
#include "platform/net/http_date.h"
#include "platform/net/response_head.h"
#include "platform/net/url_request.h"

namespace platform::net {
namespace {

constexpr double kNov6_1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(HTTPDateTest, ThreeFormsAndNothingElse) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6_1994},
      {"  Sun, 06 Nov 1994 08:49:37 UTC ", kNov6_1994},
      {"Sun, 06 Nov 1994 10:49:37 +0200", kNov6_1994},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kNov6_1994},
      {"Sun Nov  6 08:49:37 1994", kNov6_1994},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Tue, 29 Feb 2000 12:00:00 GMT", 951825600},
      {"Fri, 29 Feb 2001 12:00:00 GMT", std::nullopt},  // no such day
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 PST", std::nullopt},
      {"Sun, 6 Nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
      {"120", std::nullopt},
      {"", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 GMT trailing", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<Date> date = parseHTTPDate(c.text);
    ASSERT_EQ(date.has_value(), c.seconds.has_value());
    if (date) {
      EXPECT_EQ(date->secondsSince1970, *c.seconds);
    }
  }
}

TEST(HTTPDateTest, FormatsThePreferredFormAndReadsItBack) {
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {kNov6_1994, "Sun, 06 Nov 1994 08:49:37 GMT"},
      {kNov6_1994 + 0.9, "Sun, 06 Nov 1994 08:49:37 GMT"},
      {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
      {-1, "Wed, 31 Dec 1969 23:59:59 GMT"},
      {951825600, "Tue, 29 Feb 2000 12:00:00 GMT"},
      {1800000000, "Fri, 15 Jan 2027 08:00:00 GMT"},
      {1e13, "Fri, 31 Dec 9999 23:59:59 GMT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatHTTPDate(Date{c.seconds}), c.text);
    std::optional<Date> back = parseHTTPDate(c.text);
    ASSERT_TRUE(back) << c.text;
    if (c.seconds >= 0 && c.seconds < 1e12) {
      EXPECT_EQ(back->secondsSince1970, std::floor(c.seconds));
    }
  }
}

TEST(HTTPDateTest, CookieDatesAreLenient) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6_1994},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kNov6_1994},
      {"06 November 1994 8:49:37", kNov6_1994},
      {"Wed, 21-Oct-2015 07:28:00 GMT", 1445412480},
      {"21 Oct 69 00:00:00", 3149539200},  // two-digit years below 70 are 20xx
      {"no date here", std::nullopt},
      {"Sun, 06 Nov 1994", std::nullopt},  // no time
      {"31 Feb 2020 00:00:00", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<Date> date = parseCookieDate(c.text);
    ASSERT_EQ(date.has_value(), c.seconds.has_value());
    if (date) {
      EXPECT_EQ(date->secondsSince1970, *c.seconds);
    }
  }
}

TEST(ResponseHeadTest, ReadsTheFinalHeadOnly) {
  ResponseHeadParser parser;
  const char* lines[] = {
      "HTTP/1.1 100 Continue\r\n",
      "\r\n",  // interim head, dropped
      "HTTP/1.1 200 OK\r\n",
      "Content-Type: text/plain\r\n",
      "X-Many: a\r\n",
      "x-many: b\r\n",
      "X-Folded: one\r\n",
      "  two\r\n",
      "Set-Cookie: a=1\r\n",
      "Set-Cookie: b=2\r\n",
      "bad header line\r\n",
      "Bad Name: x\r\n",
  };
  for (const char* line : lines) EXPECT_EQ(parser.addLine(line), ResponseHeadParser::Line::Partial);
  EXPECT_EQ(parser.addLine("\r\n"), ResponseHeadParser::Line::HeadComplete);
  EXPECT_EQ(parser.addLine("Trailer: ignored\r\n"), ResponseHeadParser::Line::Partial);
  EXPECT_EQ(parser.status(), 200);
  EXPECT_EQ(parser.headers().value("X-MANY"), "a, b");
  EXPECT_EQ(parser.headers().value("x-folded"), "one two");
  EXPECT_FALSE(parser.headers().contains("Set-Cookie"));
  EXPECT_FALSE(parser.headers().contains("Trailer"));
  EXPECT_EQ(parser.headers().fields().size(), 3u);
  EXPECT_EQ(parser.setCookies(), (std::vector<std::string>{"a=1", "b=2"}));

  for (const char* status :
       {"SPAM 200 OK\r\n", "HTTP/1.1 2x0 OK\r\n", "HTTP/1.1 99 Low\r\n", "HTTP/1.1 2000 OK\r\n"}) {
    SCOPED_TRACE(status);
    EXPECT_EQ(ResponseHeadParser().addLine(status), ResponseHeadParser::Line::Malformed);
  }
  EXPECT_EQ(parseAuthenticateHeader("Digest realm=\"a b\", nonce=\"x\"").realm, "a b");
  EXPECT_EQ(parseAuthenticateHeader("Basic Realm=plain").scheme, "Basic");
  EXPECT_EQ(parseAuthenticateHeader("Basic Realm=plain").realm, "plain");
}

TEST(HeaderFieldsTest, NamesIgnoreCaseAndUnsafeFieldsAreRefused) {
  HTTPHeaderFields fields{{"Content-Type", "a"}};
  fields.set("content-type", "b");
  fields.add("ACCEPT", "x");
  fields.add("accept", "y");
  EXPECT_EQ(fields.fields(),
            (std::vector<HTTPHeaderFields::Field>{{"Content-Type", "b"}, {"ACCEPT", "x, y"}}));
  fields.remove("Accept");
  EXPECT_FALSE(fields.contains("accept"));

  EXPECT_TRUE(isValidHeaderField("X-Token", "a b\tc"));
  EXPECT_FALSE(isValidHeaderField("X-Token", "a\r\nInjected: 1"));
  EXPECT_FALSE(isValidHeaderField("X-Token", std::string("a\0b", 3)));
  EXPECT_FALSE(isValidHeaderField("Bad Name", "x"));
  EXPECT_FALSE(isValidHeaderField("", "x"));

  URLResponse response;
  applyContentType(response, "Text/HTML ; Charset=\"UTF-8\"; q=1");
  EXPECT_EQ(response.mimeType, "text/html");
  EXPECT_EQ(response.textEncodingName, "utf-8");
}

TEST(DataURLTest, DecodesPlainAndBase64) {
  struct Case {
    const char* text;
    std::optional<std::string> data;
    const char* mime;
  };
  const Case cases[] = {
      {"data:,A%20brief%20note", "A brief note", "text/plain"},
      {"data:text/html;charset=utf-8,%3Cb%3E", "<b>", "text/html"},
      {"data:image/gif;base64,R0lG", "GIF", "image/gif"},
      {"DATA:;BASE64,aGk=", "hi", "text/plain"},
      {"data:text/plain", std::nullopt, ""},   // no comma
      {"data:;base64,@@@", std::nullopt, ""},  // not base64
      {"data:,bad%zzescape", std::nullopt, ""},
      {"http://example.com/", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Result<DataURLContent> content = decodeDataURL(c.text);
    ASSERT_EQ(content.ok(), c.data.has_value());
    if (!content.ok()) continue;
    EXPECT_EQ(stringOf(content->data), *c.data);
    EXPECT_EQ(content->mimeType, c.mime);
  }
}

}  // namespace
}  // namespace platform::net
