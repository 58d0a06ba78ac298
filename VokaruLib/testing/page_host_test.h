#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "VokaruLib/testing/page_host.h"

namespace vokaru::testing {

// A gtest fixture sharing one launched PageHost among the tests of a group: the group's first
// test launches it with Fixture::bundleFiles() written over the sample bundle, the last one ends
// it. Each test starts from the page as the previous one left it.
template <typename Fixture>
class SharedPageHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PageHost::Options options;
    options.files = Fixture::bundleFiles();
    host_ = std::make_unique<PageHost>(std::move(options));
    platform::Status launched = host_->launch();
    if (!launched.ok()) host_.reset();  // each test then fails on its own
    ASSERT_TRUE(launched.ok()) << launched.error().description();
  }
  static void TearDownTestSuite() { host_.reset(); }

  static inline std::unique_ptr<PageHost> host_;
};

}  // namespace vokaru::testing
