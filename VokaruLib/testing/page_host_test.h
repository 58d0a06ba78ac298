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

  // For SetUp: fails the test when the group's host didn't launch, else runs the page script
  // that clears what the previous test left (such as "answers = {}").
  static void resetPage(const std::string& script) {
    ASSERT_NE(host_, nullptr);
    ASSERT_EQ(host_->eval(script + "; 'ready'"), "ready");
  }

  // Waits for the page's answers[name] and gives it as the page's string for it, or as JSON.
  static std::string answer(const std::string& name) { return waitForAnswer(name, "String"); }
  static std::string answerJSON(const std::string& name) {
    return waitForAnswer(name, "JSON.stringify");
  }

  static inline std::unique_ptr<PageHost> host_;

 private:
  static std::string waitForAnswer(const std::string& name, const std::string& convert) {
    const std::string value = "answers['" + name + "']";
    if (!host_->waitFor(value + " !== undefined")) return "(no answer)";
    return host_->eval(convert + "(" + value + ")");
  }
};

}  // namespace vokaru::testing
