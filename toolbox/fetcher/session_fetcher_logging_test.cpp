#include <gtest/gtest.h>

#include "platform/storage/file_manager.h"
#include "platform/testing/temp_dir.h"
#include "toolbox/fetcher/fetch_log_text.h"
#include "toolbox/fetcher/fetcher_test_support.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {

using fetcher_test::begin;
using fetcher_test::waitFor;
using Fetcher = ZSDK_ZTMSessionFetcher;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string readFile(const std::filesystem::path& path) {
  auto read = platform::FileManager::contentsOfFile(path);
  return read.ok() ? platform::stringOf(*read) : "<missing>";
}

TEST(FetchLogTextTest, SecretsAreSnipped) {
  using fetch_log_text::snipSubstringOfString;
  EXPECT_EQ(snipSubstringOfString("a=1&client_secret=xyz&b=2", "client_secret=", "&"),
            "a=1&client_secret=_snip_&b=2");
  EXPECT_EQ(snipSubstringOfString("a=1&client_secret=xyz", "client_secret=", "&"),
            "a=1&client_secret=_snip_");
  EXPECT_EQ(snipSubstringOfString("nothing here", "client_secret=", "&"), "nothing here");
  EXPECT_EQ(snipSubstringOfString(std::nullopt, "x", "y"), std::nullopt);

  platform::net::HTTPHeaderFields headers;
  headers.set("Authorization", "Bearer secret-token");
  headers.set("Accept", "*/*");
  EXPECT_EQ(fetch_log_text::headersStringForDictionary(headers),
            "  Accept: */*\n  Authorization: Bearer _snip_\n");

  platform::Value json;
  const auto text = fetch_log_text::formattedStringFromData(
      platform::bytesOf(R"({"access_token":"abc","refresh_token":"def","expires":5})"),
      "application/json; charset=utf-8", &json);
  ASSERT_TRUE(text);
  EXPECT_TRUE(contains(*text, "\"access_token\" : \"_snip_\"")) << *text;
  EXPECT_TRUE(contains(*text, "\"refresh_token\" : \"_snip_\"")) << *text;
  EXPECT_TRUE(contains(*text, "\"expires\" : 5")) << *text;
  EXPECT_FALSE(contains(*text, "abc"));
  EXPECT_EQ(json["access_token"].stringOr(""), "abc");
}

TEST(FetchLogTextTest, MultipartBodiesShowTextPartsAndSummariseOthers) {
  std::string body =
      "--B\r\nContent-Type: text/plain\r\n\r\nhello\r\n--B\r\n"
      "Content-Type: image/png\r\n\r\n";
  body += std::string("\x89PNG\x01\x02", 6);
  body += "\r\n--B--\r\n";
  const auto text = fetch_log_text::stringFromStreamData(platform::bytesOf(body), "");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            "--B\r\nContent-Type: text/plain\r\n\r\nhello\r\n--B"
            "\r\r\nContent-Type: image/png\r<<12 bytes>>\r--B--\r\n");
  // Other bodies that aren't text show with "_" for every byte that isn't ASCII.
  EXPECT_EQ(fetch_log_text::stringFromStreamData(platform::Bytes{0x89, 'a', 0, 'b'}, ""), "_a_b");
}

class FetchLoggingTest : public ::testing::Test {
 protected:
  FetchLoggingTest() {
    httplib::Server& routes = server_.http().routes();
    routes.Post("/token", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(R"({"access_token":"abc123","token_type":"Bearer"})",
                           "application/json");
    });
    routes.Get("/image", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string("\x89PNG\r\n\x1a\n\x00\x00", 10), "image/png");
    });
    Fetcher::setLoggingDirectory(folder_.path());
    Fetcher::setLogDirectoryForCurrentRun(std::nullopt);
    Fetcher::setLoggingDateStamp("1-02_03-04-05PM");
    Fetcher::setLoggingEnabled(true);
  }
  ~FetchLoggingTest() override {
    Fetcher::setLoggingEnabled(false);
    Fetcher::setLogDirectoryForCurrentRun(std::nullopt);
    Fetcher::setLoggingDirectory(std::nullopt);
  }

  Fetcher::Ptr fetch(const std::string& path, std::optional<std::string> body = std::nullopt) {
    auto fetcher = Fetcher::fetcherWithURLString(server_.url(path));
    fetcher->setAllowLocalhostRequest(true);
    if (body) fetcher->setBodyData(platform::bytesOf(*body));
    auto request = fetcher->request();
    request->setValue("Bearer secret-token", "Authorization");
    fetcher->setRequest(request);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    return fetcher;
  }

  std::filesystem::path runDirectory() const { return *Fetcher::logDirectoryForCurrentRun(); }
  std::string page() const { return readFile(runDirectory() / Fetcher::htmlFileName()); }

  platform::testing::TempDir folder_;
  fetcher_test::Server server_;
};

