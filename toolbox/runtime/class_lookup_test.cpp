#include "toolbox/runtime/class_lookup.h"

#include <gtest/gtest.h>

namespace {

struct Named {
  virtual ~Named() = default;
  virtual std::string name() const = 0;
};
struct ZSDK_Widget : Named {
  std::string name() const override { return "ZSDK_Widget"; }
};
struct Widget : Named {
  std::string name() const override { return "Widget"; }
};
struct Gadget : Named {
  std::string name() const override { return "Gadget"; }
};
struct ZSDK_Gizmo : Named {
  std::string name() const override { return "ZSDK_Gizmo"; }
};
PLATFORM_REGISTER_CLASS(Named, ZSDK_Widget);
PLATFORM_REGISTER_CLASS(Named, Widget);
PLATFORM_REGISTER_CLASS(Named, Gadget);
PLATFORM_REGISTER_CLASS(Named, ZSDK_Gizmo);

PLATFORM_REGISTER_PROTOCOL("ZSDK_PBMessageSignatureProtocol");
PLATFORM_REGISTER_PROTOCOL("Plain");
PLATFORM_REGISTER_PROTOCOL("ZSDK_Plain");

// The name each lookup finds for a requested name, or "" when none.
template <ZSDKClass<Named> (*lookup)(const char*)>
std::string found(const char* name) {
  ZSDKClass<Named> cls = lookup(name);
  return cls ? cls()->name() : "";
}

TEST(ClassLookupTest, PrefixedNameWinsThenPlainName) {
  struct Case {
    const char* requested;
    const char* expected;
  };
  const Case cases[] = {
      {"Widget", "ZSDK_Widget"},     // both exist: the prefixed one
      {"Gadget", "Gadget"},          // no prefixed class: the plain one
      {"Gizmo", "ZSDK_Gizmo"},       // only the prefixed one
      {"ZSDK_Gizmo", "ZSDK_Gizmo"},  // "ZSDK_ZSDK_Gizmo" is missing, the name as given exists
      {"ZTMHTTPFetcher", ""},        // nothing of either name
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(found<ZSDKLookUpClass<Named>>(c.requested), c.expected);
    EXPECT_EQ(found<ZSDKGetClass<Named>>(c.requested), c.expected);
    ZSDKClass<Named> fromString = ZSDKClassFromString<Named>(std::string(c.requested));
    EXPECT_EQ(fromString ? fromString()->name() : "", c.expected);
  }
  EXPECT_FALSE(ZSDKLookUpClass<Named>(nullptr));
}

TEST(ClassLookupTest, ProtocolsByName) {
  // The prefix is added even when the name already carries it; the name as given is found next.
  const platform::Protocol* signature = ZSDKGetProtocol("ZSDK_PBMessageSignatureProtocol");
  ASSERT_NE(signature, nullptr);
  EXPECT_EQ(signature->name, "ZSDK_PBMessageSignatureProtocol");
  EXPECT_EQ(ZSDKGetProtocol("PBMessageSignatureProtocol"), signature);
  EXPECT_EQ(ZSDKGetProtocol("Plain")->name, "ZSDK_Plain");
  EXPECT_EQ(ZSDKGetProtocol("Missing"), nullptr);
  EXPECT_EQ(ZSDKGetProtocol(nullptr), nullptr);
}

}  // namespace
