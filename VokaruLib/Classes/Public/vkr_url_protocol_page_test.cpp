// Photo-library assets shown by a real page in a WebKit web view.
#include <gtest/gtest.h>

#include "VokaruLib/Classes/Public/vkr_url_protocol.h"
#include "VokaruLib/testing/page_host_test.h"
#include "platform/media/photo_library.h"
#include "platform/testing/png.h"

namespace {

using platform::media::PhotoLibrary;
using platform::media::PhotoLibraryAuthorization;

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script>
  var answers = {};
  function show(name, src) {
    var image = new Image();
    image.onload = function () { answers[name] = 'loaded ' + image.naturalWidth; };
    image.onerror = function () { answers[name] = 'error'; };
    image.src = src;
  }
</script></head><body></body></html>)";

class VKRURLProtocolPageTest : public vokaru::testing::SharedPageHostTest<VKRURLProtocolPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"www/index.html", kPage}};
  }

 protected:
  void SetUp() override {
    ASSERT_NE(host_, nullptr);
    VKRURLProtocol::registerClass();
  }
  void TearDown() override {
    PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Authorized);
  }
};

TEST_F(VKRURLProtocolPageTest, APageShowsLibraryPhotosAndNothingElse) {
  platform::Result<std::string> url = PhotoLibrary::writeAsset(
      platform::bytesOf(platform::testing::pngOf(3, 2, 0x3366ccff)), "PNG");
  ASSERT_TRUE(url.ok());
  host_->eval("show('photo', '" + *url + "'); show('again', '" + *url +
              "'); show('missing', 'assets-library://asset/asset.PNG?id=none&ext=PNG')");
  EXPECT_EQ(answer("photo"), "loaded 3");
  EXPECT_EQ(answer("again"), "loaded 3");
  EXPECT_EQ(answer("missing"), "error");

  platform::Result<std::string> other = PhotoLibrary::writeAsset(
      platform::bytesOf(platform::testing::pngOf(1, 1, 0xffffffff)), "PNG");
  ASSERT_TRUE(other.ok());
  PhotoLibrary::setAuthorizationStatus(PhotoLibraryAuthorization::Denied);
  host_->eval("show('refused', '" + *other + "')");
  EXPECT_EQ(answer("refused"), "error");
}

}  // namespace
