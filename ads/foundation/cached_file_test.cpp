#include "ads/foundation/cached_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/header_parser.h"
#include "ads/testing/ping_server.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/url_error.h"
#include "platform/net/http_date.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Date;
using platform::URL;
using platform::testing::runMainLoopUntil;

// What a cached file told its delegate.
class RecordingDelegate final : public ZADCachedFileDelegate {
 public:
  std::optional<platform::Error> cachedFileShouldRedirectToURL(ZADCachedFile&,
                                                               const URL& url) override {
    redirects.push_back(url.absoluteString());
    return stopRedirects;
  }
  void cachedFileDownloadDidEnd(ZADCachedFile&) override { ++ends; }
  void cachedFileDownloadDidFail(ZADCachedFile&,
                                 const std::optional<platform::Error>& error) override {
    failures.push_back(error);
  }
  bool done() const { return ends + failures.size() > 0; }

  std::optional<platform::Error> stopRedirects;
  std::vector<std::string> redirects;
  int ends = 0;
  std::vector<std::optional<platform::Error>> failures;
};

class ZADCachedFileTest : public ::testing::Test {
 protected:
  ~ZADCachedFileTest() override { platform::testing::drainMainLoop(); }

  std::shared_ptr<ZADCachedFile> fetch(const std::string& url) {
    auto file = ZADCachedFile::make(*URL::parse(url));
    file->setDelegate(delegate_);
    file->validate();
    EXPECT_TRUE(runMainLoopUntil([&] { return delegate_->done(); })) << url;
    return file;
  }

