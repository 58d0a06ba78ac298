#include "platform/foundation/while_alive.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace platform {
namespace {

struct Owner {
  std::string seen;
  void note(const std::string& text) { seen += text; }
};

TEST(WhileAlive, RunsWithTheOwnerAndArgumentsWhileItLivesAndNotAfter) {
  auto owner = std::make_shared<Owner>();
  std::function<void(std::string)> byLambda =
      whileAlive(owner, [](Owner& self, const std::string& text) { self.note("[" + text + "]"); });
  std::function<void(std::string)> byMember = whileAlive(owner, &Owner::note);
  byLambda("a");
  byMember("b");
  EXPECT_EQ(owner->seen, "[a]b");

  std::weak_ptr<Owner> weak = owner;
  owner.reset();
  ASSERT_TRUE(weak.expired());
  byLambda("c");  // the owner is gone: nothing runs, nothing crashes
  byMember("d");
}

TEST(WhileAlive, HoldsTheOwnerOnlyWeaklyAndKeepsItAliveDuringTheCall) {
  auto owner = std::make_shared<Owner>();
  std::weak_ptr<Owner> weak = owner;
  auto work = whileAlive(weak, [&owner](Owner& self) {
    owner.reset();  // the last outside reference goes away during the call
    self.note("still here");
  });
  EXPECT_EQ(weak.use_count(), 1);  // the callable itself holds no strong reference
  work();
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace platform