TEST_F(FetchLoggingTest, OffTouchesNothing) {
  Fetcher::setLoggingEnabled(false);
  auto fetcher = fetch("/echo");
  fetcher->logFetchWithError(std::nullopt);
  EXPECT_EQ(fetcher->redirectedFromURL(), std::nullopt);
  EXPECT_EQ(fetcher->log(), "");
  EXPECT_TRUE(platform::FileManager::contentsOfDirectory(folder_.path())->empty());
}

TEST_F(FetchLoggingTest, TranscriptAndPageWithSecretsCutOut) {
  auto fetcher = fetch("/token", "grant=1&client_secret=hush&scope=all");
  const std::string transcript = fetcher->log();
  EXPECT_TRUE(contains(transcript, "Request: POST " + server_.url("/token"))) << transcript;
  EXPECT_TRUE(contains(transcript, "  Authorization: Bearer _snip_\n")) << transcript;
  EXPECT_TRUE(
      contains(transcript, "Request body: (36 bytes)\ngrant=1&client_secret=_snip_&scope=all\n"))
      << transcript;
  EXPECT_TRUE(contains(transcript, "Response: status 200\n")) << transcript;
  EXPECT_TRUE(contains(transcript, "\"access_token\" : \"_snip_\"")) << transcript;
  for (const char* secret : {"secret-token", "hush", "abc123"}) {
    EXPECT_FALSE(contains(transcript, secret)) << secret;
  }
  EXPECT_EQ(runDirectory(), folder_.path() / (Fetcher::processNameLogPrefix() + "1-02_03-04-05PM"));
  const std::filesystem::path transcriptFile = runDirectory() / "fetch_1.txt";
  const std::string written = readFile(transcriptFile);
  EXPECT_TRUE(written.starts_with(transcript)) << written;
  EXPECT_TRUE(written.ends_with(std::string(59, '-') + "\n"));
  const std::string html = page();
  EXPECT_TRUE(html.starts_with("<html><head><meta http-equiv=\"content-type\"")) << html;
  EXPECT_TRUE(contains(html, "<a href='fetch_1.txt'><i>request/response log</i></a>"));
  EXPECT_TRUE(contains(html, "&nbsp;&nbsp;&nbsp;<i>authorized, non-SSL</i>"));
  EXPECT_TRUE(html.ends_with("<br><hr><p>"));
  const std::filesystem::path link =
      folder_.path() / (Fetcher::loggingProcessName() + Fetcher::symlinkNameSuffix());
  EXPECT_EQ(std::filesystem::read_symlink(link), runDirectory() / Fetcher::htmlFileName());

  // A 404 and an image: the status with its flag, the image as a file of its own.
  fetch("/status/404");
  EXPECT_TRUE(contains(page(), "<FONT COLOR='#FF00FF'>404 not found &nbsp;&#x2691;</FONT>"))
      << page();
  fetch("/image");
  const std::string imageFile = "fetch_3_response.png";
  EXPECT_EQ(readFile(runDirectory() / imageFile).size(), 10u);
  EXPECT_TRUE(contains(page(), "<a href=\"" + imageFile + "\"><img src='" + imageFile + "'"));
  EXPECT_EQ(platform::FileManager::contentsOfDirectory(folder_.path())->size(), 2u);
}

TEST_F(FetchLoggingTest, ARunOfTheSameSecondGetsItsOwnFolder) {
  const std::filesystem::path earlier =
      folder_.path() / (Fetcher::processNameLogPrefix() + "1-02_03-04-05PM");
  ASSERT_TRUE(platform::FileManager::createDirectory(earlier).ok());
  fetch("/echo");
  EXPECT_EQ(runDirectory(), earlier.string() + "_2");
  EXPECT_TRUE(platform::FileManager::contentsOfDirectory(earlier)->empty());
}

}  // namespace