  platform::testing::TestApp app_;
  ads::testing::PingServer server_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST(ZADHeaderParserTest, ExpiryFromCacheControlExpiresAndPragma) {
  platform::ManualClock clock;
  const double now = platform::now().secondsSince1970;
  const std::string hourAgo = platform::net::formatHTTPDate(Date{now - 3600});
  const std::string date = platform::net::formatHTTPDate(Date{now - 86400});
  const std::string tenMinutesLater = platform::net::formatHTTPDate(Date{now - 86400 + 600});
  struct Case {
    const char* name;
    platform::net::HTTPHeaderFields headers;
    std::optional<double> expiresFromNow;
  };
  const Case cases[] = {
      {"no headers", {}, std::nullopt},
      {"max-age from now", {{"Cache-Control", "public, max-age=60"}}, 60},
      {"max-age=0", {{"Cache-Control", "max-age=0"}}, std::nullopt},
      {"negative max-age", {{"Cache-Control", "max-age=-5"}}, std::nullopt},
      {"max-age from an old Date", {{"Cache-Control", "max-age=60"}, {"Date", hourAgo}}, -3540},
      {"unreadable max-age falls to Expires",
       {{"Cache-Control", "max-age=soon"}, {"Date", date}, {"Expires", tenMinutesLater}},
       600},
      {"Expires counted from Date",
       {{"Cache-Control", "private"}, {"Date", date}, {"Expires", tenMinutesLater}},
       600},
      {"Pragma wins", {{"Pragma", "no-cache"}, {"Cache-Control", "max-age=60"}}, std::nullopt},
      {"no-store wins", {{"Cache-Control", "no-store, max-age=60"}}, std::nullopt},
      {"Expires of 0", {{"Expires", "0"}}, std::nullopt},
      {"Expires equal to Date", {{"Date", date}, {"Expires", date}}, std::nullopt},
      {"Expires without Date counts from now",
       {{"Expires", platform::net::formatHTTPDate(Date{now + 120})}},
       120},
      {"unparsable Date counts from now",
       {{"Date", "yesterday"}, {"Expires", platform::net::formatHTTPDate(Date{now + 30})}},
       30},
      {"asctime Expires",
       {{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Expires", "Sun Nov  6 08:59:37 1994"}},
       600},
      {"RFC 850 Expires",
       {{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Expires", "Sunday, 06-Nov-94 08:50:37 GMT"}},
       60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::net::URLResponse response;
    response.isHTTP = true;
    response.statusCode = 200;
    response.headers = c.headers;
    const std::optional<Date> expiry = zad_expirationDate(response);
    ASSERT_EQ(expiry.has_value(), c.expiresFromNow.has_value());
    if (expiry) {
      EXPECT_DOUBLE_EQ(expiry->secondsSince1970 - now, *c.expiresFromNow);
    }
  }
}

TEST_F(ZADCachedFileTest, FileLivesUnderItsHostInTheCachesFolder) {
  const std::filesystem::path caches = platform::AppHome::caches();
  struct Case {
    const char* url;
    const char* folder;
  };
  const Case cases[] = {
      {"http://ads.example.com/a?b=1", "ads.example.com"},
      {"about:blank", "@local"},
      {"http://%2E%2E/x", "__"},  // a host of ".." stays inside
      {"http://../x", "__"},
  };
  for (const Case& c : cases) {
    auto file = ZADCachedFile::make(*URL::parse(c.url));
    EXPECT_EQ(file->filePath().parent_path(), caches / c.folder) << c.url;
    EXPECT_NE(file->filePath().filename().string().front(), '0') << c.url;
  }
  // The name is the same in every run for the same URL, and differs for another.
  EXPECT_EQ(ZADCachedFile::make(*URL::parse("http://h/1"))->filePath(),
            ZADCachedFile::make(*URL::parse("http://h/1"))->filePath());
  EXPECT_NE(ZADCachedFile::make(*URL::parse("http://h/1"))->filePath(),
            ZADCachedFile::make(*URL::parse("http://h/2"))->filePath());
}

TEST_F(ZADCachedFileTest, StoresTheAnswerAndRevalidatesIt) {
  auto file = fetch(server_.url("/modified"));
  ASSERT_EQ(delegate_->ends, 1);
  EXPECT_TRUE(delegate_->failures.empty());
  EXPECT_EQ(file->HTTPStatusCode(), 200);
  EXPECT_EQ(file->contentAsString(), ads::testing::PingServer::kModifiedBody);
  EXPECT_FALSE(server_.lastHeader("/modified", "If-Modified-Since"));
  // The file carries the answer's date, written back as a full HTTP date.
  EXPECT_EQ(file->fileModificationRFC1123DateString(), ads::testing::PingServer::kLastModified);

  ASSERT_TRUE(platform::FileManager::writeAtomically(file->filePath(), {'o', 'l', 'd'}).ok());
  ASSERT_TRUE(
      platform::FileManager::setModificationDate(
          file->filePath(), *platform::net::parseHTTPDate(ads::testing::PingServer::kLastModified))
          .ok());
  file->validate();
  ASSERT_TRUE(runMainLoopUntil([&] { return delegate_->ends == 2; }));
  EXPECT_EQ(server_.lastHeader("/modified", "If-Modified-Since"),
            ads::testing::PingServer::kLastModified);
  EXPECT_EQ(file->HTTPStatusCode(), 304);
  EXPECT_EQ(file->contentAsString(), "old");  // a 304 leaves the file alone
  EXPECT_FALSE(file->isFetching());

  file->invalidate();
  EXPECT_FALSE(file->fileExists());
  EXPECT_FALSE(file->fileModificationRFC1123DateString());
}

TEST_F(ZADCachedFileTest, OtherStatusesAndBrokenLoadsFail) {
  platform::testing::ScriptedServer hangUp([](auto&) {});
  auto missing = fetch(server_.url("/status/404"));
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_FALSE(delegate_->failures[0]);  // a status is no error
  EXPECT_EQ(missing->HTTPStatusCode(), 404);
  EXPECT_FALSE(missing->fileExists());

  delegate_ = std::make_shared<RecordingDelegate>();
  fetch(hangUp.url("/x"));
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_TRUE(delegate_->failures[0]);
  EXPECT_EQ(delegate_->ends, 0);
}

TEST_F(ZADCachedFileTest, FollowsRedirectsTheDelegateAllows) {
  // An absolute redirect, then a relative one.
  const std::string last = server_.url("/landing");
  auto file = fetch(server_.redirectURL(server_.redirectURL("/landing")));
  EXPECT_EQ(delegate_->redirects,
            (std::vector<std::string>{server_.redirectURL("/landing"), last}));
  EXPECT_EQ(delegate_->ends, 1);
  EXPECT_EQ(file->HTTPDestinationURL().absoluteString(), last);
  EXPECT_EQ(server_.hits("/landing"), 1);

  // An error from the delegate stops the chain and is the failure.
  delegate_ = std::make_shared<RecordingDelegate>();
  delegate_->stopRedirects = platform::Error("test", 7);
  file = fetch(server_.redirectURL("/never"));
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_EQ(delegate_->failures[0]->code(), 7);
  EXPECT_EQ(server_.hits("/never"), 0);
  EXPECT_EQ(file->HTTPDestinationURL().absoluteString(), server_.url("/never"));

  // A redirect out of the web is offered too; followed, it cannot load.
  delegate_ = std::make_shared<RecordingDelegate>();
  file = fetch(server_.redirectURL("market://details?id=1"));
  EXPECT_EQ(delegate_->redirects, std::vector<std::string>{"market://details?id=1"});
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_EQ(delegate_->failures[0]->code(), platform::kURLErrorUnsupportedURL);
}

TEST_F(ZADCachedFileTest, CacheBusterMakesEachURLUniqueAndReloads) {
  platform::ManualClock clock(Date{978307200.0 + 1000.4});  // 1000.4 s after 2001-01-01
  auto file = ZADCachedFile::make(*URL::parse(server_.url("/busted?a=1")));
  file->setDelegate(delegate_);
  EXPECT_EQ(file->cachePolicy(), ZADCachedFile::kUseProtocolCachePolicy);
  file->validateWithCacheBuster();
  file->validateWithCacheBuster();  // one fetch at a time
  ASSERT_TRUE(runMainLoopUntil([&] { return delegate_->done(); }));
  EXPECT_EQ(server_.hits("/busted?a=1&unique=1000"), 1);
  EXPECT_EQ(server_.totalHits(), 1);
  EXPECT_EQ(file->cachePolicy(), ZADCachedFile::kReloadIgnoringLocalCacheData);
}

}  // namespace
