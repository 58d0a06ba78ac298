#include "VokaruLib/Classes/Public/vkr_url_protocol.h"

#include <gtest/gtest.h>

#include "platform/media/photo_library.h"
#include "platform/testing/test_app.h"
#include "platform/web/testing/recording_scheme_task.h"

namespace {

using platform::media::PhotoLibrary;
using platform::media::PhotoLibraryAuthorization;
using platform::web::HeaderList;
using platform::web::URLSchemeResponse;
using platform::web::testing::RecordingSchemeTask;

class VKRURLProtocolTest : public ::testing::Test {
 protected:
  void TearDown() override {
    PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Authorized);
  }

  static URLSchemeResponse load(const std::string& url) {
    auto task = std::make_shared<RecordingSchemeTask>(url);
    VKRURLProtocol::startLoading(task);
    std::optional<URLSchemeResponse> response = task->waitForResponse();
    EXPECT_EQ(task->answers(), 1) << url;
    if (response) return *response;
    URLSchemeResponse none;
    none.statusCode = -1;
    return none;
  }

  platform::testing::TestApp app_;
};

TEST_F(VKRURLProtocolTest, ServesAnAssetWithItsTypeAndNeverCached) {
  platform::Result<std::string> url =
      PhotoLibrary::writeAsset(platform::bytesOf(std::string("\xFF\xD8jpeg\0bytes", 12)), "JPG");
  ASSERT_TRUE(url.ok());
  ASSERT_TRUE(url->starts_with("assets-library://asset/asset.JPG?id="));

  URLSchemeResponse response = load(*url);
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(platform::stringOf(response.body), std::string("\xFF\xD8jpeg\0bytes", 12));
  EXPECT_EQ(response.mimeType, "image/jpeg");
  EXPECT_EQ(response.headers,
            (HeaderList{{"Content-Type", "image/jpeg"}, {"Cache-Control", "no-store"}}));
}

TEST_F(VKRURLProtocolTest, AnswersWithoutABodyForUnknownAssetsAndRefusedAccess) {
  platform::Result<std::string> url = PhotoLibrary::writeAsset(platform::bytesOf("photo"), "png");
  ASSERT_TRUE(url.ok());
  struct Case {
    std::string url;
    PhotoLibraryAuthorization access;
    int status;
  };
  for (const Case& c : std::vector<Case>{
           {"assets-library://asset/asset.JPG?id=unknown&ext=JPG",
            PhotoLibraryAuthorization::Authorized, 404},
           {"assets-library://asset/asset.JPG?id=../../secret&ext=JPG",
            PhotoLibraryAuthorization::Authorized, 404},
           {"assets-library://elsewhere", PhotoLibraryAuthorization::Authorized, 404},
           {*url, PhotoLibraryAuthorization::Denied, 401},
       }) {
    PhotoLibrary::setAuthorizationStatus(c.access);
    URLSchemeResponse response = load(c.url);
    EXPECT_EQ(response.statusCode, c.status) << c.url;
    EXPECT_TRUE(response.body.empty()) << c.url;
    EXPECT_EQ(response.headers,
              (HeaderList{{"Content-Type", "text/plain"}, {"Cache-Control", "no-store"}}))
        << c.url;
  }
}

TEST_F(VKRURLProtocolTest, RefusesAnyOtherURLWithAText) {
  for (const char* url :
       {"http://example.com/a.jpg", "assets-library:/asset", "", "ASSETS-LIBRARY://asset"}) {
    platform::web::URLRequest request;
    request.url = url;
    EXPECT_FALSE(VKRURLProtocol::canInitWithRequest(request)) << url;
    URLSchemeResponse response = load(url);
    EXPECT_EQ(response.statusCode, 401) << url;
    EXPECT_EQ(platform::stringOf(response.body), std::string("Access not allowed to URL: ") + url);
    EXPECT_EQ(response.mimeType, "text/plain");
  }
}

TEST_F(VKRURLProtocolTest, RequestsAreTheirOwnCanonicalFormAndNeverCacheEquivalent) {
  platform::web::URLRequest request;
  request.url = "assets-library://asset/asset.JPG?id=1&ext=JPG";
  EXPECT_TRUE(VKRURLProtocol::canInitWithRequest(request));
  EXPECT_EQ(&VKRURLProtocol::canonicalRequestForRequest(request), &request);
  EXPECT_FALSE(VKRURLProtocol::requestIsCacheEquivalent(request, request));
}

}  // namespace
