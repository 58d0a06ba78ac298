// Arbitrary bytes as text on screen (fingerprinted with the default sets and with the bytes
// taken as a server's range list), and as a creative's "instrument" message. Nothing may crash;
// a fingerprint is empty or padded web-safe Base64 of whole 4-byte digests.
#include <cstdlib>
#include <string>

#include "ads/foundation/character_sets.h"
#include "ads/foundation/content.h"
#include "ads/foundation/csi_message_handler.h"
#include "platform/testing/test_app.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::testing::TestApp app("com.example.content-fuzz");
  const std::string text(reinterpret_cast<const char*>(data), size);

  (void)ZADCharacterSetFromRangeList(text);
  ZADContent content(1);
  content.updateContentWithText(text);
  const std::string& fingerprint = content.fingerprint();
  check(fingerprint.empty() || fingerprint.size() % 4 == 0);
  check(fingerprint.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_=") ==
        std::string::npos);

  static ZADCSI csi;
  static ZADCSIZMSGHandler handler(csi);
  if (auto url = platform::URL::parse("zmsg://ad/instrument?" + text); url.ok()) {
    (void)handler.handleRequest(*url, nullptr);
  }
  return 0;
}
