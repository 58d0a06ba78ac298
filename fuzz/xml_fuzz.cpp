// Arbitrary bytes through the event-based XML parser: it must end with a status, never crash.
#include "platform/foundation/xml_parser.h"

namespace {
struct CountingDelegate : platform::XMLParserDelegate {
  void didStartElement(const std::string& name, const platform::XMLAttributes& a) override {
    events += name.size() + a.size();
  }
  void foundCharacters(std::string_view text) override { events += text.size(); }
  size_t events = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CountingDelegate delegate;
  platform::XMLParser parser(delegate);
  (void)parser.parse(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
