#include "platform/foundation/class_registry.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

struct Animal {
  virtual ~Animal() = default;
  virtual std::string sound() const = 0;
};
struct Cat : Animal {
  std::string sound() const override { return "meow"; }
};
struct Dog : Animal {
  explicit Dog(int volume = 1) : volume(volume) {}
  std::string sound() const override { return std::string(volume, '!') + "woof"; }
  int volume;
};
PLATFORM_REGISTER_CLASS(Animal, Cat);
PLATFORM_REGISTER_CLASS(Animal, Dog);
PLATFORM_REGISTER_CLASS(Animal, Dog, int);

int hookRuns = 0;
PLATFORM_LOAD_HOOK("test.counter", [] { ++hookRuns; });

TEST(ClassRegistryTest, CreatesByNameAndListsByPrefix) {
  auto& animals = ClassRegistry<Animal>::instance();
  ASSERT_TRUE(animals.contains("Cat"));
  EXPECT_EQ(animals.create("Cat")->sound(), "meow");
  EXPECT_EQ(animals.create("Unicorn"), nullptr);
  EXPECT_EQ(animals.names("D"), (std::vector<std::string>{"Dog"}));
  auto& loud = ClassRegistry<Animal, int>::instance();
  EXPECT_EQ(loud.create("Dog", 3)->sound(), "!!!woof");
}

PLATFORM_REGISTER_PROTOCOL("Pettable");

TEST(ClassRegistryTest, FactoriesAndProtocolsByName) {
  EXPECT_EQ(ClassRegistry<Animal>::instance().factory("Cat")()->sound(), "meow");
  EXPECT_FALSE(ClassRegistry<Animal>::instance().factory("Unicorn"));
  const Protocol* pettable = findProtocol("Pettable");
  ASSERT_NE(pettable, nullptr);
  EXPECT_EQ(pettable->name, "Pettable");
  EXPECT_EQ(registerProtocol("Pettable"), pettable);
  EXPECT_EQ(findProtocol("Feedable"), nullptr);
}

TEST(ClassRegistryTest, LoadHooksRunOnce) {
  runLoadHooks();
  runLoadHooks();
  EXPECT_EQ(hookRuns, 1);
}

}  // namespace
}  // namespace platform
