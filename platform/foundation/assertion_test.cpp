#include "platform/foundation/assertion.h"

#include <gtest/gtest.h>

#include "platform/testing/assertion_capture.h"
#include "platform/testing/log_capture.h"

namespace platform {
namespace {

TEST(AssertionTest, HandlerReceivesTheTextAndTheCallerGoesOn) {
  testing::LogCapture log;
  testing::AssertionCapture assertions;
  assertionFailure("Character already mapped");
  EXPECT_EQ(assertions.messages(), std::vector<std::string>{"Character already mapped"});
  EXPECT_TRUE(log.contains("Character already mapped"));
}

TEST(AssertionDeathTest, AbortsWithoutAHandler) {
  EXPECT_DEATH(assertionFailure("Overflowed buffer"), "Overflowed buffer");
}

}  // namespace
}  // namespace platform
