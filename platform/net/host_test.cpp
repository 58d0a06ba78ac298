#include "platform/net/host.h"

#include <gtest/gtest.h>

namespace platform::net {
namespace {

TEST(HostTest, LocalHostKnowsEveryLoopbackSpelling) {
  const std::pair<const char*, bool> cases[] = {
      {"localhost", true},          {"LocalHost", true},
      {"127.0.0.1", true},          {"127.1.2.3", true},
      {"127.255.255.254", true},    {"::1", true},
      {"0:0:0:0:0:0:0:1", true},    {"0000::0001", true},
      {"::ffff:127.0.0.9", true},   {"128.0.0.1", false},
      {"10.0.0.1", false},          {"::2", false},
      {"::ffff:10.0.0.1", false},   {"localhost.example", false},
      {"127.0.0.1.example", false}, {"", false},
  };
  for (const auto& [host, local] : cases) EXPECT_EQ(isLocalHost(host), local) << host;
}

}  // namespace
}  // namespace platform::net
